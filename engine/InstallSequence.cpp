// The install: stop the older copy, copy the package, write the registry values, register
// the service and create the shortcuts. Also the silent install.
#include "engine/EngineCommon.h"
#include "app/SetupFlags.h"

namespace {

const LPCWSTR kLanguageLibraries[] = {
    L"setupENU.dll", L"setupCHT.dll", L"setupCHS.dll", L"setupJPN.dll",
    L"setupKOR.dll", L"setupFRA.dll", L"setupDEU.dll",
};

struct CopyItem {
    WCHAR szFrom[MAX_PATH];
    WCHAR szTo[MAX_PATH];
};

// Every path, command line and key the install uses, built before anything is touched so
// that a path that does not fit refuses the whole install.
struct InstallPlan {
    WCHAR szUninstallDir[MAX_PATH];
    WCHAR szAppPath[MAX_PATH];
    WCHAR szUninstallExe[MAX_PATH];
    WCHAR szServiceTool[MAX_PATH];
    CopyItem items[16];
    int nItems;
    WCHAR szRunKey[kKeyPathUnits];
    WCHAR szRunValue[kCommandLineUnits];
    WCHAR szUninstallKey[kKeyPathUnits];
    WCHAR szUninstallString[kCommandLineUnits];
};

// Adds the copy of lpszFrom in the package to lpszTo in the install folder.
BOOL AddCopy(InstallPlan& plan, LPCWSTR lpszFrom, LPCWSTR lpszTo)
{
    CopyItem& item = plan.items[plan.nItems++];
    return FormatPath(item.szFrom, L"%ls", lpszFrom) && FormatPath(item.szTo, L"%ls", lpszTo);
}

BOOL BuildInstallPlan(LPCWSTR lpszFolder, const SetupConfig& config, InstallPlan& plan)
{
    LPCWSTR dir = config.InstallDir;
    plan.nItems = 0;
    if (!FormatPath(plan.szUninstallDir, L"%ls\\%ls", dir, L"Uninstall")
        || !FormatPath(plan.szAppPath, L"%ls\\%ls", dir, config.AppFileName)
        || !FormatPath(plan.szUninstallExe, L"%ls\\%ls\\%ls", dir, L"Uninstall", L"setup.exe")
        || !FormatPath(plan.szServiceTool, L"%ls\\%ls", dir, L"Kelvrin.exe"))
        return FALSE;

    WCHAR szFrom[MAX_PATH], szTo[MAX_PATH];
    LPCWSTR uninstallFiles[2 + 7] = { L"setup.exe", L"setup.ini" };
    for (int i = 0; i < 7; ++i)
        uninstallFiles[2 + i] = kLanguageLibraries[i];
    for (LPCWSTR name : uninstallFiles) {
        if (!FormatPath(szFrom, L"%ls%ls", lpszFolder, name)
            || !FormatPath(szTo, L"%ls\\%ls\\%ls", dir, L"Uninstall", name) || !AddCopy(plan, szFrom, szTo))
            return FALSE;
    }
    LPCWSTR appFiles[4] = { L"mingwm10.dll", config.AppFileName, nullptr, nullptr };
    WCHAR szTitle[MAX_PATH];
    if (!FormatPath(szTitle, L"%ls%ls\\%ls", lpszFolder, L"Application", L"Lorvane.bmp"))
        return FALSE;
    int nAppFiles = 2;
    if (FileExists(szTitle)) {
        appFiles[nAppFiles++] = L"Lorvane.bmp";
        appFiles[nAppFiles++] = L"title_about.bmp";
    }
    for (int i = 0; i < nAppFiles; ++i) {
        if (!FormatPath(szFrom, L"%ls%ls\\%ls", lpszFolder, L"Application", appFiles[i])
            || !FormatPath(szTo, L"%ls\\%ls", dir, appFiles[i]) || !AddCopy(plan, szFrom, szTo))
            return FALSE;
    }
    if (g_bIsNt6) {
        if (!FormatPath(szFrom, L"%ls%ls\\%ls", lpszFolder, L"Application", L"Kelvrin.exe")
            || !AddCopy(plan, szFrom, plan.szServiceTool))
            return FALSE;
    }

    LPCWSTR prefix = GetRegistryPrefix();
    return FormatText(plan.szRunKey, kKeyPathUnits, L"%lsRun", prefix)
        && FormatText(plan.szRunValue, kCommandLineUnits, L"\"%ls\" min", plan.szAppPath)
        && FormatText(plan.szUninstallKey, kKeyPathUnits, L"%lsUninstall\\%ls", prefix, config.AppFolderName)
        && FormatText(plan.szUninstallString, kCommandLineUnits, L"\"%ls\" delpkg", plan.szUninstallExe);
}

LONG SetStringValue(HKEY hKey, LPCWSTR lpszName, LPCWSTR lpszData)
{
    DWORD cb = (DWORD)((wcslen(lpszData) + 1) * sizeof(WCHAR));
    return ::RegSetValueExW(hKey, lpszName, 0, REG_SZ, (const BYTE*)lpszData, cb);
}

// Copies one file over an older one. Fails only for a file the package carries; a file
// the package lacks is skipped, as is a copy onto itself (setup started from the
// installed uninstall folder).
BOOL CopyPackageFile(const CopyItem& item)
{
    if (!_wcsicmp(item.szFrom, item.szTo))
        return TRUE;
    if (::CopyFileW(item.szFrom, item.szTo, FALSE))
        return TRUE;
    return !FileExists(item.szFrom);
}

BOOL WriteRegistryValues(const InstallPlan& plan, const SetupConfig& config)
{
    BOOL bOk = TRUE;
    HKEY hKey = nullptr;
    if (!g_bIsNt6 && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szRunKey, 0, KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        if (SetStringValue(hKey, config.AppName, plan.szRunValue) != ERROR_SUCCESS) {
            ShowFailure(L"Fail to write the Run registry key!");
            bOk = FALSE;
        }
        ::RegCloseKey(hKey);
    }

    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, plan.szUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr)
        != ERROR_SUCCESS)
        return FALSE;
    if (SetStringValue(hKey, L"UninstallString", plan.szUninstallString) != ERROR_SUCCESS) {
        ShowFailure(L"Fail to write the UninstallString registry key!");
        ::RegCloseKey(hKey);
        return FALSE;
    }
    if (SetStringValue(hKey, L"DisplayName", config.AppName) != ERROR_SUCCESS) {
        ShowFailure(L"Fail to write the DisplayName registry key!");
        ::RegCloseKey(hKey);
        return FALSE;
    }
    SetStringValue(hKey, L"Publisher", config.CompanyName);
    if (SetStringValue(hKey, L"DisplayVersion", config.Version) != ERROR_SUCCESS) {
        ShowFailure(L"Fail to write the DisplayVersion registry key!");
        bOk = FALSE;
    }
    ::RegCloseKey(hKey);
    return bOk;
}

