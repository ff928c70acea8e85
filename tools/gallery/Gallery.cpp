// The control gallery: a caption-less window shaped and painted from the skin background,
// showing each kind of skinned control in each of its states, for looking at the skin
// under a real window manager (or Xvfb) without running the wizard.
#include "controls/BmpBtnCtrl.h"
#include "controls/TextLabelCtrl.h"
#include "GalleryRes.h"
#include "framework/AfxDll.h"
#include <commctrl.h>

namespace {

enum {
    IDC_CLOSE = 1004,
    IDC_FIRST_CHILD = 2000,
};

class CGalleryWnd : public CWnd {
public:
    ~CGalleryWnd() override;
    BOOL Create();

protected:
    // Called to paint the skin behind the controls.
    BOOL OnEraseBkgnd(CDC* pDC);
    // Called when a control asks for the window's font.
    LRESULT OnGetFont(WPARAM wParam, LPARAM lParam);
    // Called when the close button is pressed.
    void OnCloseButton();
    // Called when the window is gone: ends the program.
    void PostNcDestroy() override { ::PostQuitMessage(0); }

private:
    HWND MakeChild(CWnd& ctrl, LPCWSTR lpszClass, LPCWSTR text, DWORD style, int x, int y, int cx, int cy,
                   UINT id = 0);
    CBmpBtnCtrl& Button(LPCWSTR text, DWORD style, int x, int y, int cx, int cy);
    CTextLabelCtrl& Label(LPCWSTR text, DWORD style, int x, int y, int cx, int cy);
    void Populate();

