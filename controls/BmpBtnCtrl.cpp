#include "controls/BmpBtnCtrl.h"
#include <algorithm>

namespace {

enum DrawKind { kDrawNone, kDrawPush, kDrawCheck, kDrawRadio };

// How far a push button's focus cue lies inside its edge.
const int kFocusInset = 3;

DrawKind KindOf(int nButtonType)
{
    switch (nButtonType) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        return kDrawPush;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
        return kDrawCheck;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return kDrawRadio;
    default:
        return kDrawNone;
    }
}

bool IsLoaded(const CSkinBitmap& bmp)
{
    return bmp.GetSafeHandle() != nullptr;
}

} // namespace

BEGIN_MESSAGE_MAP(CBmpBtnCtrl, CButton)
    ON_WM_MOUSEMOVE()
    ON_WM_SETCURSOR()
    ON_WM_ERASEBKGND()
    ON_WM_HELPINFO()
    ON_MESSAGE(WM_MOUSELEAVE, &CBmpBtnCtrl::OnMouseLeave)
    ON_MESSAGE(WM_MOUSEHOVER, &CBmpBtnCtrl::OnMouseHover)
    ON_WM_LBUTTONDOWN()
    ON_MESSAGE(WM_GETDLGCODE, &CBmpBtnCtrl::OnGetDlgCode)
    ON_MESSAGE(BM_SETSTYLE, &CBmpBtnCtrl::OnSetStyle)
    ON_MESSAGE(WM_UPDATEUISTATE, &CBmpBtnCtrl::OnUpdateUiState)
END_MESSAGE_MAP()

CBmpBtnCtrl::~CBmpBtnCtrl()
{
    if (m_ToolTip.IsWindow())
        m_ToolTip.DestroyWindow();
}

BOOL CBmpBtnCtrl::LoadBitmaps(UINT nIDNormal, UINT nIDPressed, UINT nIDHover, UINT nIDChecked,
                              UINT nIDDisabled, UINT nIDDisabledChecked)
{
    if (m_nButtonType == -1) {
        m_nButtonType = (int)(GetStyle() & 0xFF);
        m_bDefault = m_nButtonType == BS_DEFPUSHBUTTON;
    }
    // The type bits go, so that every kind (a plain radio button too) becomes owner-drawn.
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);

    m_bmpNormal.DeleteObject();
    m_bmpPressed.DeleteObject();
    m_bmpHover.DeleteObject();
    m_bmpChecked.DeleteObject();
    m_bmpDisabled.DeleteObject();
    m_bmpDisabledChecked.DeleteObject();
    m_clrKey = -1;
    ::SetRectEmpty(&m_rcInner);

    if (!m_bmpNormal.LoadScaledBitmap(LOWORD(nIDNormal), m_nDpi))
        return FALSE;
    BOOL bAllLoaded = TRUE;
    const struct { CSkinBitmap* bmp; UINT id; } more[] = {
        {&m_bmpPressed, nIDPressed}, {&m_bmpHover, nIDHover}, {&m_bmpChecked, nIDChecked},
        {&m_bmpDisabled, nIDDisabled}, {&m_bmpDisabledChecked, nIDDisabledChecked},
    };
    for (const auto& m : more) {
        if (m.id != 0 && !m.bmp->LoadScaledBitmap(LOWORD(m.id), m_nDpi))
            bAllLoaded = FALSE;
    }
    return bAllLoaded;
}

void CBmpBtnCtrl::SetKeyColor(COLORREF crKey, LPCRECT lpInner)
{
    m_clrKey = (LONG)crKey;
    if (lpInner)
        m_rcInner = *lpInner;
    else
        ::SetRectEmpty(&m_rcInner);
}

BOOL CBmpBtnCtrl::CreateTooltip()
{
    if (m_ToolTip.IsWindow())
        return TRUE;
    if (!m_ToolTip.Create(this))
        return FALSE;
    CString text;
    if (m_nTipTextId)
        text.LoadString(AfxGetResourceHandle(), m_nTipTextId);
    if (!m_ToolTip.AddTool(this, text)) {
        m_ToolTip.DestroyWindow();
        return FALSE;
    }
    m_ToolTip.Activate(TRUE);
    return TRUE;
}

