#include "engine/SetupLog.h"
#include "engine/Text.h"
#include "framework/AfxHandle.h"
#include <stdio.h>

namespace {

CFileHandle g_logFile;
CRITICAL_SECTION g_logLock;
bool g_bLockReady = false;

void WriteUtf8(const std::wstring& line)
{
    std::string utf8 = ToUtf8(line);
    if (utf8.empty())
        return;
    DWORD written = 0;
    ::WriteFile(g_logFile, utf8.data(), (DWORD)utf8.size(), &written, nullptr);
}

} // namespace

BOOL OpenSetupLog(LPCWSTR lpszPath)
{
    // Others may read the log while the run goes on; a second run may append to it.
    CFileHandle file(::CreateFileW(lpszPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return FALSE;
    UseSetupLogFile(file.Detach());
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
    g_logFile.Attach(hFile);
    ::LeaveCriticalSection(&g_logLock);
}

void CloseSetupLog()
{
    if (!g_bLockReady)
        return;
    ::EnterCriticalSection(&g_logLock);
    g_logFile.Close();
    ::LeaveCriticalSection(&g_logLock);
}

BOOL IsSetupLogOpen()
{
    return g_logFile.IsValid();
}

void SetupLog(LPCWSTR lpszFormat, ...)
{
    if (!g_bLockReady || !g_logFile.IsValid())
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
    if (g_logFile.IsValid())
        WriteUtf8(line);
    ::LeaveCriticalSection(&g_logLock);
}
