// CSetupDlg's skin: the bitmaps, the texts and fonts, the window's shape from the background
// picture, the control layout over it, and the background painting.
#include "wizard/SetupDlg.h"
#include "engine/Platform.h"
#include "controls/SkinBitmap.h"
#include "lang/Languages.h"
#include "res/resource.h"
#include <cwchar>
#include <cstdlib>

namespace {

const WCHAR kDefaultAppName[] = L"Varelon VRX58Q RAID Manager";
const WCHAR kIniFileName[] = L"setup.ini";
const WCHAR kLabelFace[] = L"Arial";

// The size the layout is made for (the background picture's); the window takes it even
// when the picture is missing, so that every control stays inside the window.
const int kSkinWidth = 584;
const int kSkinHeight = 411;

// Button captions and label texts are loaded into buffers of these sizes.
const int kCaptionChars = 128;
const int kLabelChars = 1024;

// Called for each language of the language library's first string block: keeps the first.
BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD wLanguage, LONG_PTR lParam)
{
    *reinterpret_cast<LANGID*>(lParam) = wLanguage;
    return FALSE;
}

// The character set of the language library's texts, so that the labels' "Arial" maps to
// a font that has their glyphs: with ANSI_CHARSET, Chinese, Japanese and Korean texts show
// as empty boxes. Latin-script languages keep ANSI_CHARSET.
BYTE GetTextCharset()
{
    LANGID langId = 0;
    if (g_hLangResource)
        ::EnumResourceLanguagesW(g_hLangResource, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(1),
                                 &TakeFirstLanguage, (LONG_PTR)&langId);
    if (langId == 0)
        return ANSI_CHARSET;
    WCHAR szCodePage[8] = {};
    if (!::GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, szCodePage, 8))
        return ANSI_CHARSET;
    UINT nCodePage = (UINT)wcstoul(szCodePage, nullptr, 10);
    CHARSETINFO csi = {};
    if (nCodePage == 0 || !::TranslateCharsetInfo((DWORD*)(UINT_PTR)nCodePage, &csi, TCI_SRCCODEPAGE))
        return ANSI_CHARSET;
    return (BYTE)csi.ciCharset;
}

} // namespace

void CSetupDlg::LoadSkinBitmaps()
{
    if (!m_hBackground.LoadBitmap(IDB_BACKGROUND))
        AfxMessageBox(L"Error loading bitmap", MB_OK, 0);
    ScaleBackground();
    LoadButtonBitmaps();
}

void CSetupDlg::ScaleBackground()
{
    m_hBackgroundDpi.DeleteObject();
    if (!m_hBackground.GetSafeHandle() || m_nDpi == AFX_DEFAULT_DPI)
        return;
    BITMAP bm{};
    m_hBackground.GetBitmap(&bm);
    // Magenta stays outside the window: its colour never bleeds into the edges, and the
    // corners keep their curve at the larger size.
    m_hBackgroundDpi.Attach(ScaleBitmapSmooth(m_hBackground, AfxScaleForDpi(bm.bmWidth, m_nDpi),
                                              AfxScaleForDpi(bm.bmHeight, m_nDpi), SKIN_KEY_MAGENTA));
}

const CBitmap& CSetupDlg::ShownBackground() const
{
    return m_hBackgroundDpi.GetSafeHandle() ? m_hBackgroundDpi : m_hBackground;
}

void CSetupDlg::LoadButtonBitmaps()
{
    // Looks: normal, pressed, hover, checked, disabled, checked and disabled. The large
    // buttons have no disabled look: the button greys their caption instead.
    for (CBmpBtnCtrl* pBtn : {&m_btnClose, &m_btnAction, &m_btnFinish, &m_btnCancel, &m_chkLaunch})
        pBtn->SetDpi(m_nDpi);
    m_btnClose.LoadBitmaps(IDB_CLOSE_NORMAL, IDB_CLOSE_NORMAL, IDB_CLOSE_HOVER, 0, IDB_CLOSE_DISABLED, 0);
    m_btnAction.LoadBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER, 0, 0, 0);
    m_btnFinish.LoadBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER, 0, 0, 0);
    m_btnCancel.LoadBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER, 0, 0, 0);
    m_chkLaunch.LoadBitmaps(IDB_CHECK_OFF, IDB_CHECK_OFF, IDB_CHECK_OFF, IDB_CHECK_ON, 0, 0);
}

