#include "framework/AfxWnd.h"
#include "framework/AfxApp.h"
#include <exception>
#include <map>
#include <memory>

// Binding of windows to objects: a window property holds the permanent object.
static const WCHAR kObjectProp[] = L"AfxWndObject";

// Temporary stand-ins for windows without a permanent object (one per window handle,
// per thread; they only carry the handle).
static thread_local std::map<HWND, std::unique_ptr<CWnd>> t_tempWnds;

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; ++e) {
            if (e->nMessage != nMessage)
                continue;
            if (nMessage == WM_COMMAND && (e->nCode != nCode || e->nID != nID))
                continue;
            return e;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode)
{
    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(WM_COMMAND, (UINT)nCode, nID);
    if (!e)
        return FALSE;
    (this->*reinterpret_cast<AfxFn_v_v>(e->pfn))();
    return TRUE;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd()
{
    if (m_hWnd && !m_bTemporary) {
        // The object goes before its window: give the window its old procedure back.
        if (m_pfnSuper)
            UnsubclassWindow();
        else
            Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(::GetPropW(hWnd, kObjectProp)) : nullptr;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd* p = FromHandlePermanent(hWnd))
        return p;
    std::unique_ptr<CWnd>& slot = t_tempWnds[hWnd];
    if (!slot) {
        slot.reset(new CWnd);
        slot->m_bTemporary = true;
    }
    slot->m_hWnd = hWnd;
    return slot.get();
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd || m_hWnd)
        return FALSE;
    m_hWnd = hWnd;
    ::SetPropW(hWnd, kObjectProp, this);
    t_tempWnds.erase(hWnd);
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h && ::GetPropW(h, kObjectProp) == this)
        ::RemovePropW(h, kObjectProp);
    m_hWnd = nullptr;
    return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd))
        return FALSE;
    PreSubclassWindow();
    m_pfnSuper = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)&CWnd::AfxWndProc);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, (int)nID));
}

HWND CWnd::UnsubclassWindow()
{
    if (m_pfnSuper && m_hWnd)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int cx, int cy, HWND hWndParent, HMENU nIDorHMenu)
{
    static const WCHAR kClass[] = L"AfxWnd";
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClass;
        ::RegisterClassW(&wc);
        registered = true;
    }
    CREATESTRUCTW cs{};
    cs.dwExStyle = dwExStyle;
    cs.lpszClass = lpszClassName ? lpszClassName : kClass;
    cs.lpszName = lpszWindowName;
    cs.style = dwStyle;
    cs.x = x; cs.y = y; cs.cx = cx; cs.cy = cy;
    cs.hwndParent = hWndParent;
    cs.hMenu = nIDorHMenu;
    cs.hInstance = ::GetModuleHandleW(nullptr);
    if (!PreCreateWindow(cs))
        return FALSE;
    HWND hWnd = ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                                  cs.hwndParent, cs.hMenu, cs.hInstance, nullptr);
    if (!hWnd)
        return FALSE;
    return SubclassWindow(hWnd);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::GetWindowText(CString& rString) const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    LPWSTR buf = rString.GetBuffer(n + 1);
    int got = ::GetWindowTextW(m_hWnd, buf, n + 1);
    rString.ReleaseBuffer(got);
}

void CWnd::ScreenToClient(LPRECT rc) const
{
    ::MapWindowPoints(nullptr, m_hWnd, (LPPOINT)rc, 2);
}

void CWnd::ClientToScreen(LPRECT rc) const
{
    ::MapWindowPoints(m_hWnd, nullptr, (LPPOINT)rc, 2);
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    DWORD style = GetStyle();
    DWORD newStyle = (style & ~dwRemove) | dwAdd;
    if (style == newStyle)
        return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, (LONG)newStyle);
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags)
{
    DWORD style = GetExStyle();
    DWORD newStyle = (style & ~dwRemove) | dwAdd;
    if (style == newStyle)
        return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, (LONG)newStyle);
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}

BOOL CWnd::SetWindowRgn(CRgn& rgn, BOOL bRedraw)
{
    if (!rgn.GetSafeHandle() || !::SetWindowRgn(m_hWnd, rgn, bRedraw))
        return FALSE;
    rgn.Detach();
    return TRUE;
}

