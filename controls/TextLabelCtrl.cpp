#include "controls/TextLabelCtrl.h"
#include <shellapi.h>

namespace {

const UINT_PTR kFlashTimer = 1;
const UINT kFlashPeriod = 500;
const int kGradientBands = 100;

} // namespace

BEGIN_MESSAGE_MAP(CTextLabelCtrl, CStatic)
    ON_WM_TIMER()
    ON_WM_LBUTTONDOWN()
    ON_WM_SETCURSOR()
    ON_WM_SYSCOLORCHANGE()
    ON_WM_PAINT()
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CTextLabelCtrl::CTextLabelCtrl()
    : m_crText(::GetSysColor(COLOR_WINDOWTEXT)),
      m_hDefaultBrush(::GetSysColor(COLOR_BTNFACE))
{
}

CTextLabelCtrl::~CTextLabelCtrl() = default;

BOOL CTextLabelCtrl::PreCreateWindow(CREATESTRUCTW& cs)
{
    return CStatic::PreCreateWindow(cs);
}

void CTextLabelCtrl::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    HFONT hFont = GetFont();
    if (!hFont)
        hFont = (HFONT)::GetStockObject(SYSTEM_FONT);
    ::GetObjectW(hFont, sizeof(m_lf), &m_lf);
    RebuildFont();
}

void CTextLabelCtrl::RedrawCtrl()
{
    if (!IsWindow())
        return;
    CRect rc;
    GetWindowRect(&rc);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HWND hParent = ::GetParent(m_hWnd);
    if (!hParent)
        return;
    ::MapWindowPoints(nullptr, hParent, (LPPOINT)&rc, 2);
    ::InvalidateRect(hParent, &rc, TRUE);
    ::UpdateWindow(hParent);
}

void CTextLabelCtrl::RebuildFont()
{
    m_font.CreateFontIndirect(&m_lf);
}

