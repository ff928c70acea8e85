// ReadSetupConfig: setup.ini and the target folder: the installed copy's, else below Program
// Files. CheckSetupConfig: the names a configuration may use.
#include "engine/SetupConfig.h"
#include "engine/EngineCommon.h"
#include <shlobj.h>
#include <wchar.h>
#include <string>

// The system's own Program Files folder for this (32-bit) program: under WOW64 the 32-bit one.
static BOOL GetSystemProgramFilesFolder(LPWSTR lpszFolder)
{
#if defined(_WIN64)
    // The 64-bit test build stands for the 32-bit program and asks for what that one gets.
    const int csidl = g_bIsWow64 ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
#else
    const int csidl = CSIDL_PROGRAM_FILES;
#endif
    lpszFolder[0] = 0;
    return SUCCEEDED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, lpszFolder)) && lpszFolder[0];
}

ProgramFilesFolderFn g_pfnGetProgramFilesFolder = GetSystemProgramFilesFolder;

// Where the system cannot say: the Program Files folder name by UI language, system language
// and platform, on the Windows drive.
static LPCWSTR GetProgramFilesName()
{
    if (g_bGermanUi)
        return g_bIsWow64 ? L"Program Files (x86)" : L"Programme";
    if (g_bSpanishSystem)
        return (g_bIsNt6 || g_bIsWow64) ? L"Program Files" : L"Archivos de programa";
    return g_bIsWow64 ? L"Program Files (x86)" : L"Program Files";
}

// Reads one string key into a MAX_PATH field; a value longer than 259 units is cut to 259,
// and an empty value leaves the field empty.
static void ReadString(LPCWSTR lpszFile, LPCWSTR lpszSection, LPCWSTR lpszKey, LPCWSTR lpszDefault, LPWSTR lpszField)
{
    WCHAR szValue[MAX_PATH];
    DWORD len = ::GetPrivateProfileStringW(lpszSection, lpszKey, lpszDefault, szValue, MAX_PATH, lpszFile);
    if (len > 0) {
        szValue[MAX_PATH - 1] = 0;
        wcscpy(lpszField, szValue);
    }
}

