// Child processes: the service tool, the installed application, and closing its window.
#include "engine/EngineCommon.h"

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
    if (!::CreateProcessW(nullptr, szCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Starts "<path>" <word>, shown, and closes the process handle; TRUE when it started.
static BOOL RunQuoted(LPCWSTR lpszPath, LPCWSTR lpszWord)
{
    WCHAR szCommandLine[kCommandLineUnits];
    BOOL bOk = lpszWord ? FormatText(szCommandLine, kCommandLineUnits, L"\"%ls\" %ls", lpszPath, lpszWord)
                        : FormatText(szCommandLine, kCommandLineUnits, L"\"%ls\"", lpszPath);
    if (!bOk)
        return FALSE;
    HANDLE hProcess = RunProgram(szCommandLine, TRUE);
    if (!hProcess)
        return FALSE;
    ::CloseHandle(hProcess);
    return TRUE;
}

BOOL RunServiceTool(LPCWSTR lpszInstallDir, LPCWSTR lpszWord)
{
    WCHAR szTool[MAX_PATH];
    if (!FormatPath(szTool, L"%ls\\%ls", lpszInstallDir, L"Kelvrin.exe"))
        return FALSE;
    return RunQuoted(szTool, lpszWord);
}

void StopServiceTool(LPCWSTR lpszInstallDir)
{
    RunServiceTool(lpszInstallDir, L"-k");
    ::Sleep(1000);
    RunServiceTool(lpszInstallDir, L"-u");
    ::Sleep(1000);
}

void CloseRunningApplication(LPCWSTR lpszAppName)
{
    HWND hWnd = ::FindWindowW(nullptr, lpszAppName);
    if (!hWnd)
        return;
    ::SendMessageW(hWnd, WM_CLOSE, 0, 0);
    ::Sleep(1000);
}

BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap)
{
    SetupConfig config;
    if (pConfig)
        config = *pConfig;
    else
        ReadSetupConfig(lpszFolder, &config, bTitleBitmap);
    if (!config.InstallDir[0] || !IsPlainName(config.AppFileName))
        return FALSE;
    WCHAR szApp[MAX_PATH];
    if (!FormatPath(szApp, L"%ls\\%ls", config.InstallDir, config.AppFileName))
        return FALSE;
    return RunQuoted(szApp, nullptr);
}