void CSetupDlg::BuildTitle()
{
    LPCWSTR lpszSection = g_bTitleBitmap ? L"TURBOVOLUME_Customized_Setting" : L"Customized_Setting";
    LPCWSTR lpszSuffix = m_bUninstall ? L" - Uninstallation Wizard" : L" - Installation Wizard";

    // A folder too long to name setup.ini within MAX_PATH counts as a missing file, rather
    // than reading a cut path that names some other file.
    size_t nFolder = wcslen(m_szFolder);
    DWORD nName;
    if (nFolder + wcslen(kIniFileName) < MAX_PATH) {
        WCHAR szIni[MAX_PATH];
        wcscpy(szIni, m_szFolder);
        wcscat(szIni, kIniFileName);
        nName = ::GetPrivateProfileStringW(lpszSection, L"AppName", kDefaultAppName, m_szTitle, MAX_PATH, szIni);
    } else {
        wcscpy(m_szTitle, kDefaultAppName);
        nName = (DWORD)wcslen(m_szTitle);
    }

    // An empty value leaves the title empty, without the suffix.
    if (nName == 0)
        return;
    // The suffix always fits: a name too long for both is cut, never in a surrogate pair.
    size_t nSuffix = wcslen(lpszSuffix);
    size_t nKeep = wcslen(m_szTitle);
    if (nKeep > MAX_PATH - 1 - nSuffix) {
        nKeep = MAX_PATH - 1 - nSuffix;
        if (IS_HIGH_SURROGATE(m_szTitle[nKeep - 1]))
            --nKeep;
    }
    wcscpy(m_szTitle + nKeep, lpszSuffix);
}

void CSetupDlg::InitTexts()
{
    const BYTE nCharset = GetTextCharset();
    BuildTitle();
    for (CTextLabelCtrl* pLabel : {&m_lblTitle, &m_lblHeading, &m_lblInfo})
        pLabel->SetDpi(m_nDpi);
    m_lblTitle.SetText(m_szTitle)
        .SetTextColor(RGB(85, 0, 0))
        .SetFontName(kLabelFace, nCharset)
        .SetFontSize(11)
        .SetFontBold(TRUE)
        .SetTransparent(TRUE);
    SetWindowText(m_szTitle);

    WCHAR szAction[kCaptionChars];
    WCHAR szHeading[kLabelChars];
    WCHAR szInfo[kLabelChars];
    if (m_bUninstall) {
        LoadText(IDS_REMOVE, szAction, kCaptionChars);
        LoadText(IDS_REMOVE_READY, szHeading, kLabelChars);
        LoadText(IDS_REMOVE_READY_INFO, szInfo, kLabelChars);
    } else {
        LoadText(IDS_INSTALL, szAction, kCaptionChars);
        LoadText(IDS_INSTALL_READY, szHeading, kLabelChars);
        LoadText(IDS_INSTALL_READY_INFO, szInfo, kLabelChars);
        WCHAR szLaunch[kLabelChars];
        LoadText(IDS_LAUNCH_APP, szLaunch, kLabelChars);
        m_chkLaunch.SetWindowText(szLaunch);
    }

    WCHAR szFinish[kCaptionChars];
    WCHAR szCancel[kCaptionChars];
    LoadText(IDS_FINISH, szFinish, kCaptionChars);
    LoadText(IDS_CANCEL, szCancel, kCaptionChars);
    m_btnAction.SetWindowText(szAction);
    m_btnFinish.SetWindowText(szFinish);
    m_btnCancel.SetWindowText(szCancel);

    m_lblHeading.SetText(szHeading)
        .SetTextColor(RGB(255, 255, 255))
        .SetFontName(kLabelFace, nCharset)
        .SetFontSize(10)
        .SetFontBold(TRUE)
        .SetTransparent(TRUE);
    m_lblInfo.SetText(szInfo)
        .SetTextColor(RGB(255, 255, 255))
        .SetFontName(kLabelFace, nCharset)
        .SetFontSize(9)
        .SetFontBold(TRUE)
        .SetTransparent(TRUE);
}

void CSetupDlg::ApplyWindowShape()
{
    // Without the background picture there is nothing to shape the window by: it stays
    // rectangular, at the size the layout is made for.
    int cx = AfxScaleForDpi(kSkinWidth, m_nDpi);
    int cy = AfxScaleForDpi(kSkinHeight, m_nDpi);
    const CBitmap& shown = ShownBackground();
    if (shown.GetSafeHandle()) {
        shown.GetBitmap(&m_bmBackground);
        cx = m_bmBackground.bmWidth;
        cy = m_bmBackground.bmHeight;
        // Every pixel that is not magenta belongs to the window; the window owns the region.
        CRgn rgn;
        rgn.Attach(CreateBitmapRegion(shown, SKIN_KEY_MAGENTA));
        SetWindowRgn(rgn, TRUE);
    }
    SetWindowPos(nullptr, ::GetSystemMetrics(SM_CXSCREEN) / 2 - cx / 2,
                 ::GetSystemMetrics(SM_CYSCREEN) / 2 - cy / 2, cx, cy, 0);
}