// Folders, copies and registry values. Stops when the install folder could not be made:
// values and links for files that are not there would only mislead.
BOOL CopyAndRegister(const InstallPlan& plan, const SetupConfig& config)
{
    if (!FileExists(config.InstallDir)) {
        ::CreateDirectoryW(config.InstallDir, nullptr);
        ::CreateDirectoryW(plan.szUninstallDir, nullptr);
    } else if (!FileExists(plan.szUninstallDir)) {
        ::CreateDirectoryW(plan.szUninstallDir, nullptr);
    }
    if (!FolderExists(config.InstallDir))
        return FALSE;

    BOOL bOk = TRUE;
    for (int i = 0; i < plan.nItems; ++i)
        if (!CopyPackageFile(plan.items[i]))
            bOk = FALSE;
    if (!WriteRegistryValues(plan, config))
        bOk = FALSE;
    return bOk;
}

} // namespace

BOOL CopyFilesAndRegister(LPCWSTR lpszFolder, const SetupConfig& config)
{
    if (!CheckSetupConfig(config))
        return FALSE;
    InstallPlan plan;
    if (!BuildInstallPlan(lpszFolder, config, plan))
        return FALSE;
    return CopyAndRegister(plan, config);
}

BOOL InstallApplication(LPCWSTR lpszFolder, const SetupConfig& config)
{
    if (!CheckSetupConfig(config))
        return FALSE;
    InstallPlan plan;
    if (!BuildInstallPlan(lpszFolder, config, plan) || !CheckShortcutPaths(config.AppName))
        return FALSE;

    if (g_bIsNt6 && FileExists(plan.szServiceTool))
        StopServiceTool(config.InstallDir);
    CloseRunningApplication(config.AppName);

    BOOL bOk = CopyAndRegister(plan, config);
    if (!FolderExists(config.InstallDir))
        return FALSE;

    if (g_bIsNt6 && !RunServiceTool(config.InstallDir, L"-i")) {
        ShowFailure(L"Fail to install the service!");
        return FALSE;
    }
    CreateDesktopShortcut(plan.szAppPath, config.AppName);
    CreateProgramsShortcut(config.AppName, plan.szAppPath, config.AppName, nullptr);
    CreateProgramsShortcut(config.AppName, plan.szUninstallExe, L"Uninstall", L"delpkg");
    if (g_bIsNt6)
        WriteCompatibilityAssistantValue(plan.szAppPath);
    return bOk;
}

BOOL SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap)
{
    SetupConfig config;
    ReadSetupConfig(lpszFolder, &config, bTitleBitmap);
    if (!InstallApplication(lpszFolder, config))
        return FALSE;
    if (config.LaunchAppInSilentMode == 1)
        LaunchApplication(lpszFolder, &config, bTitleBitmap);
    return TRUE;
}
