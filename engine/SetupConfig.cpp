// ReadSetupConfig: setup.ini and the target folder below Program Files.
#include "engine/EngineCommon.h"
#include "app/SetupFlags.h"
#include <string>

// The Program Files folder name by UI language, system language and platform.
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

void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap)
{
    // Only read, so it need not fit in MAX_PATH.
    std::wstring file = std::wstring(lpszFolder) + L"setup.ini";
    LPCWSTR lpszFile = file.c_str();

    ZeroMemory(pConfig, sizeof(*pConfig));
    LPCWSTR lpszSection = bTitleBitmap ? L"TURBOVOLUME_Customized_Setting" : L"Customized_Setting";

    ReadString(lpszFile, lpszSection, L"APPFolderName", L"VRX58Q", pConfig->AppFolderName);
    if (pConfig->AppFolderName[0]) {
        WCHAR szWindows[MAX_PATH] = L"";
        WCHAR szDrive[MAX_PATH] = L"";
        UINT n = ::GetWindowsDirectoryW(szWindows, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            szWindows[0] = 0;
        GetPathFolder(szWindows, szDrive);
        // Left empty when it would not fit; the install refuses an empty folder.
        FormatPath(pConfig->InstallDir, L"%ls%ls\\%ls", szDrive, GetProgramFilesName(), pConfig->AppFolderName);
    }
    ReadString(lpszFile, lpszSection, L"APPFileName", L"VRX58QRaidSetup.exe", pConfig->AppFileName);
    ReadString(lpszFile, lpszSection, L"AppName", L"Varelon VRX58Q RAID Manager", pConfig->AppName);
    ReadString(lpszFile, L"Startup", L"CompanyName", L"Varelon Technology Corp.", pConfig->CompanyName);
    ReadString(lpszFile, L"Startup", L"Version", L"1.00.00", pConfig->Version);
    UINT nLaunch = ::GetPrivateProfileIntW(lpszSection, L"LaunchAPInSilentMode", 0, lpszFile);
    pConfig->LaunchAppInSilentMode = nLaunch != 0 ? 1 : 0;
}
