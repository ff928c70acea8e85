#include "app/UninstallCopy.h"
#include "app/SetupApp.h"
#include "engine/PackageCatalogue.h"
#include "engine/SetupLog.h"
#include <stdio.h>
#include <wchar.h>
#include <string>

namespace {

// The temporary folder of the copy: "%TEMP%\\setup-uninstall-<process id>-<n>\\".
const WCHAR kUninstallCopyFolderName[] = L"setup-uninstall";

// One word of a command line, quoted so that the system splits it back unchanged.
void AppendQuotedWord(std::wstring& commandLine, LPCWSTR lpszWord)
{
    commandLine += L" \"";
    size_t backslashes = 0;
    for (LPCWSTR p = lpszWord; *p; ++p) {
        if (*p == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote, and the quote itself, are escaped.
        commandLine.append(*p == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += *p;
    }
    commandLine.append(backslashes * 2, L'\\');
    commandLine += L'"';
}

// Copies the program and the language libraries named after it into lpszCopyFolder; the
// copy's executable path goes to copyExe.
BOOL CopyProgram(LPCWSTR lpszExePath, LPCWSTR lpszFolder, const std::wstring& copyFolder, std::wstring& copyExe)
{
    LPCWSTR name = wcsrchr(lpszExePath, L'\\');
    name = name ? name + 1 : lpszExePath;
    size_t nameLen = wcslen(name);
    if (nameLen < 5 || _wcsicmp(name + nameLen - 4, L".exe") != 0)
        return FALSE;
    copyExe = copyFolder + name;
    if (!::CopyFileW(lpszExePath, copyExe.c_str(), FALSE))
        return FALSE;
    std::wstring stem(name, nameLen - 4);
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((std::wstring(lpszFolder) + stem + L"???.dll").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return TRUE;
    do {
        ::CopyFileW((std::wstring(lpszFolder) + fd.cFileName).c_str(), (copyFolder + fd.cFileName).c_str(), FALSE);
    } while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);
    return TRUE;
}

// Removes the files of a folder and the folder; what is in use goes at the next restart.
void RemoveFolderNowOrAtRestart(const std::wstring& folder)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((folder + L"*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            std::wstring path = folder + fd.cFileName;
            if (!::DeleteFileW(path.c_str()))
                ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        } while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    std::wstring dir = folder.substr(0, folder.size() - 1);
    if (!::RemoveDirectoryW(dir.c_str()) && !::MoveFileExW(dir.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        SetupLog(L"the temporary folder %ls stays: it cannot be removed", dir.c_str());
}

} // namespace

BOOL IsInstalledUninstallFolder(LPCWSTR lpszFolder, const SetupConfig& config)
{
    if (!config.InstallDir[0])
        return FALSE;
    std::wstring uninstallFolder = std::wstring(config.InstallDir) + L"\\Uninstall\\";
    return lstrcmpiW(uninstallFolder.c_str(), lpszFolder) == 0;
}

BOOL RunUninstallFromCopy(LPCWSTR lpszExePath, LPCWSTR lpszFolder, int* pnExitCode)
{
    WCHAR szCopyFolder[MAX_PATH];
    if (!CreateTemporaryFolder(kUninstallCopyFolderName, szCopyFolder))
        return FALSE;
    std::wstring copyFolder = szCopyFolder, copyExe;
    if (!CopyProgram(lpszExePath, lpszFolder, copyFolder, copyExe)) {
        RemoveFolderNowOrAtRestart(copyFolder);
        return FALSE;
    }
    // Nothing of the copy runs unless it is what was installed; the checked files stay open
    // until the copy has started (its program then mapped, its libraries checked again by it).
    std::vector<CFileHandle> checked;
    if (!CheckUninstallCopy(lpszExePath, szCopyFolder, copyExe.c_str(), checked)) {
        checked.clear();
        RemoveFolderNowOrAtRestart(copyFolder);
        return FALSE;
    }

    // The copy inherits a handle to this process, to wait for its end, and the pipe's
    // writing end, for its result.
    SECURITY_ATTRIBUTES sa{ sizeof(sa), nullptr, TRUE };
    HANDLE hRead = nullptr, hWrite = nullptr, hSelf = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &sa, 0)) {
        checked.clear();
        RemoveFolderNowOrAtRestart(copyFolder);
        return FALSE;
    }
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &hSelf,
                      SYNCHRONIZE | PROCESS_QUERY_INFORMATION,
                      TRUE, 0);

    std::wstring commandLine = L"\"" + copyExe + L"\"";
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i)
        AppendQuotedWord(commandLine, argv[i]);
    ::LocalFree(argv);
    std::wstring from(lpszFolder, wcslen(lpszFolder) - 1);   // without its trailing backslash
    AppendQuotedWord(commandLine, (L"/from=" + from).c_str());
    commandLine += L" /parent=" + std::to_wstring((ULONG_PTR)hSelf) + L" /result=" + std::to_wstring((ULONG_PTR)hWrite);

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    BOOL bStarted = hSelf && ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                              &si, &pi);
    ::CloseHandle(hWrite);
    if (hSelf)
        ::CloseHandle(hSelf);
    checked.clear();
    if (!bStarted) {
        SetupLog(L"the uninstall's temporary copy could not be started: it runs from here");
        ::CloseHandle(hRead);
        RemoveFolderNowOrAtRestart(copyFolder);
        return FALSE;
    }
    SetupLog(L"the uninstall runs from a copy in %ls (process %lu)", copyFolder.c_str(), pi.dwProcessId);
    ::CloseHandle(pi.hThread);

    DWORD dwResult = 0, cbRead = 0;
    if (!::ReadFile(hRead, &dwResult, sizeof(dwResult), &cbRead, nullptr) || cbRead != sizeof(dwResult)) {
        // The copy ended without a result: its exit code says what it could.
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        if (!::GetExitCodeProcess(pi.hProcess, &dwResult) || dwResult > SetupFileBusy)
            dwResult = SetupFailed;
    }
    ::CloseHandle(hRead);
    ::CloseHandle(pi.hProcess);
    *pnExitCode = (int)dwResult;
    return TRUE;
}

