#include "app/UninstallCopy.h"
#include "app/SetupApp.h"
#include "engine/EngineCommon.h"
#include "engine/PackageCatalogue.h"
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

// The files of a copy: the program, and the seven language libraries named after it.
std::vector<std::wstring> CopiedFileNames(LPCWSTR lpszExeName)
{
    const std::wstring stem(lpszExeName, wcslen(lpszExeName) - 4);
    std::vector<std::wstring> names{ lpszExeName };
    for (LPCWSTR name : kUninstallFolderFiles) {
        size_t len = wcslen(name);
        if (len > 9 && !_wcsnicmp(name, L"setup", 5) && !_wcsicmp(name + len - 4, L".dll"))
            names.push_back(stem + (name + 5));
    }
    return names;
}

// The program's file name in lpszExePath; empty unless it ends with ".exe".
std::wstring ExeNameOf(LPCWSTR lpszExePath)
{
    LPCWSTR name = wcsrchr(lpszExePath, L'\\');
    name = name ? name + 1 : lpszExePath;
    size_t len = wcslen(name);
    return len >= 5 && !_wcsicmp(name + len - 4, L".exe") ? name : L"";
}

// Copies the program and its language libraries (those the folder has) into the copy's folder;
// the copy's executable path goes to copyExe.
BOOL CopyProgram(LPCWSTR lpszExePath, LPCWSTR lpszFolder, const CTrustedFolder& copyFolder, std::wstring& copyExe)
{
    const std::wstring exeName = ExeNameOf(lpszExePath);
    if (exeName.empty())
        return FALSE;
    copyExe = copyFolder.Path() + exeName;
    if (!::CopyFileW(lpszExePath, copyExe.c_str(), TRUE))
        return FALSE;
    for (const std::wstring& name : CopiedFileNames(exeName.c_str()))
        if (name != exeName)
            ::CopyFileW((std::wstring(lpszFolder) + name).c_str(), (copyFolder.Path() + name).c_str(), TRUE);
    return TRUE;
}

// Deletes the files that were copied into folder, by handle; what is in use, and then the
// folder, go at the next restart.
void RemoveCopiedFiles(CTrustedFolder& folder, const std::wstring& exeName)
{
    for (const std::wstring& name : CopiedFileNames(exeName.c_str()))
        folder.DeleteFile(name);
    folder.Remove(TRUE);
}

