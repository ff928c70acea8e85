// Keeps the programs loadable on Windows XP: the thread library of the toolchain calls
// GetTickCount64, which XP's kernel32 lacks. This object defines the import slot itself, so
// the linker makes no import of it: the call goes to the system's function where it exists
// and to a counter built on GetTickCount elsewhere.
#include <windows.h>

#if !defined(_WIN64)

static ULONGLONG WINAPI TickCount64FromTickCount()
{
    // Counts the wraps of the 32-bit counter (every 49.7 days) since the first call.
    static volatile LONG s_lastLow = 0;
    static volatile LONG s_high = 0;
    DWORD now = ::GetTickCount();
    DWORD last = (DWORD)::InterlockedExchange(&s_lastLow, (LONG)now);
    if (now < last)
        ::InterlockedIncrement(&s_high);
    return ((ULONGLONG)(DWORD)s_high << 32) | now;
}

static ULONGLONG WINAPI GetTickCount64Portable()
{
    typedef ULONGLONG(WINAPI * Fn)();
    static Fn s_fn = nullptr;
    if (!s_fn) {
        HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
        Fn sys = hKernel ? (Fn)(void*)::GetProcAddress(hKernel, "GetTickCount64") : nullptr;
        s_fn = sys ? sys : &TickCount64FromTickCount;
    }
    return s_fn();
}

extern "C" {
// The slot that callers of kernel32's GetTickCount64 jump through.
ULONGLONG(WINAPI* g_pfnGetTickCount64)() __asm__("__imp__GetTickCount64@0") = &GetTickCount64Portable;
}

#endif
