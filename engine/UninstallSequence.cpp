// The uninstall: stop the service and the application, delete the installed files, the
// registry values and the shortcuts. The uninstall folder stays: the uninstaller runs from it.
#include "engine/EngineCommon.h"
#include "app/SetupFlags.h"

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
    return FormatPath(plan.szRuntime, L"%ls\\%ls", dir, L"mingwm10.dll")
        && FormatPath(plan.szAppPath, L"%ls\\%ls", dir, config.AppFileName)
        && FormatPath(plan.szTitle, L"%ls\\%ls", dir, L"Lorvane.bmp")
        && FormatPath(plan.szAppConfig, L"%ls\\%ls", dir, L"VL.cfg")
        && FormatPath(plan.szServiceTool, L"%ls\\%ls", dir, L"Kelvrin.exe")
        && FormatText(plan.szUninstallKey, kKeyPathUnits, L"%lsUninstall", prefix)
        && FormatText(plan.szRunKey, kKeyPathUnits, L"%lsRun", prefix);
}

BOOL DeleteAndUnregister(const UninstallPlan& plan, const SetupConfig& config)
{
    ::DeleteFileW(plan.szRuntime);
    ::DeleteFileW(plan.szAppPath);
    if (FileExists(plan.szTitle))
        ::DeleteFileW(plan.szTitle);
    if (FileExists(plan.szAppConfig))
        ::DeleteFileW(plan.szAppConfig);
    if (g_bIsNt6)
        ::DeleteFileW(plan.szServiceTool);

    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szUninstallKey, 0, KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteKeyW(hKey, config.AppFolderName);
        ::RegCloseKey(hKey);
    }
    if (!g_bIsNt6 && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szRunKey, 0, KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteValueW(hKey, config.AppName);
        ::RegCloseKey(hKey);
    }
    // A running application keeps its executable and runtime library.
    return !FileExists(plan.szRuntime) && !FileExists(plan.szAppPath);
}

} // namespace

BOOL DeleteFilesAndUnregister(const SetupConfig& config)
{
    if (!CheckSetupConfig(config))
        return FALSE;
    UninstallPlan plan;
    if (!BuildUninstallPlan(config, plan))
        return FALSE;
    return DeleteAndUnregister(plan, config);
}

BOOL UninstallApplication(const SetupConfig& config)
{
    if (!CheckSetupConfig(config))
        return FALSE;
    UninstallPlan plan;
    if (!BuildUninstallPlan(config, plan) || !CheckShortcutPaths(config.AppName))
        return FALSE;

    if (g_bIsNt6)
        StopServiceTool(config.InstallDir);
    CloseRunningApplication(config.AppName);
    BOOL bOk = DeleteAndUnregister(plan, config);
    DeleteDesktopShortcut(config.AppName);
    DeleteProgramsShortcut(config.AppName, config.AppName, FALSE);
    DeleteProgramsShortcut(config.AppName, L"Uninstall", TRUE);
    return bOk;
}
