// The benchmarks see the screen as the wizard does: in real pixels at the system's resolution.
#pragma once
#include <windows.h>

// Makes the process DPI-aware (Vista and later) and returns the screen's resolution.
inline UINT BenchMakeDpiAware()
{
    typedef BOOL(WINAPI * SetProcessDPIAwareFn)();
    HMODULE hUser = ::GetModuleHandleW(L"user32.dll");
    if (SetProcessDPIAwareFn fn = hUser ? (SetProcessDPIAwareFn)(void*)::GetProcAddress(hUser, "SetProcessDPIAware")
                                        : nullptr)
        fn();
    HDC hScreen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(hScreen, LOGPIXELSY);
    ::ReleaseDC(nullptr, hScreen);
    return dpi > 0 ? (UINT)dpi : 96;
}

// A length of the 96-dpi layout at the screen's resolution.
inline int BenchScale(int n, UINT dpi)
{
    return ::MulDiv(n, (int)dpi, 96);
}
