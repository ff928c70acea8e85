#include "tools/common/ToolsJournal.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

BOOL GetToolsJournalPath(LPWSTR lpszPath)
{
    DWORD n = ::GetEnvironmentVariableW(L"SETUP_TOOLS_JOURNAL", lpszPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        return TRUE;
    WCHAR szTemp[MAX_PATH];
    n = ::GetTempPathW(MAX_PATH, szTemp);
    if (n == 0 || n >= MAX_PATH)
        return FALSE;
    int len = _snwprintf(lpszPath, MAX_PATH, L"%lsvrx58q-tools.log", szTemp);
    return len > 0 && len < MAX_PATH;
}

// The base name of the running program, for the journal's program column.
static void GetProgramName(LPWSTR lpszName, DWORD cch)
{
    WCHAR szPath[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        lstrcpynW(lpszName, L"?", cch);
        return;
    }
    LPCWSTR name = wcsrchr(szPath, L'\\');
    lstrcpynW(lpszName, name ? name + 1 : szPath, cch);
}

// Tabs and line breaks inside a field would break the line format; they become spaces.
static void FlattenField(LPWSTR lpsz)
{
    for (; *lpsz; ++lpsz)
        if (*lpsz == L'\t' || *lpsz == L'\r' || *lpsz == L'\n')
            *lpsz = L' ';
}

void WriteToolsJournal(LPCWSTR lpszEvent, LPCWSTR lpszDetail)
{
    WCHAR szPath[MAX_PATH];
    if (!GetToolsJournalPath(szPath))
        return;

    SYSTEMTIME st;
    ::GetSystemTime(&st);
    WCHAR szProgram[MAX_PATH];
    GetProgramName(szProgram, MAX_PATH);

    const size_t cchLine = 4096;
    WCHAR* line = new WCHAR[cchLine];
    int len = _snwprintf(line, cchLine - 2, L"%04u-%02u-%02uT%02u:%02u:%02u.%03uZ\t%ls\t%lu\t%ls\t%ls",
        st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
        szProgram, ::GetCurrentProcessId(), lpszEvent ? lpszEvent : L"", lpszDetail ? lpszDetail : L"");
    if (len < 0) {
        // Cut to fit; the command line is the last field, so only its end is lost.
        len = (int)cchLine - 2;
        line[len] = 0;
    }
    // Keep the fixed columns' tabs, flatten only the free-text tail.
    WCHAR* tail = line;
    for (int tabs = 0; *tail && tabs < 4; ++tail)
        if (*tail == L'\t')
            ++tabs;
    FlattenField(tail);
    line[len++] = L'\n';
    line[len] = 0;

    int cb = ::WideCharToMultiByte(CP_UTF8, 0, line, len, nullptr, 0, nullptr, nullptr);
    char* utf8 = cb > 0 ? new char[cb] : nullptr;
    if (utf8 && ::WideCharToMultiByte(CP_UTF8, 0, line, len, utf8, cb, nullptr, nullptr) == cb) {
        HANDLE hFile = ::CreateFileW(szPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(hFile, utf8, (DWORD)cb, &written, nullptr);
            ::CloseHandle(hFile);
        }
    }
    delete[] utf8;
    delete[] line;
}

void WriteToolsJournalStart()
{
    WriteToolsJournal(L"start", ::GetCommandLineW());
}