void CWnd::CenterWindow()
{
    RECT rc;
    ::GetWindowRect(m_hWnd, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    ::SetWindowPos(m_hWnd, nullptr, ::GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2,
                   ::GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    HWND hWndCtrl = (HWND)lParam;
    // A control's notification goes to the control first.
    if (hWndCtrl) {
        if (CWnd* pChild = FromHandlePermanent(hWndCtrl)) {
            LRESULT r = 0;
            if (pChild->OnChildNotify(WM_COMMAND, wParam, lParam, &r))
                return TRUE;
        }
    }
    if (OnCmdMsg(nID, nCode))
        return TRUE;
    // Commands (not control notifications) may be handled by the application too.
    if (!hWndCtrl && nCode == 0) {
        if (CWinApp* app = AfxGetApp())
            return app->OnCmdMsg(nID, nCode);
    }
    return FALSE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        if (OnCommand(wParam, lParam)) {
            *pResult = 0;
            return TRUE;
        }
        return FALSE;
    }

    // Owner drawing and notifications are reflected to the child control's object.
    HWND hWndChild = nullptr;
    if (message == WM_DRAWITEM && lParam)
        hWndChild = ((LPDRAWITEMSTRUCT)lParam)->hwndItem;
    else if (message == WM_NOTIFY && lParam)
        hWndChild = ((LPNMHDR)lParam)->hwndFrom;
    if (hWndChild) {
        if (CWnd* pChild = FromHandlePermanent(hWndChild)) {
            if (pChild != this && pChild->OnChildNotify(message, wParam, lParam, pResult))
                return TRUE;
        }
    }

    const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0, 0);
    if (!e)
        return FALSE;

    CCmdTarget* target = this;
    LRESULT r = 0;
    switch (e->nSig) {
    case AfxSig_v_v:
        (target->*reinterpret_cast<AfxFn_v_v>(e->pfn))();
        break;
    case AfxSig_l_wl:
        r = (target->*reinterpret_cast<AfxFn_l_wl>(e->pfn))(wParam, lParam);
        break;
    case AfxSig_v_t:
        (target->*reinterpret_cast<AfxFn_v_t>(e->pfn))((UINT_PTR)wParam);
        break;
    case AfxSig_b_D: {
        // The system's DC, lent for the message.
        CDCHandle dc((HDC)wParam);
        r = (target->*reinterpret_cast<AfxFn_b_D>(e->pfn))(&dc);
        break;
    }
    case AfxSig_v_up:
        (target->*reinterpret_cast<AfxFn_v_up>(e->pfn))((UINT)wParam, CPoint(lParam));
        break;
    case AfxSig_b_Wuu:
        r = (target->*reinterpret_cast<AfxFn_b_Wuu>(e->pfn))(FromHandle((HWND)wParam), LOWORD(lParam), HIWORD(lParam));
        break;
    case AfxSig_b_HELPINFO:
        r = (target->*reinterpret_cast<AfxFn_b_HELPINFO>(e->pfn))((HELPINFO*)lParam);
        break;
    case AfxSig_h_v:
        r = (LRESULT)(target->*reinterpret_cast<AfxFn_h_v>(e->pfn))();
        break;
    case AfxSig_v_uu:
        (target->*reinterpret_cast<AfxFn_v_uu>(e->pfn))((UINT)wParam, lParam);
        break;
    default:
        return FALSE;
    }
    *pResult = r;
    return TRUE;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);

    // Keep the outer message for Default() across nested messages.
    MSG saved = pWnd->m_currentMsg;
    pWnd->m_currentMsg.hwnd = hWnd;
    pWnd->m_currentMsg.message = message;
    pWnd->m_currentMsg.wParam = wParam;
    pWnd->m_currentMsg.lParam = lParam;

    LRESULT result = 0;
    try {
        result = pWnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the system's window procedure.
        result = 0;
        AfxReportHandlerException(pWnd);
    }

    if (message == WM_NCDESTROY) {
        // The window is gone: unbind the object (it may still be alive as a member).
        WNDPROC super = pWnd->m_pfnSuper;
        pWnd->m_pfnSuper = nullptr;
        if (super)
            ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)super);
        pWnd->Detach();
        pWnd->m_currentMsg = saved;
        pWnd->PostNcDestroy();
        return result;
    }
    pWnd->m_currentMsg = saved;
    return result;
}

void CWnd::OnHandlerException(LPCSTR lpszWhat)
{
    // A control's failure is its window's: the top-level window decides.
    CWnd* pTop = FromHandlePermanent(::GetAncestor(m_hWnd, GA_ROOT));
    if (pTop && pTop != this) {
        pTop->OnHandlerException(lpszWhat);
        return;
    }
    ::OutputDebugStringA("a message handler failed: ");
    ::OutputDebugStringA(lpszWhat);
    ::OutputDebugStringA("\n");
}

LPCSTR AfxCurrentExceptionText() noexcept
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an exception of an unknown type";
    }
}

void AfxReportHandlerException(CWnd* pWnd) noexcept
{
    try {
        pWnd->OnHandlerException(AfxCurrentExceptionText());
    } catch (...) {
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd)
        return;
    HWND hWndCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (hWndCtrl)
        rControl.SubclassWindow(hWndCtrl);
}
