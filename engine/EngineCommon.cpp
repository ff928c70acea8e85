#include "engine/EngineCommon.h"
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>
#include <string>

EngineMessageBoxFn g_pfnEngineMessageBox = ::MessageBoxW;

const LPCWSTR kUninstallFolderFiles[9] = {
    L"setup.exe", L"setup.ini", L"setupENU.dll", L"setupCHT.dll", L"setupCHS.dll", L"setupJPN.dll",
    L"setupKOR.dll", L"setupFRA.dll", L"setupDEU.dll",
};

static BOOL FormatTextV(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, va_list args)
{
    int n = _vsnwprintf(lpszBuffer, cch, lpszFormat, args);
    if (n < 0 || (size_t)n >= cch) {
        lpszBuffer[0] = 0;
        return FALSE;
    }
    lpszBuffer[n] = 0;
    return TRUE;
}

BOOL FormatText(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    BOOL bOk = FormatTextV(lpszBuffer, cch, lpszFormat, args);
    va_end(args);
    return bOk;
}

BOOL FormatPath(LPWSTR lpszBuffer, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    BOOL bOk = FormatTextV(lpszBuffer, MAX_PATH, lpszFormat, args);
    va_end(args);
    return bOk;
}

BOOL FormatPlanPath(LPWSTR lpszBuffer, LPCWSTR lpszSetting, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    std::wstring path = FormatStringV(lpszFormat, args);
    va_end(args);
    if (path.size() < MAX_PATH) {
        wcscpy(lpszBuffer, path.c_str());
        return TRUE;
    }
    lpszBuffer[0] = 0;
    if (lpszSetting)
        ReportFailure(L"The setting \"%ls\" in setup.ini is too long: it makes the path \"%ls\" %u characters "
                      L"long, and a path may have at most %u.", lpszSetting, path.c_str(), (unsigned)path.size(),
                      (unsigned)(MAX_PATH - 1));
    else
        ReportFailure(L"The package folder is too deep: the path \"%ls\" is %u characters long, and a path may "
                      L"have at most %u. Move the package to a shorter folder.", path.c_str(),
                      (unsigned)path.size(), (unsigned)(MAX_PATH - 1));
    return FALSE;
}

BOOL IsFileInUse(DWORD dwError, LPCWSTR lpszPath)
{
    if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION)
        return TRUE;
    if (dwError != ERROR_ACCESS_DENIED || !lpszPath)
        return FALSE;
    // A program or library in use may still be opened for deletion, with every sharing mode;
    // a file whose rights deny it may not. A link is not followed.
    CFileHandle file(::CreateFileW(lpszPath, DELETE | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsValid())
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD dwNotHeld = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT;
    return ::GetFileInformationByHandle(file, &info) && !(info.dwFileAttributes & dwNotHeld);
}

SetupOutcome OutcomeOfFileError(DWORD dwError, LPCWSTR lpszPath)
{
    if (IsFileInUse(dwError, lpszPath))
        return SetupFileBusy;
    if (dwError == ERROR_DISK_FULL || dwError == ERROR_HANDLE_DISK_FULL)
        return SetupDiskFull;
    return SetupFailed;
}

std::wstring FileErrorText(DWORD dwError, LPCWSTR lpszPath)
{
    const std::wstring text = SystemErrorText(dwError);
    return IsFileInUse(dwError, lpszPath) ? text + L"; the file is in use by another program" : text;
}

BOOL FolderExists(LPCWSTR lpszPath)
{
    DWORD attr = ::GetFileAttributesW(lpszPath);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

// lpszText starts with at least one decimal digit; the text after them goes to *ppszEnd.
static BOOL SkipDigits(LPCWSTR lpszText, LPCWSTR* ppszEnd)
{
    LPCWSTR p = lpszText;
    while (*p >= L'0' && *p <= L'9')
        ++p;
    *ppszEnd = p;
    return p != lpszText;
}

// The long form of a path, so that two spellings of one folder compare equal.
static std::wstring LongPath(LPCWSTR lpszPath)
{
    WCHAR szLong[MAX_PATH];
    DWORD n = ::GetLongPathNameW(lpszPath, szLong, MAX_PATH);
    return n > 0 && n < MAX_PATH ? szLong : lpszPath;
}

BOOL IsTemporaryFolder(LPCWSTR lpszName, LPCWSTR lpszFolder)
{
    WCHAR szTemp[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    size_t len = wcslen(lpszFolder);
    if (n == 0 || n >= MAX_PATH || len < 2 || lpszFolder[len - 1] != L'\\')
        return FALSE;
    std::wstring folder(lpszFolder, len - 1);
    size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos || lstrcmpiW(LongPath(folder.substr(0, slash + 1).c_str()).c_str(),
                                                 LongPath(szTemp).c_str()) != 0)
        return FALSE;
    // "<lpszName>-<process id>-<n>"
    LPCWSTR p = folder.c_str() + slash + 1;
    size_t nameLen = wcslen(lpszName);
    return _wcsnicmp(p, lpszName, nameLen) == 0 && p[nameLen] == L'-' && SkipDigits(p + nameLen + 1, &p) && *p == L'-'
        && SkipDigits(p + 1, &p) && *p == 0;
}

LPCWSTR GetRegistryPrefix()
{
    return g_bIsWow64 ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                      : L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
}

void ReportFailure(LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    std::wstring text = FormatStringV(lpszFormat, args);
    va_end(args);
    SetupLog(L"message: %ls", text.c_str());
    if (g_bQuiet)
        return;
    // A box that the system could not show (a desktop that is still starting) is tried again:
    // the message is the only report the user gets. Its dialog's failure may come back as -1.
    for (int attempt = 1;; ++attempt) {
        const int nAnswer = g_pfnEngineMessageBox(nullptr, text.c_str(), L"Fail", MB_ICONWARNING | MB_OK);
        if (nAnswer > 0)
            return;
        SetupLog(L"the message could not be shown (%d): %ls", nAnswer, SystemErrorText(::GetLastError()).c_str());
        if (attempt == 3)
            return;
        ::Sleep(1000);
    }
}

SetupOutcome ReportRunException(LPCSTR lpszWhat) noexcept
{
    try {
        SetupLog(L"the setup stops on an exception: %hs", lpszWhat);
        ReportFailure(L"The setup stopped on an unexpected error (%hs). Run the setup again.", lpszWhat);
        SetupLog(L"result: the run failed");
    } catch (...) {
    }
    return SetupFailed;
}