// One REG_SZ value of an open key into lpszValue (cch units); FALSE when missing or too long.
static BOOL ReadRegistryString(HKEY hKey, LPCWSTR lpszName, LPWSTR lpszValue, DWORD cch)
{
    DWORD type = 0, cb = (cch - 1) * sizeof(WCHAR);
    if (::RegQueryValueExW(hKey, lpszName, nullptr, &type, (BYTE*)lpszValue, &cb) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return FALSE;
    lpszValue[cb / sizeof(WCHAR)] = 0;
    return TRUE;
}

// The install folder in an "UninstallString": what precedes "\Uninstall\setup.exe", quoted or not.
static BOOL GetFolderOfUninstallString(LPCWSTR lpszCommand, LPWSTR lpszFolder)
{
    static const WCHAR kTail[] = L"\\Uninstall\\setup.exe";
    const size_t tailLen = wcslen(kTail);
    LPCWSTR start = lpszCommand[0] == L'"' ? lpszCommand + 1 : lpszCommand;
    for (LPCWSTR p = start; *p; ++p)
        if (!_wcsnicmp(p, kTail, tailLen) && (p[tailLen] == 0 || p[tailLen] == L'"' || p[tailLen] == L' ')) {
            if ((size_t)(p - start) >= MAX_PATH)
                return FALSE;
            wmemcpy(lpszFolder, start, p - start);
            lpszFolder[p - start] = 0;
            return TRUE;
        }
    return FALSE;
}

// TRUE when lpszFolder is a full path without a trailing backslash, its last component is
// the product's folder name and it holds the application's executable.
static BOOL IsInstalledFolder(LPCWSTR lpszFolder, const SetupConfig& config)
{
    WCHAR szFull[MAX_PATH], szApp[MAX_PATH];
    DWORD n = ::GetFullPathNameW(lpszFolder, MAX_PATH, szFull, nullptr);
    LPCWSTR last = wcsrchr(lpszFolder, L'\\');
    return n > 0 && n < MAX_PATH && lstrcmpiW(szFull, lpszFolder) == 0 && last
        && lstrcmpiW(last + 1, config.AppFolderName) == 0
        && FormatPath(szApp, L"%ls\\%ls", lpszFolder, config.AppFileName) && FileExists(szApp);
}

// The folder of the copy installed before, from the product's uninstall entry:
// "InstallLocation", else the folder of "UninstallString". Logs what it found and why it
// does not use it; FALSE when there is no such copy.
static BOOL FindInstalledFolder(const SetupConfig& config, LPWSTR lpszFolder, LPCWSTR* ppszSource)
{
    WCHAR szKey[kKeyPathUnits];
    CRegKey key;
    if (!IsValidName(config.AppFolderName) || !IsValidName(config.AppFileName)
        || !FormatText(szKey, kKeyPathUnits, L"%lsUninstall\\%ls", GetRegistryPrefix(), config.AppFolderName)
        || ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return FALSE;
    WCHAR szValue[kCommandLineUnits];
    BOOL bFound = FALSE;
    for (LPCWSTR name : { L"InstallLocation", L"UninstallString" }) {
        if (!ReadRegistryString(key, name, szValue, kCommandLineUnits))
            continue;
        if (!wcscmp(name, L"InstallLocation")) {
            size_t len = wcslen(szValue);
            while (len > 3 && szValue[len - 1] == L'\\')
                szValue[--len] = 0;
            if (!szValue[0] || len >= MAX_PATH)
                continue;
            wcscpy(lpszFolder, szValue);
        } else if (!GetFolderOfUninstallString(szValue, lpszFolder)) {
            continue;
        }
        if (IsInstalledFolder(lpszFolder, config)) {
            *ppszSource = name;
            bFound = TRUE;
            break;
        }
        SetupLog(L"the uninstall entry's \"%ls\" names %ls, which holds no installed %ls: not used", name, lpszFolder,
                 config.AppFileName);
    }
    return bFound;
}

void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap)
{
    // Only read, so it need not fit in MAX_PATH.
    std::wstring file = std::wstring(lpszFolder) + L"setup.ini";
    LPCWSTR lpszFile = file.c_str();

    ZeroMemory(pConfig, sizeof(*pConfig));
    LPCWSTR lpszSection = bTitleBitmap ? L"TURBOVOLUME_Customized_Setting" : L"Customized_Setting";

    ReadString(lpszFile, lpszSection, L"APPFolderName", L"VRX58Q", pConfig->AppFolderName);
    BOOL bSystemFolder = FALSE;
    if (pConfig->AppFolderName[0]) {
        // Left empty when it would not fit; the install refuses an empty folder.
        WCHAR szProgramFiles[MAX_PATH] = L"";
        bSystemFolder = g_pfnGetProgramFilesFolder(szProgramFiles);
        if (bSystemFolder) {
            size_t len = wcslen(szProgramFiles);
            FormatPath(pConfig->InstallDir, len && szProgramFiles[len - 1] == L'\\' ? L"%ls%ls" : L"%ls\\%ls",
                       szProgramFiles, pConfig->AppFolderName);
        } else {
            WCHAR szWindows[MAX_PATH] = L"";
            WCHAR szDrive[MAX_PATH] = L"";
            UINT n = ::GetWindowsDirectoryW(szWindows, MAX_PATH);
            if (n == 0 || n >= MAX_PATH)
                szWindows[0] = 0;
            GetPathFolder(szWindows, szDrive);
            FormatPath(pConfig->InstallDir, L"%ls%ls\\%ls", szDrive, GetProgramFilesName(), pConfig->AppFolderName);
        }
    }
    ReadString(lpszFile, lpszSection, L"APPFileName", L"VRX58QRaidSetup.exe", pConfig->AppFileName);
    ReadString(lpszFile, lpszSection, L"AppName", L"Varelon VRX58Q RAID Manager", pConfig->AppName);
    ReadString(lpszFile, L"Startup", L"CompanyName", L"Varelon Technology Corp.", pConfig->CompanyName);
    ReadString(lpszFile, L"Startup", L"Version", L"1.00.00", pConfig->Version);
    UINT nLaunch = ::GetPrivateProfileIntW(lpszSection, L"LaunchAPInSilentMode", 0, lpszFile);
    pConfig->LaunchAppInSilentMode = nLaunch != 0 ? 1 : 0;

    // An installed copy keeps its folder: a re-install replaces it and the uninstall removes it,
    // wherever the Program Files folder of that install was.
    if (!pConfig->InstallDir[0])
        return;
    WCHAR szInstalled[MAX_PATH];
    LPCWSTR source = nullptr;
    if (FindInstalledFolder(*pConfig, szInstalled, &source)) {
        wcscpy(pConfig->InstallDir, szInstalled);
        SetupLog(L"install folder %ls: the installed copy's, from the uninstall entry's \"%ls\"", szInstalled, source);
    } else {
        SetupLog(L"install folder %ls: %ls", pConfig->InstallDir,
                 bSystemFolder ? L"in the system's Program Files folder"
                               : L"in the Program Files folder named by language and platform");
    }
}

// --- names ------------------------------------------------------------------------------------

// The file system's device names, which name a device in every folder, with or without an
// extension.
static BOOL IsDeviceName(LPCWSTR lpszName, LPWSTR lpszDevice)
{
    size_t len = wcscspn(lpszName, L".");
    while (len > 0 && lpszName[len - 1] == L' ')
        --len;
    if (len != 3 && len != 4)
        return FALSE;
    WCHAR base[5] = {};
    wmemcpy(base, lpszName, len);
    static const LPCWSTR kPlain[] = { L"CON", L"PRN", L"AUX", L"NUL" };
    for (LPCWSTR device : kPlain)
        if (len == 3 && !_wcsicmp(base, device)) {
            wcscpy(lpszDevice, base);
            return TRUE;
        }
    // COM1-COM9 and LPT1-LPT9, and the superscript digits that the system also counts.
    if (len == 4 && (!_wcsnicmp(base, L"COM", 3) || !_wcsnicmp(base, L"LPT", 3))
        && ((base[3] >= L'1' && base[3] <= L'9') || base[3] == 0x00B9 || base[3] == 0x00B2 || base[3] == 0x00B3)) {
        wcscpy(lpszDevice, base);
        return TRUE;
    }
    return FALSE;
}

static BOOL HasControlCharacter(LPCWSTR lpszName)
{
    for (LPCWSTR p = lpszName; *p; ++p)
        if (*p < 0x20)
            return TRUE;
    return FALSE;
}

BOOL GetNameProblem(LPCWSTR lpszName, LPWSTR lpszReason, size_t cch)
{
    WCHAR szDevice[5];
    size_t len = wcslen(lpszName);
    if (len == 0)
        _snwprintf(lpszReason, cch, L"is empty");
    else if (!wcscmp(lpszName, L".") || !wcscmp(lpszName, L".."))
        _snwprintf(lpszReason, cch, L"names a folder of its own");
    else if (const WCHAR* bad = wcspbrk(lpszName, L"<>:\"/\\|?*"))
        _snwprintf(lpszReason, cch, L"contains the character '%lc'", *bad);
    else if (HasControlCharacter(lpszName))
        _snwprintf(lpszReason, cch, L"contains a control character");
    else if (lpszName[0] == L' ')
        _snwprintf(lpszReason, cch, L"starts with a space");
    else if (lpszName[len - 1] == L'.')
        _snwprintf(lpszReason, cch, L"ends with a dot, which the file system drops");
    else if (lpszName[len - 1] == L' ')
        _snwprintf(lpszReason, cch, L"ends with a space, which the file system drops");
    else if (IsDeviceName(lpszName, szDevice))
        _snwprintf(lpszReason, cch, L"is the device name \"%ls\"", szDevice);
    else
        return FALSE;
    lpszReason[cch - 1] = 0;
    return TRUE;
}

BOOL IsValidName(LPCWSTR lpszName)
{
    WCHAR szReason[128];
    return !GetNameProblem(lpszName, szReason, 128);
}

// Refuses one setting that is not a valid name, with its reason.
static BOOL CheckNameSetting(LPCWSTR lpszKey, LPCWSTR lpszValue)
{
    WCHAR szReason[128];
    if (!GetNameProblem(lpszValue, szReason, 128))
        return TRUE;
    if (!lpszValue[0])
        ReportFailure(L"The setting \"%ls\" in setup.ini is empty.", lpszKey);
    else
        ReportFailure(L"The setting \"%ls\" in setup.ini is \"%ls\", which cannot be used as a file or folder "
                      L"name: it %ls.", lpszKey, lpszValue, szReason);
    return FALSE;
}

BOOL CheckSetupConfig(const SetupConfig& config)
{
    if (!CheckNameSetting(L"APPFolderName", config.AppFolderName)
        || !CheckNameSetting(L"APPFileName", config.AppFileName)
        || !CheckNameSetting(L"AppName", config.AppName))
        return FALSE;
    // The executable shares its folder with these; one name for two files loses one of them.
    static const LPCWSTR kInstalledNames[] = { L"mingwm10.dll", L"Kelvrin.exe", L"Lorvane.bmp",
                                               L"title_about.bmp", L"VL.cfg", L"Uninstall" };
    for (LPCWSTR name : kInstalledNames)
        if (!_wcsicmp(config.AppFileName, name)) {
            ReportFailure(L"The setting \"APPFileName\" in setup.ini is \"%ls\", the name of another file that "
                          L"the install puts in the install folder.", config.AppFileName);
            return FALSE;
        }
    // The Programs group holds the application's link and the uninstall link side by side.
    if (!_wcsicmp(config.AppName, L"Uninstall")) {
        ReportFailure(L"The setting \"AppName\" in setup.ini is \"%ls\", the name of the uninstall shortcut in "
                      L"the Programs menu.", config.AppName);
        return FALSE;
    }
    if (!config.InstallDir[0]) {
        ReportFailure(L"The setting \"APPFolderName\" in setup.ini is too long: the install folder path would "
                      L"be longer than %u characters.", (unsigned)(MAX_PATH - 1));
        return FALSE;
    }
    return TRUE;
}
