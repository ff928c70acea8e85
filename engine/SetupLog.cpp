#include "engine/SetupLog.h"
#include <stdio.h>

namespace {

HANDLE g_hLogFile = INVALID_HANDLE_VALUE;
CRITICAL_SECTION g_logLock;
bool g_bLockReady = false;

void WriteUtf8(const std::wstring& line)
{
    std::string utf8 = ToUtf8(line);
    if (utf8.empty())
        return;
    DWORD written = 0;
    ::WriteFile(g_hLogFile, utf8.data(), (DWORD)utf8.size(), &written, nullptr);
}

} // namespace

std::wstring FormatStringV(LPCWSTR lpszFormat, va_list args)
{
    std::wstring text(512, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(&text[0], text.size(), lpszFormat, copy);
        va_end(copy);
        if (n >= 0 && (size_t)n < text.size()) {
            text.resize((size_t)n);
            return text;
        }
        if (text.size() >= 1u << 20) {   // a runaway text is cut rather than dropped
            text.resize(text.size() - 1);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

BOOL OpenSetupLog(LPCWSTR lpszPath)
{
    // Others may read the log while the run goes on; a second run may append to it.
    HANDLE h = ::CreateFileW(lpszPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    UseSetupLogFile(h);
    return TRUE;
}

void UseSetupLogFile(HANDLE hFile)
{
    if (!g_bLockReady) {
        ::InitializeCriticalSection(&g_logLock);
        g_bLockReady = true;
    }
    CloseSetupLog();
    ::EnterCriticalSection(&g_logLock);
    g_hLogFile = hFile;
    ::LeaveCriticalSection(&g_logLock);
}

void CloseSetupLog()
{
    if (!g_bLockReady)
        return;
    ::EnterCriticalSection(&g_logLock);
    if (g_hLogFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(g_hLogFile);
    g_hLogFile = INVALID_HANDLE_VALUE;
    ::LeaveCriticalSection(&g_logLock);
}

BOOL IsSetupLogOpen()
{
    return g_hLogFile != INVALID_HANDLE_VALUE;
}

void SetupLog(LPCWSTR lpszFormat, ...)
{
    if (!g_bLockReady || g_hLogFile == INVALID_HANDLE_VALUE)
        return;
    va_list args;
    va_start(args, lpszFormat);
    std::wstring text = FormatStringV(lpszFormat, args);
    va_end(args);

    SYSTEMTIME st;
    ::GetLocalTime(&st);
    WCHAR szStamp[32];
    _snwprintf(szStamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ", st.wYear, st.wMonth, st.wDay, st.wHour,
        st.wMinute, st.wSecond, st.wMilliseconds);
    szStamp[31] = 0;
    // One record per line: line breaks inside the text are folded.
    for (WCHAR& c : text)
        if (c == L'\r' || c == L'\n')
            c = L' ';
    std::wstring line = szStamp + text + L"\r\n";

    ::EnterCriticalSection(&g_logLock);
    if (g_hLogFile != INVALID_HANDLE_VALUE)
        WriteUtf8(line);
    ::LeaveCriticalSection(&g_logLock);
}

void FormatSystemError(DWORD dwError, LPWSTR lpszText, size_t cch)
{
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
        lpszText, (DWORD)cch, nullptr);
    while (n > 0 && (lpszText[n - 1] == L'\n' || lpszText[n - 1] == L'\r' || lpszText[n - 1] == L' ' ||
                     lpszText[n - 1] == L'.'))
        lpszText[--n] = 0;
    if (n == 0)
        _snwprintf(lpszText, cch, L"error %lu", dwError);
    else
        _snwprintf(lpszText + n, cch - n, L" (error %lu)", dwError);
    lpszText[cch - 1] = 0;
}

std::wstring SystemErrorText(DWORD dwError)
{
    WCHAR szError[256];
    FormatSystemError(dwError, szError, 256);
    return szError;
}

std::string ToUtf8(const std::wstring& text)
{
    int cb = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(cb > 0 ? (size_t)cb : 0, '\0');
    if (cb > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &utf8[0], cb, nullptr, nullptr);
    return utf8;
}