    CSkinBitmap m_bmpBackground;
    CFont m_font;
    CBmpBtnCtrl m_btn[16];
    CTextLabelCtrl m_lbl[12];
    int m_nButtons = 0;
    int m_nLabels = 0;
    UINT m_nNextId = IDC_FIRST_CHILD;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CGalleryWnd, CWnd)
    ON_WM_ERASEBKGND()
    ON_MESSAGE(WM_GETFONT, &CGalleryWnd::OnGetFont)
    ON_BN_CLICKED(IDC_CLOSE, &CGalleryWnd::OnCloseButton)
END_MESSAGE_MAP()

CGalleryWnd::~CGalleryWnd()
{
    if (IsWindow())
        DestroyWindow();
}

BOOL CGalleryWnd::Create()
{
    if (!m_bmpBackground.LoadBitmap(IDB_GALLERY_BACKGROUND))
        return FALSE;
    m_font.CreatePointFont(80, L"Tahoma");
    CSize size = m_bmpBackground.GetSize();
    int x = ::GetSystemMetrics(SM_CXSCREEN) / 2 - size.cx / 2;
    int y = ::GetSystemMetrics(SM_CYSCREEN) / 2 - size.cy / 2;
    if (!CreateEx(0, nullptr, L"Control gallery", WS_POPUP, x, y, size.cx, size.cy, nullptr, nullptr))
        return FALSE;
    m_bmpBackground.CreateRegionFromBitmap(SKIN_KEY_MAGENTA, nullptr);
    SetWindowRgn(m_bmpBackground.DetachRegion(), TRUE);
    Populate();
    ShowWindow(SW_SHOW);
    UpdateWindow();
    return TRUE;
}

HWND CGalleryWnd::MakeChild(CWnd& ctrl, LPCWSTR lpszClass, LPCWSTR text, DWORD style, int x, int y, int cx, int cy,
                            UINT id)
{
    HWND hWnd = ::CreateWindowExW(0, lpszClass, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, m_hWnd,
                                  (HMENU)(UINT_PTR)(id ? id : m_nNextId++), ::GetModuleHandleW(nullptr), nullptr);
    // As in a dialog: the item has the window's font before it is bound.
    ::SendMessageW(hWnd, WM_SETFONT, (WPARAM)(HFONT)m_font, FALSE);
    ctrl.SubclassWindow(hWnd);
    return hWnd;
}

CBmpBtnCtrl& CGalleryWnd::Button(LPCWSTR text, DWORD style, int x, int y, int cx, int cy)
{
    CBmpBtnCtrl& btn = m_btn[m_nButtons++];
    MakeChild(btn, L"BUTTON", text, style, x, y, cx, cy);
    return btn;
}

CTextLabelCtrl& CGalleryWnd::Label(LPCWSTR text, DWORD style, int x, int y, int cx, int cy)
{
    CTextLabelCtrl& lbl = m_lbl[m_nLabels++];
    MakeChild(lbl, L"STATIC", text, style, x, y, cx, cy);
    return lbl;
}

void CGalleryWnd::Populate()
{
    const COLORREF white = RGB(255, 255, 255);
    Label(L"", SS_LEFT, 14, 7, 524, 15)
        .SetText(L"Control gallery - every skinned control and state").SetTextColor(RGB(85, 0, 0))
        .SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(11).SetFontBold(TRUE).SetTransparent(TRUE);
    Label(L"", SS_LEFT, 35, 55, 514, 35)
        .SetText(L"Push buttons, close buttons, check boxes, radio buttons and text labels")
        .SetTextColor(white).SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(10).SetFontBold(TRUE)
        .SetTransparent(TRUE);

    // Close button: normal (the real one), hover, disabled.
    CBmpBtnCtrl& close = m_btn[m_nButtons++];
    MakeChild(close, L"BUTTON", L"", BS_PUSHBUTTON, 0, 0, 20, 17, IDC_CLOSE);
    close.LoadBitmaps(IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE_HOVER, 0, IDB_GALLERY_CLOSE_DISABLED);
    close.SizeToContent(552, 11);
    CBmpBtnCtrl& closeHover = Button(L"", BS_PUSHBUTTON, 0, 0, 20, 17);
    closeHover.LoadBitmaps(IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE_HOVER, 0, IDB_GALLERY_CLOSE_DISABLED);
    closeHover.SizeToContent(200, 104);
    closeHover.SendMessage(WM_MOUSEHOVER);
    CBmpBtnCtrl& closeOff = Button(L"", BS_PUSHBUTTON, 0, 0, 20, 17);
    closeOff.LoadBitmaps(IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE, IDB_GALLERY_CLOSE_HOVER, 0, IDB_GALLERY_CLOSE_DISABLED);
    closeOff.SizeToContent(226, 104);
    closeOff.EnableWindow(FALSE);

    // Large push buttons: normal, hover, pressed, disabled, focused, stretched with borders.
    struct { LPCWSTR text; int x, y, cx, cy; } pushes[] = {
        {L"Normal", 200, 126, 111, 22}, {L"Hover", 320, 126, 111, 22}, {L"Pressed", 440, 126, 111, 22},
        {L"Disabled", 200, 154, 111, 22}, {L"Focused", 320, 154, 111, 22}, {L"Stretched", 440, 152, 120, 28},
    };
    CBmpBtnCtrl* push[6];
    for (int i = 0; i < 6; ++i) {
        const auto& p = pushes[i];
        push[i] = &Button(p.text, BS_PUSHBUTTON | WS_TABSTOP, p.x, p.y, p.cx, p.cy);
        push[i]->LoadBitmaps(IDB_GALLERY_BUTTON, IDB_GALLERY_BUTTON_PRESSED, IDB_GALLERY_BUTTON_HOVER);
        if (i < 5)
            push[i]->SizeToContent(p.x, p.y);
    }
    push[1]->SendMessage(WM_MOUSEHOVER);
    push[2]->SendMessage(BM_SETSTATE, TRUE);
    push[3]->EnableWindow(FALSE);
    push[4]->SetTooltipText(IDS_GALLERY_TIP);
    push[4]->CreateTooltip();

    // Check boxes and radio buttons, sized to their marks with room for the text.
    struct { LPCWSTR text; DWORD style; UINT normal, checked; int x, y; int check; bool enabled; } marks[] = {
        {L"Unchecked", BS_AUTOCHECKBOX, IDB_GALLERY_CHECK, IDB_GALLERY_CHECK_CHECKED, 200, 186, 0, true},
        {L"Checked", BS_AUTOCHECKBOX, IDB_GALLERY_CHECK, IDB_GALLERY_CHECK_CHECKED, 200, 214, 1, true},
        {L"Disabled", BS_AUTOCHECKBOX, IDB_GALLERY_CHECK, IDB_GALLERY_CHECK_CHECKED, 200, 242, 1, false},
        {L"Option A", BS_AUTORADIOBUTTON, IDB_GALLERY_RADIO, IDB_GALLERY_RADIO_SELECTED, 380, 184, 0, true},
        {L"Option B", BS_AUTORADIOBUTTON, IDB_GALLERY_RADIO, IDB_GALLERY_RADIO_SELECTED, 380, 214, 1, true},
    };
    for (const auto& m : marks) {
        CBmpBtnCtrl& mark = Button(m.text, m.style | WS_TABSTOP, m.x, m.y, 110, 20);
        mark.LoadBitmaps(m.normal, m.normal, m.normal, m.checked);
        mark.SizeToContent(m.x, m.y);
        mark.SetCheck(m.check);
        mark.EnableWindow(m.enabled);
    }

    // Labels: solid, gradient, raised and sunken 3-D, flashing, link, rotated.
    Label(L"Solid background", SS_CENTER | SS_CENTERIMAGE, 200, 276, 170, 22)
        .SetBkColor(RGB(20, 40, 110)).SetTextColor(white);
    Label(L"Gradient background", SS_CENTER | SS_CENTERIMAGE, 380, 276, 170, 22)
        .SetBkColor(RGB(20, 40, 110), RGB(120, 200, 255), TRUE).SetTextColor(white);
    Label(L"Raised 3-D text", SS_CENTER | SS_CENTERIMAGE, 200, 304, 170, 26)
        .SetBkColor(RGB(90, 120, 160)).SetTextColor(RGB(0, 0, 0)).SetFontName(L"Arial", ANSI_CHARSET)
        .SetFontSize(12).SetFontBold(TRUE).SetText3D(TRUE, FALSE);
    Label(L"Sunken 3-D text", SS_CENTER | SS_CENTERIMAGE, 380, 304, 170, 26)
        .SetBkColor(RGB(90, 120, 160)).SetTextColor(RGB(0, 0, 0)).SetFontName(L"Arial", ANSI_CHARSET)
        .SetFontSize(12).SetFontBold(TRUE).SetText3D(TRUE, TRUE);
    Label(L"Flashing text", SS_CENTER | SS_CENTERIMAGE, 200, 336, 170, 22)
        .SetBkColor(RGB(20, 40, 110)).SetTextColor(RGB(255, 220, 0)).SetFlashText(TRUE);
    Label(L"www.example.com", SS_CENTER | SS_CENTERIMAGE, 380, 336, 170, 22)
        .SetTextColor(RGB(180, 220, 255)).SetFontUnderline(TRUE).SetTransparent(TRUE)
        .SetLink(TRUE, FALSE).SetLinkCursor(::LoadCursorW(nullptr, IDC_HAND));
    Label(L"Rotated", SS_LEFT, 60, 150, 100, 150)
        .SetTextColor(white).SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(14).SetFontBold(TRUE)
        .SetRotation(90, TRUE).SetTransparent(TRUE);

    // The wizard's own pair at the bottom.
    Button(L"Install", BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 111, 22)
        .LoadBitmaps(IDB_GALLERY_BUTTON, IDB_GALLERY_BUTTON_PRESSED, IDB_GALLERY_BUTTON_HOVER);
    m_btn[m_nButtons - 1].SizeToContent(312, 380);
    Button(L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, 0, 111, 22)
        .LoadBitmaps(IDB_GALLERY_BUTTON, IDB_GALLERY_BUTTON_PRESSED, IDB_GALLERY_BUTTON_HOVER);
    m_btn[m_nButtons - 1].SizeToContent(451, 380);

    ::SetFocus(push[4]->m_hWnd);
}

BOOL CGalleryWnd::OnEraseBkgnd(CDC* pDC)
{
    m_bmpBackground.Draw(pDC, 0, 0);
    return TRUE;
}

LRESULT CGalleryWnd::OnGetFont(WPARAM wParam, LPARAM lParam)
{
    return (LRESULT)(HFONT)m_font;
}

void CGalleryWnd::OnCloseButton()
{
    DestroyWindow();
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    AfxInitCommonControls();
    CGalleryWnd wnd;
    if (!wnd.Create()) {
        ::MessageBoxW(nullptr, L"The skin bitmaps could not be loaded.", L"Control gallery", MB_ICONWARNING);
        return 1;
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
            wnd.DestroyWindow();
            continue;
        }
        // The controls see their messages first (tooltip relaying).
        CWnd* pTarget = CWnd::FromHandlePermanent(msg.hwnd);
        if (pTarget && pTarget->PreTranslateMessage(&msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
