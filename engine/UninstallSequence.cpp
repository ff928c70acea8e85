// The uninstall: stop the service and the application, delete the installed files, the
// registry values and the shortcuts. It does not roll back, but it never leaves a program on
// the disk without the uninstall entry that removes it.
#include "engine/EngineCommon.h"
#include "engine/ProcessOps.h"
#include "engine/ServiceOps.h"
#include "engine/Shortcuts.h"

namespace {

// Every path and key the uninstall uses, built before anything is touched.
struct UninstallPlan {
    WCHAR szRuntime[MAX_PATH];
    WCHAR szAppPath[MAX_PATH];
    WCHAR szTitle[MAX_PATH];
    WCHAR szAppConfig[MAX_PATH];
    WCHAR szServiceTool[MAX_PATH];
    WCHAR szUninstallKey[kKeyPathUnits];
    WCHAR szRunKey[kKeyPathUnits];
};

BOOL BuildUninstallPlan(const SetupConfig& config, UninstallPlan& plan)
{
    LPCWSTR dir = config.InstallDir;
    LPCWSTR prefix = GetRegistryPrefix();
    return FormatPlanPath(plan.szRuntime, L"APPFolderName", L"%ls\\%ls", dir, L"mingwm10.dll")
        && FormatPlanPath(plan.szAppPath, L"APPFileName", L"%ls\\%ls", dir, config.AppFileName)
        && FormatPlanPath(plan.szTitle, L"APPFolderName", L"%ls\\%ls", dir, L"Lorvane.bmp")
        && FormatPlanPath(plan.szAppConfig, L"APPFolderName", L"%ls\\%ls", dir, L"VL.cfg")
        && FormatPlanPath(plan.szServiceTool, L"APPFolderName", L"%ls\\%ls", dir, L"Kelvrin.exe")
        && FormatText(plan.szUninstallKey, kKeyPathUnits, L"%lsUninstall", prefix)
        && FormatText(plan.szRunKey, kKeyPathUnits, L"%lsRun", prefix);
}

// Deletes a file that the install put there. A read-only one (a package copied from read-only
// media installs its files so) loses that attribute first: it would block every uninstall.
BOOL DeleteInstalledCopy(LPCWSTR lpszPath)
{
    const DWORD attr = ::GetFileAttributesW(lpszPath);
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY) && !(attr & FILE_ATTRIBUTE_DIRECTORY))
        ::SetFileAttributesW(lpszPath, attr & ~FILE_ATTRIBUTE_READONLY);
    return ::DeleteFileW(lpszPath);
}

// Deletes one installed file; TRUE when it is gone (or was never there). Reports why not, and
// notes in *pFailure whether another program holds it.
BOOL DeleteInstalledFile(LPCWSTR lpszPath, LPCWSTR lpszAppName, SetupOutcome* pFailure)
{
    if (!FileExists(lpszPath))
        return TRUE;
    if (RetryWhileFileBusy([&] { return DeleteInstalledCopy(lpszPath); })) {
        SetupLog(L"deleted %ls", lpszPath);
        return TRUE;
    }
    DWORD dwError = ::GetLastError();
    if (*pFailure == SetupFailed)
        *pFailure = OutcomeOfFileError(dwError, lpszPath);
    ReportFailure(L"Fail to remove \"%ls\": %ls. Close every program that uses it, then remove %ls again.", lpszPath,
                  FileErrorText(dwError, lpszPath).c_str(), lpszAppName);
    return FALSE;
}

// After the uninstall stopped short: the service that the tool removed is registered again,
// so that what stays installed keeps working.
void RegisterServiceAgain(const UninstallPlan& plan, const SetupConfig& config)
{
    if (g_bIsNt6 && FileExists(plan.szServiceTool)) {
        SetupLog(L"the uninstall stops: registering the service again");
        RunServiceTool(config.InstallDir, L"-i");
    }
}

// The executable goes first: while it stays, everything else stays too. The title bitmap goes
// last, once everything else has gone: it selects the product section of the uninstall
// folder's setup.ini, so while the entry stays it must too, or the next uninstall would read
// the other product's settings. The uninstall entry goes only once every installed file has.
SetupOutcome DeleteAndUnregister(const UninstallPlan& plan, const SetupConfig& config)
{
    SetupOutcome failure = SetupFailed;
    if (!DeleteInstalledFile(plan.szAppPath, config.AppName, &failure)) {
        RegisterServiceAgain(plan, config);
        return failure;
    }
    BOOL bAllGone = DeleteInstalledFile(plan.szRuntime, config.AppName, &failure);
    if (FileExists(plan.szAppConfig))
        bAllGone = DeleteInstalledFile(plan.szAppConfig, config.AppName, &failure) && bAllGone;
    if (g_bIsNt6)
        bAllGone = DeleteInstalledFile(plan.szServiceTool, config.AppName, &failure) && bAllGone;
    if (bAllGone && FileExists(plan.szTitle))
        bAllGone = DeleteInstalledFile(plan.szTitle, config.AppName, &failure);

    CRegKey uninstallKey, runKey;
    if (!bAllGone)
        SetupLog(L"the uninstall entry stays, so that the uninstall can run again");
    else if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szUninstallKey, 0, KEY_WRITE, uninstallKey.Receive())
                 == ERROR_SUCCESS
             && ::RegDeleteKeyW(uninstallKey, config.AppFolderName) == ERROR_SUCCESS)
        SetupLog(L"deleted the key HKLM\\%ls\\%ls", plan.szUninstallKey, config.AppFolderName);
    if (!g_bIsNt6
        && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szRunKey, 0, KEY_WRITE, runKey.Receive()) == ERROR_SUCCESS
        && ::RegDeleteValueW(runKey, config.AppName) == ERROR_SUCCESS)
        SetupLog(L"deleted HKLM\\%ls \"%ls\"", plan.szRunKey, config.AppName);
    return bAllGone ? SetupSucceeded : failure;
}

