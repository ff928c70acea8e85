// The installation engine: the configuration read from setup.ini, the install and uninstall
// sequences, and the process and shortcut operations they share. Plain functions that take
// the setup folder (ending with a backslash) and a SetupConfig.
//
//   SetupConfig, ReadSetupConfig            setup.ini and the target folder
//   InstallApplication, SilentInstall, ...  the install sequence
//   UninstallApplication, ...               the uninstall sequence
//   RunProgram, LaunchApplication           child processes
//   Create/Delete...Shortcut                shell links on the desktop and in the Programs menu
//   g_pfnEngineMessageBox                   where the engine's failure messages go
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
// InstallDir stays empty when "APPFolderName" is empty or the folder path would not fit.
void ReadSetupConfig(LPCWSTR lpszFolder, SetupConfig* pConfig, BOOL bTitleBitmap);

// The whole install; TRUE when it succeeded. A configuration that is unsafe to act on
// (empty install folder, a folder or file name that is not a plain name) is refused with a
// message box before anything is touched; a path that would not fit in MAX_PATH is refused
// without one.
BOOL InstallApplication(LPCWSTR lpszFolder, const SetupConfig& config);
// Folders, file copies and registry values of the install; TRUE when the install folder
// exists, every file the package carries was copied, the uninstall entry was written and no
// failure message was shown. Stops before copying when the install folder could not be made.
BOOL CopyFilesAndRegister(LPCWSTR lpszFolder, const SetupConfig& config);
// The whole uninstall; TRUE when the application's executable and runtime library are gone.
// Refuses the same configurations as the install.
BOOL UninstallApplication(const SetupConfig& config);
// File deletions and registry removal of the uninstall; same result as UninstallApplication.
BOOL DeleteFilesAndUnregister(const SetupConfig& config);

// Starts a program at normal priority; returns its process handle (the caller closes it) or
// null. The thread handle is closed here.
HANDLE RunProgram(LPCWSTR lpszCommandLine, BOOL bShow);
// Starts the installed application; reads setup.ini when pConfig is null. TRUE when started.
BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap);
// The install without a window, then the application when the configuration asks for it
// and the install succeeded. TRUE when the install succeeded.
BOOL SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);

// A link named lpszName on the user's desktop to lpszTarget; an older one is replaced.
// TRUE when the link was saved.
BOOL CreateDesktopShortcut(LPCWSTR lpszTarget, LPCWSTR lpszName);
void DeleteDesktopShortcut(LPCWSTR lpszName);
// A link lpszLinkName in the all-users Programs group lpszGroup (created when missing) to
// lpszTarget with optional arguments. TRUE when the link was saved.
BOOL CreateProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszTarget, LPCWSTR lpszLinkName, LPCWSTR lpszArguments);
// Deletes a link of the Programs group, and with bRemoveFolder the group folder when empty.
void DeleteProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszLinkName, BOOL bRemoveFolder);

// The engine's failure messages go through this pointer (MessageBoxW unless a test replaces
// it). Every message has no owner window, the caption "Fail" and MB_ICONWARNING | MB_OK.
typedef int(WINAPI* EngineMessageBoxFn)(HWND hWnd, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT uType);
extern EngineMessageBoxFn g_pfnEngineMessageBox;