void CSetupDlg::LayoutControls()
{
    PlaceControls();
    m_btnFinish.ShowWindow(SW_HIDE);
    m_chkLaunch.ShowWindow(SW_HIDE);
    m_progress.ShowWindow(SW_HIDE);
}

void CSetupDlg::PlaceControls()
{
    // The layout in 96-dpi pixels of the client area (W wide); every edge is scaled to
    // m_nDpi on its own, so that neighbouring controls stay flush at any scale.
    CRect rc;
    GetClientRect(&rc);
    const int W = ::MulDiv(rc.Width(), (int)AFX_DEFAULT_DPI, (int)m_nDpi);
    const UINT kFlags = SWP_NOZORDER | SWP_NOOWNERZORDER;
    auto S = [this](int n) { return AfxScaleForDpi(n, m_nDpi); };
    auto place = [&](CWnd& wnd, int x, int y, int cx, int cy) {
        wnd.SetWindowPos(nullptr, S(x), S(y), S(x + cx) - S(x), S(y + cy) - S(y), kFlags);
    };

    place(m_lblTitle, 14, 7, W - 60, 15);
    place(m_lblHeading, 35, 55, W - 70, 35);
    place(m_lblInfo, 200, 170, W - 230, 60);

    m_btnClose.SizeToContent(S(W - 32), S(11));
    m_btnAction.SizeToContent(S(W - 272), S(380));
    m_btnFinish.SizeToContent(S(W - 272), S(380));
    m_btnCancel.SizeToContent(S(W - 133), S(380));

    // The check box keeps the room for its text that the template gave it, at this scale.
    m_chkLaunch.SetWindowPos(nullptr, 0, 0, ::MulDiv(m_cxLaunchTemplate, (int)m_nDpi, (int)m_nTemplateDpi),
                             1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    m_chkLaunch.SizeToContent(S(200), S(235));

    place(m_progress, 205, 235, W - 245, 30);
}

LRESULT CSetupDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam)
{
    const UINT nDpi = LOWORD(wParam);
    const RECT* prcSuggested = reinterpret_cast<const RECT*>(lParam);
    if (nDpi != 0 && nDpi != m_nDpi) {
        m_nDpi = nDpi;
        m_fontDpi.DeleteObject();
        if (m_nDpi != m_nTemplateDpi) {
            // The template's font at the new resolution, for the buttons' captions.
            LOGFONTW lf{};
            HFONT hTemplateFont = (HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0);
            if (hTemplateFont && ::GetObjectW(hTemplateFont, sizeof(lf), &lf)) {
                lf.lfHeight = ::MulDiv(lf.lfHeight, (int)m_nDpi, (int)m_nTemplateDpi);
                lf.lfWidth = ::MulDiv(lf.lfWidth, (int)m_nDpi, (int)m_nTemplateDpi);
                m_fontDpi.CreateFontIndirect(&lf);
            }
        }
        ScaleBackground();
        LoadButtonBitmaps();
        for (CTextLabelCtrl* pLabel : {&m_lblTitle, &m_lblHeading, &m_lblInfo})
            pLabel->SetDpi(m_nDpi);
        ApplyWindowShape();
        PlaceControls();
    }
    // The window keeps the size of its picture; the system's suggestion places it.
    if (prcSuggested) {
        CRect rcWindow;
        GetWindowRect(&rcWindow);
        SetWindowPos(nullptr, prcSuggested->left, prcSuggested->top, rcWindow.Width(), rcWindow.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return 0;
}

LRESULT CSetupDlg::OnGetFont(WPARAM, LPARAM)
{
    if (m_fontDpi.GetSafeHandle())
        return (LRESULT)m_fontDpi.GetSafeHandle();
    return Default();
}

BOOL CSetupDlg::OnEraseBkgnd(CDC* pDC)
{
    const CBitmap& shown = ShownBackground();
    if (!shown.GetSafeHandle())
        return (BOOL)Default();
    CDC dcMem;
    if (!dcMem.CreateCompatibleDC(pDC))
        return TRUE;
    CSelectScope select(dcMem, shown);
    pDC->BitBlt(0, 0, m_bmBackground.bmWidth, m_bmBackground.bmHeight, &dcMem, 0, 0, SRCCOPY);
    return TRUE;
}