BOOL PrepareUninstall(const SetupConfig& config, UninstallPlan& plan)
{
    return CheckSetupConfig(config) && BuildUninstallPlan(config, plan) && CheckShortcutPaths(config.AppName);
}

SetupOutcome LogResult(SetupOutcome outcome)
{
    SetupLog(L"result: %ls", outcome == SetupSucceeded ? L"uninstalled"
                             : outcome == SetupRefused ? L"refused, nothing was changed"
                                                       : L"the uninstall failed");
    return outcome;
}

} // namespace

SetupOutcome DeleteFilesAndUnregister(const SetupConfig& config)
{
    UninstallPlan plan;
    if (!PrepareUninstall(config, plan))
        return LogResult(SetupRefused);
    return LogResult(DeleteAndUnregister(plan, config));
}

SetupOutcome UninstallApplication(const SetupConfig& config)
{
    SetupLog(L"uninstall \"%ls\" from \"%ls\"", config.AppName, config.InstallDir);
    UninstallPlan plan;
    if (!PrepareUninstall(config, plan))
        return LogResult(SetupRefused);

    BOOL bRestartHelps = TRUE;
    if (g_bIsNt6 && !StopServiceTool(config.InstallDir, &bRestartHelps)) {
        const std::wstring error = SystemErrorText(::GetLastError());
        RegisterServiceAgain(plan, config);
        if (!bRestartHelps) {
            ReportFailure(L"Fail to remove the service of %ls: %ls.", config.AppName, error.c_str());
            return LogResult(SetupFailed);
        }
        ReportFailure(L"The service of %ls does not stop. Please restart Windows, then remove it again.",
                      config.AppName);
        return LogResult(SetupStillRunning);
    }
    if (!CloseRunningApplication(config.AppName)) {
        RegisterServiceAgain(plan, config);
        ReportFailure(L"%ls is still running. Please close it, then remove it again.", config.AppName);
        return LogResult(SetupStillRunning);
    }
    SetupOutcome outcome = DeleteAndUnregister(plan, config);
    if (outcome != SetupSucceeded && FileExists(plan.szAppPath))
        return LogResult(outcome);
    DeleteDesktopShortcut(config.AppName);
    DeleteProgramsShortcut(config.AppName, config.AppName, FALSE);
    DeleteProgramsShortcut(config.AppName, L"Uninstall", TRUE);
    if (outcome == SetupSucceeded)
        RemoveInstallFolders(config);
    return LogResult(outcome);
}

BOOL RemoveInstallFolders(const SetupConfig& config)
{
    WCHAR szUninstallDir[MAX_PATH], szPath[MAX_PATH];
    if (!IsValidName(config.AppFolderName) || !config.InstallDir[0]
        || !FormatPath(szUninstallDir, L"%ls\\%ls", config.InstallDir, L"Uninstall"))
        return FALSE;
    for (LPCWSTR name : kUninstallFolderFiles)
        if (FormatPath(szPath, L"%ls\\%ls", szUninstallDir, name) && FileExists(szPath)) {
            // The running uninstaller's own files stay until it has ended.
            if (DeleteInstalledCopy(szPath))
                SetupLog(L"deleted %ls", szPath);
            else
                SetupLog(L"%ls stays for now: in use", szPath);
        }
    if (FormatPath(szPath, L"%ls\\%ls", config.InstallDir, L"title_about.bmp") && FileExists(szPath) && DeleteInstalledCopy(szPath))
        SetupLog(L"deleted %ls", szPath);
    // A folder that still holds something (a file of the user's) stays with it.
    const LPCWSTR folders[] = { szUninstallDir, config.InstallDir };
    for (LPCWSTR folder : folders)
        if (FolderExists(folder)) {
            if (::RemoveDirectoryW(folder))
                SetupLog(L"removed the folder %ls", folder);
            else
                SetupLog(L"the folder %ls stays: it is not empty", folder);
        }
    return !FolderExists(config.InstallDir);
}

// Something of the application is there to remove: its uninstall entry or its executable.
// A configuration that the uninstall refuses counts as installed, so that the refusal says why.
static BOOL IsInstalled(const SetupConfig& config)
{
    WCHAR szKey[kKeyPathUnits], szApp[MAX_PATH];
    if (!IsValidName(config.AppFolderName) || !IsValidName(config.AppFileName) || !config.InstallDir[0]
        || !FormatText(szKey, kKeyPathUnits, L"%lsUninstall\\%ls", GetRegistryPrefix(), config.AppFolderName)
        || !FormatPath(szApp, L"%ls\\%ls", config.InstallDir, config.AppFileName))
        return TRUE;
    CRegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS
        || FileExists(szApp);
}

SetupOutcome SilentUninstall(LPCWSTR lpszFolder, BOOL bTitleBitmap)
{
    SetupConfig config;
    ReadSetupConfig(lpszFolder, &config, bTitleBitmap);
    if (!IsInstalled(config)) {
        SetupLog(L"\"%ls\" is not installed in \"%ls\": nothing to remove", config.AppName, config.InstallDir);
        return LogResult(SetupSucceeded);
    }
    return UninstallApplication(config);
}
