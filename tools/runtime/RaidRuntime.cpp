#include "tools/runtime/RaidRuntime.h"

#include <stdio.h>

extern "C" int WINAPI RaidFormatStatus(LPCWSTR lpszAppName, LPCWSTR lpszVersion, LPCWSTR lpszFolder,
                                       LPWSTR lpszOut, int cchOut)
{
    if (!lpszOut || cchOut <= 0)
        return -1;
    int len = _snwprintf(lpszOut, (size_t)cchOut,
        L"%ls\r\n"
        L"Version %ls\r\n"
        L"Installed in %ls\r\n"
        L"\r\n"
        L"Controllers and arrays:\r\n"
        L"    No VRX58Q RAID controller was found on this computer.\r\n",
        lpszAppName ? lpszAppName : L"", lpszVersion ? lpszVersion : L"", lpszFolder ? lpszFolder : L"");
    if (len < 0 || len >= cchOut) {
        lpszOut[cchOut - 1] = 0;
        return -1;
    }
    return len;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        ::DisableThreadLibraryCalls(hInstance);
    return TRUE;
}
