// The install: stop the older copy, copy the package, write the registry values, register
// the service and create the shortcuts, all within one transaction that a failure rolls back.
// Every copied file of the package is checked against the catalogue in setup.exe where it was
// copied to, before anything of the package runs. Also the silent install.
#include "engine/EngineCommon.h"
#include "engine/InstallTransaction.h"
#include "engine/PackageCatalogue.h"
#include "engine/ProcessOps.h"
#include "engine/ServiceOps.h"
#include "engine/Shortcuts.h"
#include "engine/TestSeams.h"
#include <wchar.h>
#include <string>

namespace {

struct CopyItem {
    WCHAR szFrom[MAX_PATH];
    WCHAR szTo[MAX_PATH];
    bool bOptional;   // copied when the package has it
    bool bListed;     // in the package's catalogue: every file but setup.exe and setup.ini
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
    size_t nFolderChars;   // of the package folder: szFrom + nFolderChars is the catalogue's name
    WCHAR szRunKey[kKeyPathUnits];
    WCHAR szRunValue[kCommandLineUnits];
    WCHAR szUninstallKey[kKeyPathUnits];
    WCHAR szUninstallString[kCommandLineUnits];
    WCHAR szQuietUninstallString[kCommandLineUnits];
};

// Adds the copy of lpszName from the package folder lpszFrom (ends with a backslash) to the
// install folder lpszTo. lpszSetting names the setup.ini key that the name comes from, if any.
BOOL AddCopy(InstallPlan& plan, LPCWSTR lpszFrom, LPCWSTR lpszTo, LPCWSTR lpszName, LPCWSTR lpszSetting,
             bool bOptional = false)
{
    CopyItem& item = plan.items[plan.nItems++];
    item.bOptional = bOptional;
    item.bListed = _wcsicmp(lpszName, L"setup.exe") && _wcsicmp(lpszName, L"setup.ini");
    return FormatPlanPath(item.szFrom, lpszSetting, L"%ls%ls", lpszFrom, lpszName)
        && FormatPlanPath(item.szTo, lpszSetting ? lpszSetting : L"APPFolderName", L"%ls\\%ls", lpszTo, lpszName);
}

BOOL BuildInstallPlan(LPCWSTR lpszFolder, const SetupConfig& config, InstallPlan& plan)
{
    LPCWSTR dir = config.InstallDir;
    plan.nItems = 0;
    plan.nFolderChars = wcslen(lpszFolder);
    WCHAR szAppFolder[MAX_PATH];
    if (!FormatPlanPath(plan.szUninstallDir, L"APPFolderName", L"%ls\\%ls", dir, L"Uninstall")
        || !FormatPlanPath(plan.szAppPath, L"APPFileName", L"%ls\\%ls", dir, config.AppFileName)
        || !FormatPlanPath(plan.szUninstallExe, L"APPFolderName", L"%ls\\%ls\\%ls", dir, L"Uninstall", L"setup.exe")
        || !FormatPlanPath(plan.szServiceTool, L"APPFolderName", L"%ls\\%ls", dir, L"Kelvrin.exe")
        || !FormatPlanPath(szAppFolder, nullptr, L"%ls%ls\\", lpszFolder, L"Application"))
        return FALSE;

    // The uninstall folder gets the setup program, its configuration and its texts. A package
    // may lack setup.ini (the defaults apply) and every language but English, the fallback.
    for (LPCWSTR name : kUninstallFolderFiles) {
        bool bRequired = !_wcsicmp(name, L"setup.exe") || !_wcsicmp(name, L"setupENU.dll");
        if (!AddCopy(plan, lpszFolder, plan.szUninstallDir, name, nullptr, !bRequired))
            return FALSE;
    }

    // The install folder gets the application; the title bitmaps travel with Lorvane.bmp.
    if (!AddCopy(plan, szAppFolder, dir, L"mingwm10.dll", nullptr)
        || !AddCopy(plan, szAppFolder, dir, config.AppFileName, L"APPFileName"))
        return FALSE;
    WCHAR szTitle[MAX_PATH], szAbout[MAX_PATH];
    if (!FormatPlanPath(szTitle, nullptr, L"%ls%ls", szAppFolder, L"Lorvane.bmp")
        || !FormatPlanPath(szAbout, nullptr, L"%ls%ls", szAppFolder, L"title_about.bmp"))
        return FALSE;
    if (FileExists(szTitle)) {
        if (!AddCopy(plan, szAppFolder, dir, L"Lorvane.bmp", nullptr))
            return FALSE;
        if (FileExists(szAbout) && !AddCopy(plan, szAppFolder, dir, L"title_about.bmp", nullptr))
            return FALSE;
    }
    if (g_bIsNt6 && !AddCopy(plan, szAppFolder, dir, L"Kelvrin.exe", nullptr))
        return FALSE;

    LPCWSTR prefix = GetRegistryPrefix();
    return FormatText(plan.szRunKey, kKeyPathUnits, L"%lsRun", prefix)
        && FormatText(plan.szRunValue, kCommandLineUnits, L"\"%ls\" min", plan.szAppPath)
        && FormatText(plan.szUninstallKey, kKeyPathUnits, L"%lsUninstall\\%ls", prefix, config.AppFolderName)
        && FormatText(plan.szUninstallString, kCommandLineUnits, L"\"%ls\" delpkg", plan.szUninstallExe)
        && FormatText(plan.szQuietUninstallString, kCommandLineUnits, L"\"%ls\" SilentDel quiet", plan.szUninstallExe);
}

// Refuses a package that lacks a file the install must copy, or that would copy a file its
// catalogue does not list.
BOOL CheckPackage(const InstallPlan& plan)
{
    for (int i = 0; i < plan.nItems; ++i)
        if (!plan.items[i].bOptional && !FileExists(plan.items[i].szFrom)) {
            ReportFailure(L"The package is incomplete: \"%ls\" is missing.", plan.items[i].szFrom);
            return FALSE;
        }
    LogPackageCatalogue();
    for (int i = 0; i < plan.nItems; ++i) {
        const CopyItem& item = plan.items[i];
        LPCWSTR name = item.szFrom + plan.nFolderChars;
        if (item.bListed && FileExists(item.szFrom) && !CheckListedFile(name, item.szFrom))
            return FALSE;
    }
    return TRUE;
}

// Everything an install needs to be allowed to start; reports the first refusal.
BOOL PrepareInstall(LPCWSTR lpszFolder, const SetupConfig& config, InstallPlan& plan)
{
    return CheckSetupConfig(config) && BuildInstallPlan(lpszFolder, config, plan)
        && CheckShortcutPaths(config.AppName) && CheckPackage(plan);
}

// The size of a file, or 0 when there is none.
ULONGLONG FileSize(LPCWSTR lpszPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(lpszPath, GetFileExInfoStandard, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// The nearest folder of lpszPath that exists: the folder itself, or one above it.
std::wstring ExistingFolderOf(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    while (!path.empty() && !FolderExists(path.c_str())) {
        size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos)
            return L"";
        path.resize(slash);
    }
    return path.size() == 2 ? path + L"\\" : path;   // "C:" alone names the drive's current folder
}

// The bytes free to this user on the volume of lpszFolder (a test may see less, TestSeams.h).
ULONGLONG FreeBytes(LPCWSTR lpszFolder)
{
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExW(lpszFolder, &available, nullptr, nullptr))
        return TestFreeSpaceLimit(~0ULL);   // a volume that cannot tell: the copy finds out
    return TestFreeSpaceLimit(available.QuadPart);
}

// Room for the journal and the registry's growth.
const ULONGLONG kSpareBytes = 64 * 1024;

// Refuses, with both figures in MB, an install whose files (and the old files it keeps, when
// those go to another volume) do not fit in the free space of the volumes they go to.
BOOL CheckDiskSpace(const InstallPlan& plan, const SetupConfig& config)
{
    ULONGLONG newBytes = kSpareBytes, oldBytes = kSpareBytes;
    for (int i = 0; i < plan.nItems; ++i) {
        newBytes += FileSize(plan.items[i].szFrom);
        oldBytes += FileSize(plan.items[i].szTo);
    }
    std::wstring journal;
    const std::wstring target = ExistingFolderOf(config.InstallDir);
    const std::wstring kept = CInstallJournal::GetFolder(config.AppFolderName, journal) ? ExistingFolderOf(journal)
                                                                                      : std::wstring();
    WCHAR szTargetVolume[MAX_PATH] = {}, szKeptVolume[MAX_PATH] = {};
    if (target.empty() || !::GetVolumePathNameW(target.c_str(), szTargetVolume, MAX_PATH))
        return TRUE;   // no folder to ask: the copy finds out
    // Old files are moved within their volume, which costs nothing; to another one they are copied.
    const BOOL bOtherVolume = !kept.empty() && ::GetVolumePathNameW(kept.c_str(), szKeptVolume, MAX_PATH)
        && _wcsicmp(szTargetVolume, szKeptVolume) != 0;
    const struct {
        LPCWSTR folder;
        LPCWSTR volume;
        ULONGLONG needed;
    } volumes[] = { { target.c_str(), szTargetVolume, newBytes }, { kept.c_str(), szKeptVolume, oldBytes } };
    for (int i = 0; i < (bOtherVolume ? 2 : 1); ++i) {
        ULONGLONG freeBytes = FreeBytes(volumes[i].folder);
        if (freeBytes >= volumes[i].needed)
            continue;
        // Tenths of a MB: what is needed rounded up, what is free rounded down.
        const ULONGLONG tenth = (1 << 20) / 10;
        unsigned long needed = (unsigned long)((volumes[i].needed + tenth - 1) / tenth);
        unsigned long available = (unsigned long)(freeBytes / tenth);
        ReportFailure(L"There is not enough disk space on %ls to install %ls: it needs %lu.%lu MB, and %lu.%lu MB "
                      L"are free. Free some space, then run the setup again.", volumes[i].volume, config.AppName,
                      needed / 10, needed % 10, available / 10, available % 10);
        return FALSE;
    }
    return TRUE;
}

BOOL SetStringValue(CInstallTransaction& transaction, HKEY hKey, LPCWSTR lpszKey, LPCWSTR lpszName, LPCWSTR lpszData)
{
    DWORD cb = (DWORD)((wcslen(lpszData) + 1) * sizeof(WCHAR));
    return transaction.SetValue(hKey, lpszKey, lpszName, REG_SZ, lpszData, cb);
}

// The installed files' size in KiB, rounded up, as "Apps & features" shows it.
DWORD InstalledSizeKiB(const InstallPlan& plan)
{
    ULONGLONG bytes = 0;
    for (int i = 0; i < plan.nItems; ++i)
        bytes += FileSize(plan.items[i].szTo);
    return (DWORD)((bytes + 1023) / 1024);
}

// The values of the uninstall entry, in the order they are written.
const LPCWSTR kUninstallValueNames[] = {
    L"UninstallString", L"DisplayName", L"Publisher", L"DisplayVersion", L"InstallLocation", L"DisplayIcon",
    L"EstimatedSize", L"NoModify", L"NoRepair", L"InstallDate", L"QuietUninstallString",
};

// TRUE when the Run key exists: a system without one does not start programs that way.
BOOL HasRunKey(const InstallPlan& plan)
{
    CRegKey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, plan.szRunKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

// Names in the transaction's plan what CopyAndRegister changes, in the same order.
void PlanCopyAndRegister(CInstallTransaction& transaction, const InstallPlan& plan, const SetupConfig& config)
{
    transaction.PlanFolder(config.InstallDir);
    transaction.PlanFolder(plan.szUninstallDir);
    for (int i = 0; i < plan.nItems; ++i)
        transaction.PlanFile(plan.items[i].szTo);
    if (!g_bIsNt6 && HasRunKey(plan))
        transaction.PlanValue(plan.szRunKey, config.AppName);
    transaction.PlanKey(plan.szUninstallKey);
    for (LPCWSTR name : kUninstallValueNames)
        transaction.PlanValue(plan.szUninstallKey, name);
}

BOOL WriteRegistryValues(CInstallTransaction& transaction, const InstallPlan& plan, const SetupConfig& config)
{
    CRegKey key;
    // A system without a Run key does not start programs that way: nothing to write then.
    if (!g_bIsNt6 && transaction.OpenKey(plan.szRunKey, FALSE, key)) {
        BOOL bOk = SetStringValue(transaction, key, plan.szRunKey, config.AppName, plan.szRunValue);
        key.Close();
        if (!bOk) {
            transaction.Fail(L"Fail to write the Run registry key!");
            return FALSE;
        }
    }

    if (!transaction.OpenKey(plan.szUninstallKey, TRUE, key)) {
        transaction.Fail(L"Fail to create the uninstall registry key!");
        return FALSE;
    }
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    WCHAR szDate[16];
    FormatText(szDate, 16, L"%04u%02u%02u", st.wYear, st.wMonth, st.wDay);
    const DWORD dwSize = InstalledSizeKiB(plan), dwOne = 1;
    // What "Apps & features" shows and offers, besides the entry's four values; in the order
    // of kUninstallValueNames.
    const struct {
        LPCWSTR text;          // REG_SZ data, or null for the number below
        const DWORD* number;   // REG_DWORD data
    } values[] = {
        { plan.szUninstallString, nullptr },
        { config.AppName, nullptr },
        { config.CompanyName, nullptr },
        { config.Version, nullptr },
        { config.InstallDir, nullptr },
        { plan.szAppPath, nullptr },
        { nullptr, &dwSize },
        { nullptr, &dwOne },
        { nullptr, &dwOne },
        { szDate, nullptr },
        { plan.szQuietUninstallString, nullptr },
    };
    static_assert(sizeof(values) / sizeof(values[0]) == sizeof(kUninstallValueNames) / sizeof(LPCWSTR),
                  "one name per value");
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i) {
        const auto& value = values[i];
        LPCWSTR name = kUninstallValueNames[i];
        BOOL bWritten = value.text
            ? SetStringValue(transaction, key, plan.szUninstallKey, name, value.text)
            : transaction.SetValue(key, plan.szUninstallKey, name, REG_DWORD, value.number, sizeof(DWORD));
        if (!bWritten) {
            transaction.Fail(L"Fail to write the %ls registry key!", name);
            return FALSE;
        }
    }
    return TRUE;
}

LPCWSTR PathFindName(LPCWSTR lpszPath)
{
    LPCWSTR slash = wcsrchr(lpszPath, L'\\');
    return slash ? slash + 1 : lpszPath;
}

// An earlier install's setup.ini that this package does not replace would give the uninstall
// that package's settings instead of the defaults: it goes (kept for a rollback).
BOOL RemoveStaleFile(CInstallTransaction& transaction, LPCWSTR lpszPath)
{
    if (!FileExists(lpszPath))
        return TRUE;
    // Keeping the old file for a rollback moves it away; whatever stays is deleted.
    if (!transaction.PrepareWrite(lpszPath)
        || (FileExists(lpszPath) && !RetryWhileFileBusy([&] { return ::DeleteFileW(lpszPath); }))) {
        DWORD dwError = ::GetLastError();
        transaction.FailWith(OutcomeOfFileError(dwError, lpszPath), L"Fail to remove \"%ls\": %ls", lpszPath,
                             FileErrorText(dwError, lpszPath).c_str());
        return FALSE;
    }
    SetupLog(L"deleted %ls: the package has none", lpszPath);
    return TRUE;
}

// Folders, copies and registry values; stops at the first failure.
BOOL CopyAndRegister(CInstallTransaction& transaction, const InstallPlan& plan, const SetupConfig& config)
{
    if (!transaction.CreateFolder(config.InstallDir) || !transaction.CreateFolder(plan.szUninstallDir))
        return FALSE;
    for (int i = 0; i < plan.nItems; ++i) {
        const CopyItem& item = plan.items[i];
        if (item.bOptional && !FileExists(item.szFrom)) {
            if (!_wcsicmp(PathFindName(item.szTo), L"setup.ini") && !RemoveStaleFile(transaction, item.szTo))
                return FALSE;
            continue;
        }
        LPCWSTR name = item.szFrom + plan.nFolderChars;
        if (!transaction.CopyFile(item.szFrom, item.szTo)
            || (item.bListed && !CheckInstalledFile(transaction, name, item.szFrom, item.szTo)))
            return FALSE;
    }
    return WriteRegistryValues(transaction, plan, config);
}

// Ends the transaction: kept on success; on failure everything is put back first, then the
// reason is reported.
SetupOutcome FinishInstall(CInstallTransaction& transaction)
{
    if (transaction.HasFailed()) {
        transaction.Rollback();
        if (!transaction.IsRolledBack()) {
            ReportFailure(L"%ls\n\nThe install could not be rolled back: %ls. Close the program that uses it, then "
                          L"run the setup again.", transaction.GetFailure(), transaction.GetRollbackProblem());
            SetupLog(L"result: the install failed and could not be rolled back");
            return SetupFailed;
        }
        ReportFailure(L"%ls", transaction.GetFailure());
        SetupLog(L"result: the install failed and was rolled back");
        return transaction.GetOutcome();
    }
    transaction.Commit();
    SetupLog(L"result: installed");
    return SetupSucceeded;
}

// TRUE when a service of lpszInstallDir runs, or the service control manager cannot say.
BOOL FolderServiceRuns(LPCWSTR lpszInstallDir)
{
    std::vector<FolderService> services;
    if (!FindFolderServices(lpszInstallDir, services))
        return TRUE;
    for (const FolderService& service : services)
        if (service.running)
            return TRUE;
    return FALSE;
}

SetupOutcome Refused()
{
    SetupLog(L"result: refused, nothing was changed");
    return SetupRefused;
}

} // namespace

