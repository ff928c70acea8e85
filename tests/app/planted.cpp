// A library whose code leaves a mark when it runs: stands for a DLL planted beside the
// setup program under a language library's name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH];
        GetTempPathW(MAX_PATH, path);
        lstrcatW(path, L"planted-dll-ran.txt");
        HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    return TRUE;
}