// The same for a copy's folder that this process made and then let go of: checked again first.
void RemoveCopyFolder(const std::wstring& path, const std::wstring& exeName)
{
    CProcessUser user;
    CTrustedFolder folder;
    std::wstring why;
    if (folder.Open(path, user.Get(), TrustOwnerAndAccess, why) == FolderTrusted)
        RemoveCopiedFiles(folder, exeName);
    else
        SetupLog(L"the temporary folder %ls stays: %ls", path.c_str(), why.c_str());
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
    CProcessUser user;
    CTrustedFolder folder;
    if (!CreateTemporaryFolder(kUninstallCopyFolderName, user.Get(), folder))
        return FALSE;
    const std::wstring copyFolder = folder.Path(), exeName = ExeNameOf(lpszExePath);
    std::wstring copyExe;
    if (!CopyProgram(lpszExePath, lpszFolder, folder, copyExe)) {
        RemoveCopiedFiles(folder, exeName);
        return FALSE;
    }
    // Nothing of the copy runs unless it is what was installed; the checked files stay open
    // until the copy has started (its program then mapped, its libraries checked again by it).
    std::vector<CFileHandle> checked;
    if (!CheckUninstallCopy(lpszExePath, copyFolder.c_str(), copyExe.c_str(), checked)) {
        checked.clear();
        RemoveCopiedFiles(folder, exeName);
        return FALSE;
    }

    // The copy inherits a handle to this process, to wait for its end, and the pipe's
    // writing end, for its result.
    SECURITY_ATTRIBUTES sa{ sizeof(sa), nullptr, TRUE };
    CKernelHandle read, write, self;
    if (!::CreatePipe(read.Receive(), write.Receive(), &sa, 0)) {
        checked.clear();
        RemoveCopiedFiles(folder, exeName);
        return FALSE;
    }
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), self.Receive(),
                      SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, 0);

    std::wstring commandLine = L"\"" + copyExe + L"\"";
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    CLocalMemory argvMemory((HLOCAL)argv);
    for (int i = 1; argv && i < argc; ++i)
        AppendQuotedWord(commandLine, argv[i]);
    argvMemory.Close();
    std::wstring from(lpszFolder, wcslen(lpszFolder) - 1);   // without its trailing backslash
    AppendQuotedWord(commandLine, (L"/from=" + from).c_str());
    commandLine += L" /parent=" + std::to_wstring((ULONG_PTR)self.Get()) + L" /result="
        + std::to_wstring((ULONG_PTR)write.Get());

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    // The copy checks and holds its folder itself.
    folder.Close();
    BOOL bStarted = self.IsValid() && ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                                       nullptr, &si, &pi);
    // The copy holds its own inherited handles: with ours closed, the pipe ends with the copy.
    write.Close();
    self.Close();
    checked.clear();
    if (!bStarted) {
        SetupLog(L"the uninstall's temporary copy could not be started: it runs from here");
        RemoveCopyFolder(copyFolder, exeName);
        return FALSE;
    }
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    SetupLog(L"the uninstall runs from a copy in %ls (process %lu)", copyFolder.c_str(), pi.dwProcessId);

    DWORD dwResult = 0, cbRead = 0;
    if (!::ReadFile(read, &dwResult, sizeof(dwResult), &cbRead, nullptr) || cbRead != sizeof(dwResult)) {
        // The copy ended without a result: its exit code says what it could.
        ::WaitForSingleObject(process, INFINITE);
        if (!::GetExitCodeProcess(process, &dwResult) || dwResult > SetupFileBusy)
            dwResult = SetupFailed;
    }
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
    if (!CKernelHandle(::OpenMutexW(SYNCHRONIZE, FALSE, SETUP_MUTEX_NAME)).IsValid())
        return FALSE;
    if (_snwprintf(lpszFolder, MAX_PATH, L"%ls\\", cmdInfo.m_szFrom) < 0)
        return FALSE;
    // Its folder must still be the one its starter made, the administrators' and this user's
    // alone: checked on its handle, and held while the copy works.
    CProcessUser user;
    std::wstring why;
    if (m_folder.Open(szOwn, user.Get(), TrustOwnerAndAccess, why) != FolderTrusted) {
        m_refusal = L"the uninstall's copy in " + std::wstring(szOwn) + L" does not run: its folder cannot be "
            L"trusted: " + why;
        return FALSE;
    }
    // The inherited handles are this process's own from here on.
    m_parent.Attach(hParent);
    m_result.Attach((HANDLE)cmdInfo.m_nResultHandle);
    return TRUE;
}

void CUninstallCopy::Finish(int nExitCode, const SetupConfig& config, CKernelHandle& mutex)
{
    DWORD dwResult = (DWORD)nExitCode, cbWritten = 0;
    ::WriteFile(m_result, &dwResult, sizeof(dwResult), &cbWritten, nullptr);
    m_result.Close();
    if (nExitCode == SetupSucceeded) {
        // The starter's own files go once it has ended, under the guard again: a setup
        // started in between keeps the folder it is installing into.
        if (::WaitForSingleObject(m_parent, 30000) != WAIT_OBJECT_0)
            SetupLog(L"the uninstaller that started this copy has not ended: its folder stays");
        else if (!AcquireSingleInstanceMutex(SETUP_MUTEX_NAME, mutex.Receive()))
            SetupLog(L"another setup program runs: the install folder stays");
        else
            RemoveInstallFolders(config);
    }
    m_parent.Close();

    WCHAR szExe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    if (n && n < MAX_PATH)
        RemoveCopiedFiles(m_folder, ExeNameOf(szExe));
}
