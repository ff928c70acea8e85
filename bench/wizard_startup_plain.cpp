// The reference for wizard_startup: a minimal Win32 program that opens one plain window of
// the wizard's size at the wizard's place, filled with a marker colour.
#include <windows.h>
#include "bench/BenchDpi.h"

const COLORREF kMarker = RGB(1, 2, 3);

// Called for every message of the plain window.
static LRESULT CALLBACK PlainWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nCmdShow)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &PlainWndProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = ::CreateSolidBrush(kMarker);
    wc.lpszClassName = L"PlainBenchWindow";
    ::RegisterClassW(&wc);
    // The wizard's size at the screen's resolution, centred as the wizard is.
    const UINT dpi = BenchMakeDpiAware();
    const int cx = BenchScale(584, dpi), cy = BenchScale(411, dpi);
    HWND hWnd = ::CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"Plain", WS_POPUP,
                                  ::GetSystemMetrics(SM_CXSCREEN) / 2 - cx / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2 - cy / 2,
                                  cx, cy, nullptr, nullptr, hInstance, nullptr);
    ::ShowWindow(hWnd, nCmdShow);
    ::UpdateWindow(hWnd);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
