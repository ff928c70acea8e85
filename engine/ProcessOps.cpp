// Child processes: starting programs, the installed application, and closing its window.
#include "engine/ProcessOps.h"
#include "engine/EngineCommon.h"
#include <vector>

HANDLE RunProgram(LPCWSTR lpszCommandLine, BOOL bShow)
{
    // CreateProcessW may write into the command line.
    WCHAR szCommandLine[kCommandLineUnits];
    if (!FormatText(szCommandLine, kCommandLineUnits, L"%ls", lpszCommandLine))
        return nullptr;

    STARTUPINFOW si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = bShow ? SW_SHOW : SW_HIDE;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof(pi));
    if (!::CreateProcessW(nullptr, szCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        DWORD dwError = ::GetLastError();
        WCHAR szError[256];
        FormatSystemError(dwError, szError, 256);
        SetupLog(L"start %ls: failed: %ls", lpszCommandLine, szError);
        ::SetLastError(dwError);
        return nullptr;
    }
    CKernelHandle process(pi.hProcess), thread(pi.hThread);
    SetupLog(L"start %ls: process %lu", lpszCommandLine, pi.dwProcessId);
    // The process handle is the caller's to close.
    return process.Detach();
}

BOOL RunProgramAndWait(LPCWSTR lpszCommandLine, DWORD dwTimeoutMs)
{
    CKernelHandle process(RunProgram(lpszCommandLine, TRUE));
    if (!process.IsValid())
        return FALSE;
    if (::WaitForSingleObject(process, dwTimeoutMs) == WAIT_OBJECT_0) {
        DWORD dwExit = 0;
        ::GetExitCodeProcess(process, &dwExit);
        SetupLog(L"exit code %lu: %ls", dwExit, lpszCommandLine);
    } else {
        SetupLog(L"still running after %lu s, going on: %ls", dwTimeoutMs / 1000, lpszCommandLine);
    }
    return TRUE;
}

// Waits until the program that owns hWnd has ended, or until dwDeadline. A window of this
// very process has no process to wait for: then its destruction counts.
static BOOL WaitForWindowOwner(HWND hWnd, DWORD dwStart, DWORD dwDeadlineMs)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    CKernelHandle process(pid && pid != ::GetCurrentProcessId() ? ::OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr);
    for (;;) {
        DWORD elapsed = ::GetTickCount() - dwStart;
        DWORD remaining = elapsed < dwDeadlineMs ? dwDeadlineMs - elapsed : 0;
        if (process.IsValid())
            return ::WaitForSingleObject(process, remaining) == WAIT_OBJECT_0;
        if (!::IsWindow(hWnd))
            return TRUE;
        if (remaining == 0)
            return FALSE;
        // Without a process handle (another user's program, or this one): watch the window.
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        ::Sleep(remaining < 50 ? remaining : 50);
    }
}

BOOL CloseRunningApplication(LPCWSTR lpszAppName)
{
    const DWORD dwStart = ::GetTickCount();
    std::vector<HWND> asked;
    for (HWND hWnd = ::FindWindowW(nullptr, lpszAppName); hWnd; hWnd = ::FindWindowW(nullptr, lpszAppName)) {
        DWORD elapsed = ::GetTickCount() - dwStart;
        if (elapsed >= kApplicationCloseWaitMs) {
            SetupLog(L"\"%ls\" is still running after %lu s", lpszAppName, kApplicationCloseWaitMs / 1000);
            return FALSE;
        }
        bool bAskedBefore = false;
        for (HWND h : asked)
            bAskedBefore = bAskedBefore || h == hWnd;
        if (!bAskedBefore) {
            asked.push_back(hWnd);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hWnd, &pid);
            SetupLog(L"close \"%ls\" (process %lu)", lpszAppName, pid);
            // A program that does not answer (hung) must not hold the install: the send is
            // bounded by what is left of the wait.
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(hWnd, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, kApplicationCloseWaitMs - elapsed, &result);
        }
        if (WaitForWindowOwner(hWnd, dwStart, kApplicationCloseWaitMs))
            SetupLog(L"\"%ls\" has ended", lpszAppName);
    }
    return TRUE;
}

BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap)
{
    SetupConfig config;
    if (pConfig)
        config = *pConfig;
    else
        ReadSetupConfig(lpszFolder, &config, bTitleBitmap);
    if (!config.InstallDir[0] || !IsValidName(config.AppFileName))
        return FALSE;
    WCHAR szCommandLine[kCommandLineUnits];
    if (!FormatText(szCommandLine, kCommandLineUnits, L"\"%ls\\%ls\"", config.InstallDir, config.AppFileName))
        return FALSE;
    CKernelHandle process(RunProgram(szCommandLine, TRUE));
    return process.IsValid();
}
