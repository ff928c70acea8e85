// Window layer: message maps, CWnd and dialog data exchange.
//   CCmdTarget     an object with a message map (windows and the application)
//   CWnd           a C++ object bound to one HWND: created, or subclassed from a dialog item
//   CDataExchange  DDX_Control: binds a dialog item to a control member by subclassing it
//
// Message maps. A class declares DECLARE_MESSAGE_MAP() and defines
//   BEGIN_MESSAGE_MAP(CMyWnd, CBaseWnd)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(1000, &CMyWnd::OnActionButton)
//       ON_MESSAGE(WM_USER + 100, &CMyWnd::OnProgress)
//   END_MESSAGE_MAP()
// The window procedure looks a message up from the most derived map to the base maps and
// calls the first handler found, with the message's parameters cracked to its signature.
// A handler that wants the previous window procedure's processing calls Default().
//
// Exceptions. No exception unwinds through the system's window procedure: one that a handler
// lets out is stopped there and handed to OnHandlerException of the handler's window, which
// passes it on to its top-level window; the program decides there what a failed handler means.
#pragma once
#include <windows.h>
#include "framework/AfxTypes.h"
#include "framework/AfxString.h"
#include "framework/AfxGdi.h"

class CCmdTarget;
class CWnd;
class CDataExchange;

typedef void (CCmdTarget::*AFX_PMSG)();

// How a handler's parameters are cracked from WPARAM and LPARAM.
enum AfxSig {
    AfxSig_end = 0,
    AfxSig_v_v,        // void ()                              WM_PAINT, commands
    AfxSig_l_wl,       // LRESULT (WPARAM, LPARAM)             ON_MESSAGE
    AfxSig_v_t,        // void (UINT_PTR)                      WM_TIMER
    AfxSig_b_D,        // BOOL (CDC*)                          WM_ERASEBKGND
    AfxSig_v_up,       // void (UINT, CPoint)                  mouse buttons and moves
    AfxSig_b_Wuu,      // BOOL (CWnd*, UINT, UINT)             WM_SETCURSOR
    AfxSig_b_HELPINFO, // BOOL (HELPINFO*)                     WM_HELP
    AfxSig_h_v,        // HCURSOR ()                           WM_QUERYDRAGICON
    AfxSig_v_uu,       // void (UINT, LPARAM)                  WM_SYSCOMMAND
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;   // window message; WM_COMMAND for command and control notifications
    UINT nCode;      // notification code for WM_COMMAND
    UINT nID;        // control or command id for WM_COMMAND
    UINT nSig;       // AfxSig
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP() \
protected: \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() \
    { \
        typedef theClass ThisClass; \
        typedef baseClass TheBaseClass; \
        AFX_DECLARE_SIGNATURES() \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP() \
            {0, 0, 0, AfxSig_end, nullptr} \
        }; \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
        return &messageMap; \
    }

// A handler of the derived class as the map's generic pointer: first to the same signature
// on CCmdTarget (a legal base conversion), then to the generic type; dispatch casts back.
#define AFX_PMSG_OF(sig, fn) \
    reinterpret_cast<AFX_PMSG>(static_cast<AfxFn_##sig>(static_cast<AfxThisFn_##sig>(fn)))
#define AFX_DECLARE_SIGNATURES() \
    _Pragma("GCC diagnostic ignored \"-Wunused-local-typedefs\"") \
    typedef void (ThisClass::*AfxThisFn_v_v)(); \
    typedef LRESULT (ThisClass::*AfxThisFn_l_wl)(WPARAM, LPARAM); \
    typedef void (ThisClass::*AfxThisFn_v_t)(UINT_PTR); \
    typedef BOOL (ThisClass::*AfxThisFn_b_D)(CDC*); \
    typedef void (ThisClass::*AfxThisFn_v_up)(UINT, CPoint); \
    typedef BOOL (ThisClass::*AfxThisFn_b_Wuu)(CWnd*, UINT, UINT); \
    typedef BOOL (ThisClass::*AfxThisFn_b_HELPINFO)(HELPINFO*); \
    typedef HCURSOR (ThisClass::*AfxThisFn_h_v)(); \
    typedef void (ThisClass::*AfxThisFn_v_uu)(UINT, LPARAM);

#define ON_MESSAGE(message, memberFxn) {(UINT)(message), 0, 0, AfxSig_l_wl, AFX_PMSG_OF(l_wl, memberFxn)},
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (UINT)(id), AfxSig_v_v, AFX_PMSG_OF(v_v, memberFxn)},
#define ON_CONTROL(code, id, memberFxn) {WM_COMMAND, (UINT)(code), (UINT)(id), AfxSig_v_v, AFX_PMSG_OF(v_v, memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

#define AFX_MSG_ENTRY(msg, sig, fn) {msg, 0, 0, AfxSig_##sig, AFX_PMSG_OF(sig, &ThisClass::fn)},
#define ON_WM_PAINT()          AFX_MSG_ENTRY(WM_PAINT, v_v, OnPaint)
#define ON_WM_TIMER()          AFX_MSG_ENTRY(WM_TIMER, v_t, OnTimer)
#define ON_WM_ERASEBKGND()     AFX_MSG_ENTRY(WM_ERASEBKGND, b_D, OnEraseBkgnd)
#define ON_WM_LBUTTONDOWN()    AFX_MSG_ENTRY(WM_LBUTTONDOWN, v_up, OnLButtonDown)
#define ON_WM_LBUTTONUP()      AFX_MSG_ENTRY(WM_LBUTTONUP, v_up, OnLButtonUp)
#define ON_WM_MOUSEMOVE()      AFX_MSG_ENTRY(WM_MOUSEMOVE, v_up, OnMouseMove)
#define ON_WM_SETCURSOR()      AFX_MSG_ENTRY(WM_SETCURSOR, b_Wuu, OnSetCursor)
#define ON_WM_HELPINFO()       AFX_MSG_ENTRY(WM_HELP, b_HELPINFO, OnHelpInfo)
#define ON_WM_QUERYDRAGICON()  AFX_MSG_ENTRY(WM_QUERYDRAGICON, h_v, OnQueryDragIcon)
#define ON_WM_SYSCOLORCHANGE() AFX_MSG_ENTRY(WM_SYSCOLORCHANGE, v_v, OnSysColorChange)
#define ON_WM_SYSCOMMAND()     AFX_MSG_ENTRY(WM_SYSCOMMAND, v_uu, OnSysCommand)
#define ON_WM_CLOSE()          AFX_MSG_ENTRY(WM_CLOSE, v_v, OnClose)

