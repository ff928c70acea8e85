// ReadSetupConfig: setup.ini and the target folder: the installed copy's, else below Program
// Files.
#include "engine/EngineCommon.h"
#include "app/SetupFlags.h"
#include <shlobj.h>
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
    HKEY hKey = nullptr;
    if (!IsValidName(config.AppFolderName) || !IsValidName(config.AppFileName)
        || !FormatText(szKey, kKeyPathUnits, L"%lsUninstall\\%ls", GetRegistryPrefix(), config.AppFolderName)
        || ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, szKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return FALSE;
    WCHAR szValue[kCommandLineUnits];
    BOOL bFound = FALSE;
    for (LPCWSTR name : { L"InstallLocation", L"UninstallString" }) {
        if (!ReadRegistryString(hKey, name, szValue, kCommandLineUnits))
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
    ::RegCloseKey(hKey);
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