// TRUE when h is a handle of another, running process.
static BOOL IsOtherProcessHandle(HANDLE h)
{
    // A pseudo-handle (this process, this thread) is no handle of another process.
    // The system reads a handle's low 32 bits only.
    const DWORD value = (DWORD)(ULONG_PTR)h;
    if (value == (DWORD)(ULONG_PTR)::GetCurrentProcess() || value == (DWORD)(ULONG_PTR)::GetCurrentThread())
        return FALSE;
    typedef DWORD(WINAPI * GetProcessIdFn)(HANDLE);
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    // From Windows XP SP1 on.
    GetProcessIdFn pfnGetProcessId =
        hKernel ? (GetProcessIdFn)(void*)::GetProcAddress(hKernel, "GetProcessId") : nullptr;
    if (pfnGetProcessId) {
        DWORD pid = pfnGetProcessId(h);
        if (pid == 0 || pid == ::GetCurrentProcessId())
            return FALSE;
    }
    return ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
}

BOOL CUninstallCopy::Attach(const CSetupCommandLineInfo& cmdInfo, LPWSTR lpszFolder)
{
    if (!cmdInfo.m_szFrom[0] || !cmdInfo.m_nParentHandle || !cmdInfo.m_nResultHandle)
        return FALSE;
    // The words are the copy's only where the copy runs: in a temporary folder of the form that
    // RunUninstallFromCopy makes. Elsewhere (a package folder) they are ignored, and nothing
    // beside the program is ever taken for the copy's own files.
    WCHAR szOwn[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szOwn, MAX_PATH);
    LPWSTR slash = n && n < MAX_PATH ? wcsrchr(szOwn, L'\\') : nullptr;
    if (!slash)
        return FALSE;
    slash[1] = 0;
    if (!IsTemporaryFolder(kUninstallCopyFolderName, szOwn))
        return FALSE;
    HANDLE hParent = (HANDLE)cmdInfo.m_nParentHandle;
    if (!IsOtherProcessHandle(hParent) || ::GetFileType((HANDLE)cmdInfo.m_nResultHandle) != FILE_TYPE_PIPE)
        return FALSE;
    // The starter holds the guard for both of us.
    HANDLE hGuard = ::OpenMutexW(SYNCHRONIZE, FALSE, SETUP_MUTEX_NAME);
    if (!hGuard)
        return FALSE;
    ::CloseHandle(hGuard);
    if (_snwprintf(lpszFolder, MAX_PATH, L"%ls\\", cmdInfo.m_szFrom) < 0)
        return FALSE;
    m_hParent = hParent;
    m_hResult = (HANDLE)cmdInfo.m_nResultHandle;
    return TRUE;
}

void CUninstallCopy::Finish(int nExitCode, const SetupConfig& config, HANDLE* phMutex)
{
    DWORD dwResult = (DWORD)nExitCode, cbWritten = 0;
    ::WriteFile(m_hResult, &dwResult, sizeof(dwResult), &cbWritten, nullptr);
    ::CloseHandle(m_hResult);
    if (nExitCode == SetupSucceeded) {
        // The starter's own files go once it has ended, under the guard again: a setup
        // started in between keeps the folder it is installing into.
        if (::WaitForSingleObject(m_hParent, 30000) != WAIT_OBJECT_0)
            SetupLog(L"the uninstaller that started this copy has not ended: its folder stays");
        else if (!AcquireSingleInstanceMutex(SETUP_MUTEX_NAME, phMutex))
            SetupLog(L"another setup program runs: the install folder stays");
        else
            RemoveInstallFolders(config);
    }
    ::CloseHandle(m_hParent);
    m_hParent = nullptr;

    WCHAR szExe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    LPWSTR slash = n && n < MAX_PATH ? wcsrchr(szExe, L'\\') : nullptr;
    if (slash) {
        slash[1] = 0;
        RemoveFolderNowOrAtRestart(szExe);
    }
}
