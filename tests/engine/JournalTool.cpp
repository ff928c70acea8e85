// Stand-in for the service tool and the application in the engine tests: appends its
// priority class and its command line, as one UTF-8 line, to "journal.txt" beside itself.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int wmain()
{
    WCHAR szPath[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    WCHAR* slash = wcsrchr(szPath, L'\\');
    if (!slash || (size_t)(slash - szPath) + 13 >= MAX_PATH)
        return 1;
    wcscpy(slash + 1, L"journal.txt");

    WCHAR szLine[4096];
    _snwprintf(szLine, 4095, L"%lu|%ls\r\n", ::GetPriorityClass(::GetCurrentProcess()), ::GetCommandLineW());
    szLine[4095] = 0;
    char utf8[8192];
    int cb = ::WideCharToMultiByte(CP_UTF8, 0, szLine, -1, utf8, sizeof(utf8), nullptr, nullptr);
    if (cb <= 1)
        return 1;

    // Several copies may start close together: retry while another one holds the file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE h = ::CreateFileW(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(h, utf8, (DWORD)(cb - 1), &written, nullptr);
            ::CloseHandle(h);
            return 0;
        }
        ::Sleep(20);
    }
    return 1;
}
