#include "framework/AfxDpi.h"
#include "framework/AfxGdi.h"

namespace {

// A function of user32 that older systems lack, or null.
FARPROC User32Function(const char* lpszName)
{
    HMODULE hUser = ::GetModuleHandleW(L"user32.dll");
    return hUser ? ::GetProcAddress(hUser, lpszName) : nullptr;
}

UINT ScreenDpi()
{
    CClientDC screen(nullptr);
    int dpi = screen.GetSafeHdc() ? screen.GetDeviceCaps(LOGPIXELSY) : 0;
    return dpi > 0 ? (UINT)dpi : AFX_DEFAULT_DPI;
}

} // namespace

UINT AfxGetWindowDpi(HWND hWnd)
{
    typedef UINT(WINAPI * GetDpiForWindowFn)(HWND);
    static const GetDpiForWindowFn s_fn = (GetDpiForWindowFn)(void*)User32Function("GetDpiForWindow");
    UINT dpi = (s_fn && hWnd) ? s_fn(hWnd) : 0;
    return dpi ? dpi : ScreenDpi();
}

int AfxGetSystemMetricsForDpi(int nIndex, UINT nDpi)
{
    typedef int(WINAPI * GetSystemMetricsForDpiFn)(int, UINT);
    static const GetSystemMetricsForDpiFn s_fn =
        (GetSystemMetricsForDpiFn)(void*)User32Function("GetSystemMetricsForDpi");
    if (s_fn)
        return s_fn(nIndex, nDpi);
    // The system's metrics are made for its own resolution.
    return ::MulDiv(::GetSystemMetrics(nIndex), (int)nDpi, (int)ScreenDpi());
}

void AfxKeepDialogUnscaled(HWND hDlg)
{
    // DIALOG_DPI_CHANGE_BEHAVIORS: DDC_DISABLE_ALL (1) for the mask and the value.
    typedef BOOL(WINAPI * SetDialogDpiChangeBehaviorFn)(HWND, int, int);
    static const SetDialogDpiChangeBehaviorFn s_fn =
        (SetDialogDpiChangeBehaviorFn)(void*)User32Function("SetDialogDpiChangeBehavior");
    if (s_fn)
        s_fn(hDlg, 1, 1);
}