void CBmpBtnCtrl::SizeToContent(int x, int y)
{
    CSize size = m_bmpNormal.GetSize();
    CRect client;
    GetClientRect(&client);
    int w = size.cx, h = size.cy;
    DrawKind kind = KindOf(m_nButtonType);
    if (kind == kDrawCheck || kind == kDrawRadio) {
        // Keep the room the text had to the right of the system's check mark.
        w += client.Width() - AfxGetSystemMetricsForDpi(SM_CXMENUCHECK, m_nDpi) + AfxScaleForDpi(2, m_nDpi);
        h += AfxScaleForDpi(4, m_nDpi);
    }
    if (m_nButtonType == BS_PUSHBUTTON && (DWORD)m_clrKey <= 0x00FFFFFF) {
        m_bmpNormal.CreateRegionFromBitmap((COLORREF)m_clrKey, &m_rcInner);
        // The window owns the region it is given.
        CRgn rgn;
        rgn.Attach(m_bmpNormal.DetachRegion());
        SetWindowRgn(rgn, TRUE);
    }
    if (x == 0 && y == 0)
        SetWindowPos(nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    else
        SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

int CBmpBtnCtrl::GetCheck() const
{
    return m_nCheck;
}

void CBmpBtnCtrl::SetCheck(int nCheck)
{
    if (!IsWindowEnabled() || nCheck == m_nCheck)
        return;
    m_nCheck = nCheck;
    InvalidateRect(nullptr, FALSE);
}

int CBmpBtnCtrl::GetButtonType() const
{
    return m_nButtonType;
}

CSkinBitmap* CBmpBtnCtrl::PickBitmap(UINT nItemState)
{
    const bool disabled = (nItemState & ODS_DISABLED) != 0;
    const bool selected = (nItemState & ODS_SELECTED) != 0;
    CSkinBitmap* pick = &m_bmpNormal;
    if (KindOf(m_nButtonType) == kDrawPush) {
        if (disabled)
            pick = &m_bmpDisabled;
        else if (selected)
            pick = &m_bmpPressed;
        else if (m_bHover)
            pick = &m_bmpHover;
    } else {
        if (disabled && m_nCheck == 1)
            pick = &m_bmpDisabledChecked;
        else if (disabled)
            pick = &m_bmpDisabled;
        else if (m_nCheck == 1)
            pick = &m_bmpChecked;
        else if (m_bHover)
            pick = &m_bmpHover;
        else if (selected)
            pick = &m_bmpPressed;
    }
    return IsLoaded(*pick) ? pick : &m_bmpNormal;
}

COLORREF CBmpBtnCtrl::GetCaptionColor() const
{
    return IsWindowEnabled() ? RGB(255, 255, 255) : ::GetSysColor(COLOR_GRAYTEXT);
}

void CBmpBtnCtrl::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    CRect rect;
    GetClientRect(&rect);
    CDCHandle dc(lpDrawItemStruct->hDC);

    CDC mem;
    if (!mem.CreateCompatibleDC(&dc))
        return;
    CBitmap buffer;
    if (!buffer.CreateCompatibleBitmap(&dc, rect.Width(), rect.Height()))
        return;
    CSelectScope intoBuffer(mem, buffer);
    CSelectScope font(mem, (HFONT)::SendMessageW(::GetParent(m_hWnd), WM_GETFONT, 0, 0));

    UINT state = lpDrawItemStruct->itemState;
    // The focus cue shows only once the keyboard has been used in the window.
    if ((state & ODS_NOFOCUSRECT) || (m_nUiState & UISF_HIDEFOCUS))
        state &= ~ODS_FOCUS;
    switch (KindOf(m_nButtonType)) {
    case kDrawPush:
        DrawPushButton(&mem, rect, state);
        break;
    case kDrawCheck:
        DrawCheckBox(&mem, rect, state);
        break;
    case kDrawRadio:
        DrawRadioButton(&mem, rect, state);
        break;
    case kDrawNone:
        break;
    }

    dc.BitBlt(0, 0, rect.Width(), rect.Height(), &mem, 0, 0, SRCCOPY);
}

void CBmpBtnCtrl::DrawPushButton(CDC* pDC, const CRect& rect, UINT nItemState)
{
    CRect rc = rect;
    CSkinBitmap* bmp = PickBitmap(nItemState);
    if (bmp->GetSize() == rc.Size())
        bmp->Draw(pDC, 0, 0);
    else
        bmp->DrawWithBorders(pDC, &rc, CSize(5, 5));

    const bool selected = (nItemState & ODS_SELECTED) != 0;
    const bool disabled = (nItemState & ODS_DISABLED) != 0;
    // A hover without its own look keeps the plain look: no focus mark either.
    const bool plainHover = m_bHover && !selected && !disabled && !IsLoaded(m_bmpHover);
    if (!plainHover && (GetStyle() & WS_TABSTOP) && IsWindowEnabled() && (nItemState & ODS_FOCUS)) {
        // Inside the picture's rounded face rather than on its edge.
        CRect rcFocus = rc;
        rcFocus.InflateRect(-kFocusInset, -kFocusInset);
        pDC->DrawFocusRect(&rcFocus);
        rc.InflateRect(-1, -1);
    }

    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    CString text;
    if (!m_bTextHidden)
        GetWindowText(text);
    if (!text.IsEmpty()) {
        if (selected)
            rc.OffsetRect(1, 1);
        pDC->SetTextColor(GetCaptionColor());
        pDC->DrawText(text, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    pDC->SetBkMode(nOldMode);
}

CRect CBmpBtnCtrl::DrawMark(CDC* pDC, const CRect& rect, UINT nItemState)
{
    {
        CBrush face(RGB(71, 93, 173));
        pDC->FillRect(&rect, face);
    }
    CSkinBitmap* bmp = PickBitmap(nItemState);
    CSize bs = bmp->GetSize();
    CRect rcBmp(0, 0, bs.cx, bs.cy);
    rcBmp.OffsetRect(0, (rect.top + rect.bottom) / 2 - bs.cy / 2);
    bmp->StretchDraw(pDC, &rcBmp);
    return rcBmp;
}

void CBmpBtnCtrl::DrawCheckBox(CDC* pDC, const CRect& rect, UINT nItemState)
{
    CRect rcBmp = DrawMark(pDC, rect, nItemState);
    CSize bs = rcBmp.Size();

    CString text;
    GetWindowText(text);
    if (text.IsEmpty())
        return;
    COLORREF crOld = pDC->SetTextColor(GetCaptionColor());
    CRect rcText(bs.cx + 4, rcBmp.top, rcBmp.right, rcBmp.bottom);
    int t = pDC->DrawText(text, -1, &rcText, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    rcText.bottom = rcText.top + t + 1;
    // A text wider than the button ends in an ellipsis at the button's edge.
    rcText.right = std::min(rcText.right, rect.right);
    rcText.OffsetRect(0, -1);
    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(text, -1, &rcText, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    pDC->SetBkMode(nOldMode);
    pDC->SetTextColor(crOld);
    if ((GetStyle() & WS_TABSTOP) && IsWindowEnabled() && (nItemState & ODS_FOCUS)) {
        rcText.InflateRect(2, 1);
        pDC->DrawFocusRect(&rcText);
    }
}

void CBmpBtnCtrl::DrawRadioButton(CDC* pDC, const CRect& rect, UINT nItemState)
{
    CRect rcBmp = DrawMark(pDC, rect, nItemState);
    CSize bs = rcBmp.Size();

    const bool focus = IsWindowEnabled() && (nItemState & ODS_FOCUS);
    CString text;
    GetWindowText(text);
    if (text.IsEmpty()) {
        if (focus)
            pDC->DrawFocusRect(&rcBmp);
        return;
    }
    CFont font;
    font.CreatePointFont(90, L"Arial");
    CSelectScope selectFont(*pDC, font);
    COLORREF crOld = pDC->SetTextColor(GetCaptionColor());
    CRect rcText(bs.cx + 4, rcBmp.top, rcBmp.right, rcBmp.bottom);
    int t = pDC->DrawText(text, -1, &rcText, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    rcText.bottom = rcText.top + t + 1;
    rcText.right = std::min(rcText.right, rect.right);
    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    pDC->DrawText(text, -1, &rcText, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    pDC->SetBkMode(nOldMode);
    pDC->SetTextColor(crOld);
    if (focus) {
        rcText.InflateRect(2, 1);
        pDC->DrawFocusRect(&rcText);
    }
}

void CBmpBtnCtrl::OnMouseMove(UINT nFlags, CPoint point)
{
    if (!m_bTracking) {
        TRACKMOUSEEVENT tme{};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_HOVER | TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        tme.dwHoverTime = 1;
        m_bTracking = ::TrackMouseEvent(&tme);
    }
    Default();
}

LRESULT CBmpBtnCtrl::OnMouseHover(WPARAM wParam, LPARAM lParam)
{
    m_bHover = TRUE;
    if (m_ToolTip.IsWindow() && m_nTipTextId != 0) {
        CString text;
        text.LoadString(AfxGetResourceHandle(), m_nTipTextId);
        m_ToolTip.UpdateTipText(text, this, 0);
    }
    if (IsWindowEnabled())
        InvalidateRect(nullptr, FALSE);
    return 0;
}

LRESULT CBmpBtnCtrl::OnMouseLeave(WPARAM wParam, LPARAM lParam)
{
    m_bHover = FALSE;
    m_bTracking = FALSE;
    if (m_hOldCursor)
        ::SetCursor(m_hOldCursor);
    if (IsWindowEnabled())
        InvalidateRect(nullptr, FALSE);
    return 0;
}

BOOL CBmpBtnCtrl::OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message)
{
    if (pWnd && pWnd->m_hWnd == m_hWnd && m_hCursor) {
        m_hOldCursor = ::SetCursor(m_hCursor);
        return TRUE;
    }
    m_hOldCursor = nullptr;
    return (BOOL)Default();
}

BOOL CBmpBtnCtrl::OnEraseBkgnd(CDC* pDC)
{
    return TRUE;
}

BOOL CBmpBtnCtrl::OnHelpInfo(HELPINFO* pHelpInfo)
{
    return (BOOL)Default();
}

void CBmpBtnCtrl::OnLButtonDown(UINT nFlags, CPoint point)
{
    Default();
}

LRESULT CBmpBtnCtrl::OnGetDlgCode(WPARAM wParam, LPARAM lParam)
{
    // Owner drawing hides the kind from the system's button, which then answers for no push
    // button: Enter would go to the dialog's default button instead of the focused one.
    if (KindOf(m_nButtonType) == kDrawPush)
        return DLGC_BUTTON | (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    return Default();
}

LRESULT CBmpBtnCtrl::OnSetStyle(WPARAM wParam, LPARAM lParam)
{
    const UINT nType = (UINT)wParam & BS_TYPEMASK;
    if (KindOf(m_nButtonType) != kDrawPush || (nType != BS_PUSHBUTTON && nType != BS_DEFPUSHBUTTON))
        return Default();
    // The default-button role has no look of its own here: the button stays owner-drawn.
    m_bDefault = nType == BS_DEFPUSHBUTTON;
    return DefWindowProc(BM_SETSTYLE, ((UINT)wParam & ~BS_TYPEMASK) | BS_OWNERDRAW, lParam);
}

LRESULT CBmpBtnCtrl::OnUpdateUiState(WPARAM wParam, LPARAM lParam)
{
    LRESULT result = Default();
    const UINT nFlags = HIWORD(wParam);
    switch (LOWORD(wParam)) {
    case UIS_SET:
        m_nUiState |= nFlags;
        break;
    case UIS_CLEAR:
        m_nUiState &= ~nFlags;
        break;
    case UIS_INITIALIZE:
        m_nUiState = (UINT)SendMessage(WM_QUERYUISTATE, 0, 0);
        break;
    default:
        break;
    }
    if (::GetFocus() == m_hWnd)
        InvalidateRect(nullptr, FALSE);
    return result;
}

BOOL CBmpBtnCtrl::PreTranslateMessage(MSG* pMsg)
{
    if (m_ToolTip.IsWindow())
        m_ToolTip.RelayEvent(pMsg);
    return CButton::PreTranslateMessage(pMsg);
}

BOOL CBmpBtnCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (KindOf(m_nButtonType)) {
        case kDrawCheck:
            SetCheck(GetCheck() == 0 ? 1 : 0);
            break;
        case kDrawRadio:
            SetCheck(1);
            break;
        default:
            break;
        }
    }
    // The parent still receives the click.
    return CButton::OnChildNotify(message, wParam, lParam, pResult);
}