CTextLabelCtrl& CTextLabelCtrl::SetBkColor(COLORREF colour, COLORREF gradientEnd, BOOL gradient)
{
    m_crBk = colour;
    m_crGradientEnd = gradientEnd;
    m_bGradient = gradient;
    m_hBkBrush.DeleteObject();
    if (!gradient)
        m_hBkBrush.CreateSolidBrush(colour);
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetTextColor(COLORREF colour)
{
    m_crText = colour;
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetText(const CString& text)
{
    if (!IsWindow())
        return *this;
    CString old;
    GetWindowText(old);
    SetWindowText(text);
    RedrawCtrl();
    // The label paints its own text, so it tells screen readers when that text changes: a
    // page change of the wizard is heard without moving the focus.
    if (old != text)
        ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFontBold(BOOL bBold)
{
    m_lf.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFontName(const CString& face, BYTE charSet)
{
    m_lf.lfCharSet = charSet;
    // The font record holds 31 characters and the terminator; a longer name is cut.
    ::lstrcpynW(m_lf.lfFaceName, face, LF_FACESIZE);
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFontUnderline(BOOL bUnderline)
{
    m_lf.lfUnderline = (BYTE)bUnderline;
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFontItalic(BOOL bItalic)
{
    m_lf.lfItalic = (BYTE)bItalic;
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFontSize(int nPoints)
{
    m_nPoints = nPoints;
    if (m_nDpi != 0) {
        // The height a 96-dpi screen gives (tenths of a point, truncated), scaled: the text
        // keeps its proportions to a layout that scales the same way.
        m_lf.lfHeight = -AfxScaleForDpi((int)((AFX_DEFAULT_DPI * (UINT)(nPoints * 10)) / 720), m_nDpi);
        m_lf.lfWidth = 0;
    } else {
        CFont sized;
        sized.CreatePointFont(nPoints * 10, m_lf.lfFaceName);
        LOGFONTW lf{};
        if (sized.GetLogFont(&lf)) {
            m_lf.lfHeight = lf.lfHeight;
            m_lf.lfWidth = lf.lfWidth;
        }
    }
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetDpi(UINT nDpi)
{
    const UINT nOld = m_nDpi ? m_nDpi : AfxGetWindowDpi(nullptr);
    m_nDpi = nDpi;
    if (m_nPoints > 0)
        return SetFontSize(m_nPoints);
    if (nDpi != nOld) {
        m_lf.lfHeight = ::MulDiv(m_lf.lfHeight, (int)nDpi, (int)nOld);
        m_lf.lfWidth = ::MulDiv(m_lf.lfWidth, (int)nDpi, (int)nOld);
        RebuildFont();
        RedrawCtrl();
    }
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetStaticEdge(BOOL bSet)
{
    if (IsWindow())
        ModifyStyleEx(bSet ? 0 : WS_EX_STATICEDGE, bSet ? WS_EX_STATICEDGE : 0, SWP_FRAMECHANGED);
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetBorder(BOOL bSet)
{
    if (IsWindow())
        ModifyStyle(bSet ? 0 : WS_BORDER, bSet ? WS_BORDER : 0, SWP_FRAMECHANGED);
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetTransparent(BOOL bSet)
{
    m_bTransparent = bSet;
    if (IsWindow())
        ModifyStyleEx(0, WS_EX_TRANSPARENT);
    RedrawCtrl();
    return *this;
}

void CTextLabelCtrl::StartFlashing(int nMode)
{
    if (m_bTimerSet)
        KillTimer(kFlashTimer);
    m_bFlashPhase = FALSE;
    m_bTimerSet = TRUE;
    SetTimer(kFlashTimer, kFlashPeriod);
    m_nFlashMode = nMode;
}

CTextLabelCtrl& CTextLabelCtrl::SetFlashText(BOOL bFlash)
{
    // The timer belongs to the window: without one there is nothing to blink.
    if (!IsWindow())
        return *this;
    if (bFlash) {
        StartFlashing(1);
    } else {
        if (m_bTimerSet)
            KillTimer(kFlashTimer);
        m_nFlashMode = 0;
    }
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetFlashBackground(BOOL bFlash)
{
    if (!IsWindow())
        return *this;
    if (bFlash)
        StartFlashing(2);
    else if (m_bTimerSet)
        KillTimer(kFlashTimer);   // the label stays in the phase it is in
    return *this;
}

void CTextLabelCtrl::SetLinkKind(int nKind, BOOL bNotifyParent)
{
    m_nLinkKind = nKind;
    m_bNotifyParent = bNotifyParent;
    // A static control gets mouse clicks only with SS_NOTIFY.
    if (IsWindow())
        ModifyStyle(m_nLinkKind ? 0 : SS_NOTIFY, m_nLinkKind ? SS_NOTIFY : 0);
}

CTextLabelCtrl& CTextLabelCtrl::SetLink(BOOL bLink, BOOL bNotifyParent)
{
    SetLinkKind(bLink ? 1 : 0, bNotifyParent);
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetLinkCursor(HCURSOR hCursor)
{
    m_hLinkCursor = hCursor;
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetText3D(BOOL bSet, BOOL bSunken)
{
    m_bText3D = bSet;
    m_bText3DSunken = bSunken;
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetRotation(int nDegrees, BOOL bRotated)
{
    m_lf.lfEscapement = m_lf.lfOrientation = nDegrees * 10;
    m_bRotated = bRotated;
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetText3DColor(COLORREF colour)
{
    m_crText3D = colour;
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetLogFont(LOGFONTW lf)
{
    m_lf = lf;
    m_nPoints = 0;
    RebuildFont();
    RedrawCtrl();
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetMailLink(BOOL bLink, BOOL bNotifyParent)
{
    SetLinkKind(bLink ? 2 : 0, bNotifyParent);
    return *this;
}

CTextLabelCtrl& CTextLabelCtrl::SetLinkTarget(const CString& target)
{
    m_strLinkTarget = target;
    return *this;
}

UINT CTextLabelCtrl::GetTextFormat(DWORD dwStyle, const CString& text)
{
    if (dwStyle & SS_CENTERIMAGE)
        return text.Find(L"\r\n") >= 0 ? DT_CENTER : DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    UINT format;
    switch (dwStyle & SS_TYPEMASK) {
    case SS_CENTER:
        format = DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        format = DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_LEFTNOWORDWRAP:
        format = DT_LEFT;
        break;
    default:
        format = DT_LEFT | DT_WORDBREAK;
        break;
    }
    if (text.Find(L'\t') >= 0)
        format |= DT_EXPANDTABS;
    return format;
}

void CTextLabelCtrl::DrawGradientFill(CDC* pDC, LPCRECT lpRect, COLORREF crStart, COLORREF crEnd, int nMaxBands)
{
    const int width = lpRect->right - lpRect->left;
    const int bands = width < nMaxBands ? width : nMaxBands;
    if (bands <= 0)
        return;
    const int divisor = bands > 1 ? bands : 1;
    int red = GetRValue(crStart) * 256, green = GetGValue(crStart) * 256, blue = GetBValue(crStart) * 256;
    const int redStep = ((GetRValue(crEnd) - GetRValue(crStart)) * 256) / divisor;
    const int greenStep = ((GetGValue(crEnd) - GetGValue(crStart)) * 256) / divisor;
    const int blueStep = ((GetBValue(crEnd) - GetBValue(crStart)) * 256) / divisor;
    const int bandWidth = width / divisor;

    // Outline-less bands: a null pen leaves Rectangle's right and bottom edge unfilled,
    // hence one more on both.
    CSelectScope nullPen(*pDC, ::GetStockObject(NULL_PEN));
    int x = lpRect->left;
    for (int i = 0; i < bands; ++i) {
        int xEnd = (i == bands - 1) ? lpRect->right : x + bandWidth;
        CBrush band(RGB((red / 256) & 0xFF, (green / 256) & 0xFF, (blue / 256) & 0xFF));
        CSelectScope selectBand(*pDC, band);
        pDC->Rectangle(x, lpRect->top, xEnd + 1, lpRect->bottom + 1);
        red += redStep;
        green += greenStep;
        blue += blueStep;
        x = xEnd;
    }
}

void CTextLabelCtrl::OnPaint()
{
    CPaintDC paintDC(this);
    CRect rc;
    GetClientRect(&rc);

    // Opaque labels are composed off-screen and copied in one block; transparent ones draw
    // straight over what the parent painted.
    CDC mem;
    CBitmap buffer;
    if (m_bTransparent || !mem.CreateCompatibleDC(&paintDC) ||
        !buffer.CreateCompatibleBitmap(&paintDC, rc.Width(), rc.Height())) {
        PaintLabel(&paintDC, rc);
        return;
    }
    CSelectScope intoBuffer(mem, buffer);
    PaintLabel(&mem, rc);
    paintDC.BitBlt(0, 0, rc.Width(), rc.Height(), &mem, 0, 0, SRCCOPY);
}

void CTextLabelCtrl::PaintLabel(CDC* pDC, const CRect& rc)
{
    CString text;
    GetWindowText(text);
    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    COLORREF crOldText = pDC->SetTextColor(m_crText);
    CSelectScope selectFont(*pDC, m_font);

    if (!m_bTransparent) {
        // Background flashing shows the default background in its off phase.
        bool flashOff = m_nFlashMode == 2 && !m_bFlashPhase;
        if (m_bGradient && !flashOff)
            DrawGradientFill(pDC, &rc, m_crBk, m_crGradientEnd, kGradientBands);
        else
            pDC->FillRect(&rc, (m_hBkBrush.GetSafeHandle() && !flashOff) ? m_hBkBrush : m_hDefaultBrush);
    }

    if (m_nFlashMode == 1 && !m_bFlashPhase) {
        // The text takes the background's colour: the custom one, else the gradient's start,
        // else the default background.
        LOGBRUSH lb{};
        if (m_hBkBrush.GetSafeHandle())
            m_hBkBrush.GetObject(sizeof(lb), &lb);
        else if (m_bGradient)
            lb.lbColor = m_crBk;
        else
            m_hDefaultBrush.GetObject(sizeof(lb), &lb);
        pDC->SetTextColor(lb.lbColor);
    }

    const UINT format = GetTextFormat(GetStyle(), text);
    if (m_bRotated) {
        // The baseline starts at the centre and runs along the font's escapement.
        UINT nOldAlign = pDC->SetTextAlign(TA_BASELINE | TA_LEFT);
        CPoint oldOrg = pDC->SetViewportOrg(rc.Width() / 2, rc.Height() / 2);
        pDC->TextOut(0, 0, text, text.GetLength());
        pDC->SetViewportOrg(oldOrg.x, oldOrg.y);
        pDC->SetTextAlign(nOldAlign);
    } else {
        CRect rcText = rc;
        pDC->DrawText(text, -1, &rcText, format);
        if (m_bText3D) {
            pDC->SetTextColor(m_crText3D);
            if (m_bText3DSunken)
                rcText.OffsetRect(1, 1);
            else
                rcText.OffsetRect(-1, -1);
            pDC->DrawText(text, -1, &rcText, format);
        }
    }

    pDC->SetBkMode(nOldMode);
    pDC->SetTextColor(crOldText);
}

BOOL CTextLabelCtrl::OnEraseBkgnd(CDC* pDC)
{
    return TRUE;
}

void CTextLabelCtrl::OnTimer(UINT_PTR nIDEvent)
{
    m_bFlashPhase = !m_bFlashPhase;
    RedrawCtrl();
    Default();
}

void CTextLabelCtrl::OnLButtonDown(UINT nFlags, CPoint point)
{
    if (m_bNotifyParent) {
        NMHDR nm{};
        nm.hwndFrom = m_hWnd;
        nm.idFrom = (UINT_PTR)GetDlgCtrlID();
        nm.code = NM_LABELCLICKED;
        ::SendMessageW(::GetParent(m_hWnd), WM_NOTIFY, nm.idFrom, (LPARAM)&nm);
    } else if (m_nLinkKind == 1) {
        CString target = m_strLinkTarget;
        if (target.IsEmpty())
            GetWindowText(target);
        ::ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
    } else if (m_nLinkKind == 2) {
        CString text;
        GetWindowText(text);
        CString mail = CString(L"mailto:") + text;
        ::ShellExecuteW(nullptr, nullptr, mail, nullptr, nullptr, SW_SHOWNORMAL);
    }
    Default();
}

BOOL CTextLabelCtrl::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (m_hLinkCursor) {
        ::SetCursor(m_hLinkCursor);
        return TRUE;
    }
    return (BOOL)Default();
}

void CTextLabelCtrl::OnSysColorChange()
{
    m_hDefaultBrush.CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    RedrawCtrl();
}
