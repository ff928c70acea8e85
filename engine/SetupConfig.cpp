// ReadSetupConfig: setup.ini and the target folder below Program Files.
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

void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap)
{
    // Only read, so it need not fit in MAX_PATH.
    std::wstring file = std::wstring(lpszFolder) + L"setup.ini";
    LPCWSTR lpszFile = file.c_str();

    ZeroMemory(pConfig, sizeof(*pConfig));
    LPCWSTR lpszSection = bTitleBitmap ? L"TURBOVOLUME_Customized_Setting" : L"Customized_Setting";

    ReadString(lpszFile, lpszSection, L"APPFolderName", L"VRX58Q", pConfig->AppFolderName);
    if (pConfig->AppFolderName[0]) {
        // Left empty when it would not fit; the install refuses an empty folder.
        WCHAR szProgramFiles[MAX_PATH] = L"";
        if (g_pfnGetProgramFilesFolder(szProgramFiles)) {
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
}
