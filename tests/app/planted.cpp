// A library whose code leaves a mark when it runs: stands for a DLL planted beside a program
// under the name of a library it may load (a language library, a system DLL). Each time it is
// loaded it appends its own path as a line to %TEMP%\planted-dll-ran.txt. It imports only
// kernel32, so that it loads under any other library's name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        WCHAR path[MAX_PATH], self[MAX_PATH];
        char line[3 * MAX_PATH + 2];
        ::GetTempPathW(MAX_PATH, path);
        ::lstrcatW(path, L"planted-dll-ran.txt");
        ::GetModuleFileNameW(hInstance, self, MAX_PATH);
        int cb = ::WideCharToMultiByte(CP_UTF8, 0, self, -1, line, 3 * MAX_PATH, nullptr, nullptr);
        if (cb <= 0)
            cb = 1;
        line[cb - 1] = '\n';
        HANDLE h = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(h, line, (DWORD)cb, &written, nullptr);
            ::CloseHandle(h);
        }
    }
    return TRUE;
}