typedef void (CCmdTarget::*AfxFn_v_v)();
typedef LRESULT (CCmdTarget::*AfxFn_l_wl)(WPARAM, LPARAM);
typedef void (CCmdTarget::*AfxFn_v_t)(UINT_PTR);
typedef BOOL (CCmdTarget::*AfxFn_b_D)(CDC*);
typedef void (CCmdTarget::*AfxFn_v_up)(UINT, CPoint);
typedef BOOL (CCmdTarget::*AfxFn_b_Wuu)(CWnd*, UINT, UINT);
typedef BOOL (CCmdTarget::*AfxFn_b_HELPINFO)(HELPINFO*);
typedef HCURSOR (CCmdTarget::*AfxFn_h_v)();
typedef void (CCmdTarget::*AfxFn_v_uu)(UINT, LPARAM);

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Calls the handler bound to this command id (ON_COMMAND); TRUE when one was found.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);
protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // The first entry of the maps (most derived first) that matches, or null.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window: the permanent one, or a temporary stand-in that
    // lives as long as the window's entry (temporary objects serve only as handles).
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Routes an existing window's messages through this object; its old procedure stays
    // reachable through Default(). PreSubclassWindow runs first.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    HWND UnsubclassWindow();
    // Registers (once) and creates a window of the framework's own class bound to this object.
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                  int x, int y, int cx, int cy, HWND hWndParent, HMENU nIDorHMenu);
    virtual BOOL DestroyWindow();

    // Hooks.
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs) { return TRUE; }
    virtual void PreSubclassWindow() {}
    virtual BOOL PreTranslateMessage(MSG* pMsg) { return FALSE; }
    // A message that a child control sent to this window's parent, offered to the control
    // first (owner drawing, notifications). TRUE when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) { return FALSE; }
    virtual void DoDataExchange(CDataExchange* pDX) {}
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Called when a handler of this window let an exception out (lpszWhat: its what(), or a
    // fixed text for an exception that is no std::exception). Passes it on to the object of
    // the top-level window; the top-level window itself only notes it for a debugger.
    virtual void OnHandlerException(LPCSTR lpszWhat);

    // Message processing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The current message passed to the window procedure the window had before.
    LRESULT Default();
    virtual void PostNcDestroy() {}

    // Thin wrappers over the Win32 window functions.
    LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageW(m_hWnd, msg, w, l); }
    BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageW(m_hWnd, msg, w, l); }
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void SetWindowText(LPCWSTR lpszString) { ::SetWindowTextW(m_hWnd, lpszString); }
    void GetWindowText(CString& rString) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void GetClientRect(LPRECT rc) const { ::GetClientRect(m_hWnd, rc); }
    void GetWindowRect(LPRECT rc) const { ::GetWindowRect(m_hWnd, rc); }
    void ScreenToClient(LPRECT rc) const;
    void ClientToScreen(LPRECT rc) const;
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags)
        { return ::SetWindowPos(m_hWnd, pWndInsertAfter ? pWndInsertAfter->m_hWnd : nullptr, x, y, cx, cy, nFlags); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE) { ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint); }
    int SetWindowRgn(HRGN hRgn, BOOL bRedraw) { return ::SetWindowRgn(m_hWnd, hRgn, bRedraw); }
    // Gives the window rgn as its shape: once the system has taken it (TRUE), the window owns
    // and deletes the region and rgn is empty; otherwise rgn keeps it.
    BOOL SetWindowRgn(CRgn& rgn, BOOL bRedraw);
    void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
    void InvalidateRect(LPCRECT rc, BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, rc, bErase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT rc = nullptr, HRGN rgn = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE)
        { return ::RedrawWindow(m_hWnd, rc, rgn, flags); }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC pfn = nullptr) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, pfn); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    DWORD GetStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_EXSTYLE); }
    // Changes the style bits; with nFlags the frame is recomputed by SetWindowPos(nFlags).
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HFONT GetFont() const { return (HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0); }
    void SetFont(HFONT hFont, BOOL bRedraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETFONT, (WPARAM)hFont, bRedraw); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) { return (HICON)::SendMessageW(m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, (LPARAM)hIcon); }
    void CenterWindow();

    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    DECLARE_MESSAGE_MAP()
    WNDPROC m_pfnSuper = nullptr;   // the procedure the window had before we bound it
    MSG m_currentMsg{};             // the message being processed, for Default()
    bool m_bTemporary = false;

    friend class CDialog;
};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds dialog item nIDC to rControl by subclassing it, the first time only.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

// Inside a catch block: the text of the exception being handled, what() of a std::exception,
// else a fixed text.
LPCSTR AfxCurrentExceptionText() noexcept;
// Inside a catch block: hands the exception being handled to pWnd->OnHandlerException. An
// exception of the hook itself goes no further.
void AfxReportHandlerException(CWnd* pWnd) noexcept;
