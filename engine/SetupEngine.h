// The installation engine: the configuration read from setup.ini, the install and uninstall
// sequences, and the process and shortcut operations they share. Plain functions that take
// the setup folder (ending with a backslash) and a SetupConfig.
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
// "TURBOVOLUME_Customized_Setting" section instead of "Customized_Setting".
void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap);

// The whole install; TRUE when it succeeded.
BOOL InstallApplication(LPCWSTR lpszFolder, const SetupConfig& config);
// The whole uninstall; TRUE when it succeeded.
BOOL UninstallApplication(const SetupConfig& config);

// Starts a program; returns its process handle (the caller closes it) or null.
HANDLE RunProgram(LPCWSTR lpszCommandLine, BOOL bShow);
// Starts the installed application; reads setup.ini when pConfig is null. TRUE when started.
BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap);
// The install without a window, then the application when the configuration asks for it.
// TRUE when the install succeeded.
BOOL SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);