SetupOutcome CopyFilesAndRegister(LPCWSTR lpszFolder, const SetupConfig& config)
{
    InstallPlan plan;
    if (!PrepareInstall(lpszFolder, config, plan))
        return Refused();
    CInstallTransaction transaction;
    PlanCopyAndRegister(transaction, plan, config);
    if (transaction.Begin(config))
        CopyAndRegister(transaction, plan, config);
    return FinishInstall(transaction);
}

SetupOutcome InstallApplication(LPCWSTR lpszFolder, const SetupConfig& config)
{
    SetupLog(L"install \"%ls\" into \"%ls\"", config.AppName, config.InstallDir);
    InstallPlan plan;
    if (!PrepareInstall(lpszFolder, config, plan))
        return Refused();
    if (!CheckDiskSpace(plan, config)) {
        SetupLog(L"result: refused, nothing was changed");
        return SetupDiskFull;
    }

    // The whole plan goes to the journal before the first change.
    CInstallTransaction transaction;
    // An older install's service is stopped and removed before its files are replaced, also
    // where its tool is missing: the service would hold its program.
    const BOOL bOldService = g_bIsNt6 && (FileExists(plan.szServiceTool)
                                          || (FolderExists(config.InstallDir) && HasFolderServices(config.InstallDir)));
    if (bOldService)
        transaction.PlanService(config.InstallDir, TRUE);
    PlanCopyAndRegister(transaction, plan, config);
    if (g_bIsNt6)
        transaction.PlanService(config.InstallDir, FALSE);
    PlanShortcuts(transaction, config.AppName);
    if (!transaction.Begin(config))
        return FinishInstall(transaction);

    BOOL bServiceStopped = TRUE, bRestartHelps = TRUE;
    DWORD dwServiceError = ERROR_SUCCESS;
    if (bOldService) {
        // Noted once the services have stopped: then their registration may be gone, and a
        // rollback registers and starts them again. One that runs keeps its registration.
        bServiceStopped = StopServiceTool(config.InstallDir, &bRestartHelps);
        dwServiceError = ::GetLastError();
        if (bServiceStopped || !FolderServiceRuns(config.InstallDir))
            transaction.ServiceRemoved(config.InstallDir);
    }
    if (!bServiceStopped && !bRestartHelps)
        transaction.Fail(L"Fail to remove the service of %ls: %ls.", config.AppName,
                         SystemErrorText(dwServiceError).c_str());
    else if (!bServiceStopped)
        transaction.FailWith(SetupStillRunning,
                             L"The service of %ls does not stop. Please restart Windows, then run the setup again.",
                             config.AppName);
    else if (!CloseRunningApplication(config.AppName))
        transaction.FailWith(SetupStillRunning, L"%ls is still running. Please close it, then run the setup again.",
                             config.AppName);
    else if (CopyAndRegister(transaction, plan, config)) {
        if (g_bIsNt6) {
            if (RunServiceTool(config.InstallDir, L"-i"))
                transaction.ServiceRegistered(config.InstallDir);
            else
                transaction.Fail(L"Fail to install the service!");
        }
        if (!transaction.HasFailed() && CreateDesktopShortcut(plan.szAppPath, config.AppName, &transaction)
            && CreateProgramsShortcut(config.AppName, plan.szAppPath, config.AppName, nullptr, &transaction))
            CreateProgramsShortcut(config.AppName, plan.szUninstallExe, L"Uninstall", L"delpkg", &transaction);
    }
    if (!transaction.HasFailed() && g_bIsNt6)
        WriteCompatibilityAssistantValue(plan.szAppPath);
    return FinishInstall(transaction);
}

SetupOutcome SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap)
{
    SetupConfig config;
    ReadSetupConfig(lpszFolder, &config, bTitleBitmap);
    SetupOutcome outcome = InstallApplication(lpszFolder, config);
    if (outcome == SetupSucceeded && config.LaunchAppInSilentMode == 1)
        LaunchApplication(lpszFolder, &config, bTitleBitmap);
    return outcome;
}
