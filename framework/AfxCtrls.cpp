#include "framework/AfxCtrls.h"
#include "framework/AfxDll.h"

BEGIN_MESSAGE_MAP(CButton, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CStatic, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CProgressCtrl, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CToolTipCtrl, CWnd)
END_MESSAGE_MAP()

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_DRAWITEM) {
        DrawItem((LPDRAWITEMSTRUCT)lParam);
        if (pResult)
            *pResult = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, pResult);
}

// The tool record as XP's comctl32 version 5 knows it, without the newer trailing field.
static TOOLINFOW MakeToolInfo(HWND hWndOwner, HWND hWndTool, UINT_PTR nIDTool, LPCWSTR text)
{
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_SUBCLASS;
    ti.hwnd = hWndTool;
    ti.uId = nIDTool;
    ti.lpszText = const_cast<LPWSTR>(text);
    ::GetClientRect(hWndTool, &ti.rect);
    (void)hWndOwner;
    return ti;
}

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle)
{
    AfxInitCommonControls();
    HWND hWnd = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd ? pParentWnd->m_hWnd : nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    return hWnd ? SubclassWindow(hWnd) : FALSE;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCWSTR lpszText, UINT_PTR nIDTool)
{
    TOOLINFOW ti = MakeToolInfo(m_hWnd, pWnd->m_hWnd, nIDTool, lpszText ? lpszText : LPSTR_TEXTCALLBACKW);
    return (BOOL)SendMessage(TTM_ADDTOOLW, 0, (LPARAM)&ti);
}

void CToolTipCtrl::UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool)
{
    TOOLINFOW ti = MakeToolInfo(m_hWnd, pWnd->m_hWnd, nIDTool, lpszText);
    SendMessage(TTM_UPDATETIPTEXTW, 0, (LPARAM)&ti);
}
