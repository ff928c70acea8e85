#include "engine/Platform.h"
#include "engine/TestSeams.h"
#include "framework/AfxHandle.h"
#include <cstring>

BOOL g_bIsWow64 = FALSE;
BOOL g_bIsNt6 = FALSE;
BOOL g_bGermanUi = FALSE;
BOOL g_bSpanishSystem = FALSE;
BOOL g_bTitleBitmap = FALSE;
BOOL g_bLaunchApp = FALSE;
BOOL g_bQuiet = FALSE;
HMODULE g_hLangResource = nullptr;

#if defined(_WIN64)
// The 64-bit test build stands for the 32-bit program under WOW64, unless a test plays a
// 32-bit Windows (TestSeams.h).
BOOL IsWow64()
{
    return !TestPlays32BitWindows();
}
#else
BOOL IsWow64()
{
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    IsWow64ProcessFn fn = hKernel ? (IsWow64ProcessFn)(void*)::GetProcAddress(hKernel, "IsWow64Process") : nullptr;
    if (!fn)
        return FALSE;
    BOOL bWow64 = FALSE;
    if (!fn(::GetCurrentProcess(), &bWow64))
        return FALSE;
    return bWow64 ? TRUE : FALSE;
}
#endif

BOOL IsNt6OrLater(DWORD dwPlatformId, DWORD dwMajorVersion)
{
    // Windows 10 and 11 report 10.0 to a program whose manifest names them (6.2 without one):
    // they take the same path as Vista to 8.1.
    return dwPlatformId == VER_PLATFORM_WIN32_NT && dwMajorVersion >= 6;
}

BOOL IsWindowsNt6()
{
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!::GetVersionExW(&vi))
        return FALSE;
    return IsNt6OrLater(vi.dwPlatformId, vi.dwMajorVersion);
}

LONG WriteCompatibilityAssistantValue(LPCWSTR lpszValueName)
{
    CRegKey key;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER,
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted",
        0, nullptr, 0, KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD one = 1;
    return ::RegSetValueExW(key, lpszValueName, 0, REG_DWORD, (const BYTE*)&one, sizeof(one));
}

BOOL FileExists(LPCWSTR lpszPath)
{
    WIN32_FIND_DATAW fd;
    CFindHandle find(::FindFirstFileW(lpszPath, &fd));
    return find.IsValid();
}

BOOL GetPathFolder(LPCWSTR lpszPath, LPWSTR lpszFolder)
{
    lpszFolder[0] = 0;
    LPCWSTR last = nullptr;
    for (LPCWSTR p = lpszPath; *p; ++p)
        if (*p == L'\\')
            last = p;
    if (!last)
        return TRUE;
    size_t len = (size_t)(last - lpszPath) + 1;
    if (len >= MAX_PATH)
        return FALSE;
    memcpy(lpszFolder, lpszPath, len * sizeof(WCHAR));
    lpszFolder[len] = 0;
    return TRUE;
}
