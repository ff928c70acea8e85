// The configuration: setup.ini, the install folder it leads to, and the name rules that a
// configuration must keep before the install or uninstall acts on it.
#pragma once
#include <windows.h>

// The installed application's settings, a plain value copied whole where needed.
struct SetupConfig {
    WCHAR InstallDir[MAX_PATH];     // target folder, no trailing backslash
    WCHAR AppFileName[MAX_PATH];    // the application's executable file name
    WCHAR AppName[MAX_PATH];        // display name (shortcuts, uninstall entry, Run value, window caption)
    WCHAR CompanyName[MAX_PATH];    // publisher in the uninstall entry
    WCHAR AppFolderName[MAX_PATH];  // last component of InstallDir; uninstall key name
    WCHAR Version[MAX_PATH];        // version in the uninstall entry
    DWORD LaunchAppInSilentMode;    // start the application after a silent install
};

// Fills pConfig from "setup.ini" in lpszFolder; bTitleBitmap selects the
// "TURBOVOLUME_Customized_Setting" section instead of "Customized_Setting". InstallDir is
// "APPFolderName" in the system's Program Files folder, or, where the system cannot name that
// folder, in one named by language and platform on the Windows drive. It stays empty when
// "APPFolderName" is empty or the folder path would not fit.
void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap);
// Where ReadSetupConfig asks for the Program Files folder (the system, unless a test replaces
// it); FALSE when the folder cannot be named.
typedef BOOL (*ProgramFilesFolderFn)(LPWSTR lpszFolder);
extern ProgramFilesFolderFn g_pfnGetProgramFilesFolder;

// TRUE when lpszName names exactly one entry of a folder, as the file system keeps it.
BOOL IsValidName(LPCWSTR lpszName);
// Why lpszName cannot name exactly one entry of a folder (empty, "." or "..", a separator,
// drive colon, wildcard or control character, a leading space, a trailing dot or space, a
// device name such as CON or COM1), written into lpszReason; FALSE when the name is fine.
BOOL GetNameProblem(LPCWSTR lpszName, LPWSTR lpszReason, size_t cch);
// Refuses a configuration that the install or uninstall must not act on: a folder, file or
// display name that the file system would not keep as given, a file name that another
// installed file uses, the display name of the uninstall link, or an install folder path
// that does not fit. Reports the setting and why; TRUE when the configuration is safe.
BOOL CheckSetupConfig(const SetupConfig& config);
