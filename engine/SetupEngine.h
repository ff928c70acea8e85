// The installation engine: the configuration read from setup.ini, the install and uninstall
// sequences, and the process and shortcut operations they share. Plain functions that take
// the setup folder (ending with a backslash) and a SetupConfig.
//
//   SetupConfig, ReadSetupConfig            setup.ini and the target folder
//   InstallApplication, SilentInstall, ...  the install sequence, rolled back when it fails
//                                           (CInstallTransaction, InstallTransaction.h)
//   InstallJournal.h, JournalRecovery.h     the install's journal on disk, and the next run's
//                                           recovery of an install whose process died
//   TrustedFolder.h                         folders and files trusted by their handle: the
//                                           journal's, the temporary ones, the default log
//   UninstallApplication, SilentUninstall,  the uninstall sequence and the removal of what is
//   RemoveInstallFolders                    left of the install folder
//   RunProgram, LaunchApplication           child processes
//   Create/Delete...Shortcut                shell links on the desktop and in the Programs menu
//   SetupOutcome                            how a run ended: the program's exit codes
//   g_pfnEngineMessageBox                   where the engine's failure messages go
//   SetupLog (SetupLog.h)                   the run's log
//   TestSeams.h                             the tests' fault injection (SETUP_TEST_...)
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

// TRUE when lpszFolder (with its trailing backslash) has the form of a folder that
// CreateTemporaryFolder(lpszName) (TrustedFolder.h) makes, directly below the temporary folder.
BOOL IsTemporaryFolder(LPCWSTR lpszName, LPCWSTR lpszFolder);

// TRUE when lpszName names exactly one entry of a folder, as the file system keeps it.
BOOL IsValidName(LPCWSTR lpszName);

// How an install or uninstall ended. The values are the program's exit codes.
enum SetupOutcome {
    SetupSucceeded = 0,   // done
    SetupFailed = 1,      // failed; an install has put back everything it had changed
    SetupRefused = 2,     // the configuration or the package is refused; nothing was touched
    SetupBusy = 3,        // another setup program runs; nothing was done
    SetupCancelled = 4,   // the user left the wizard before anything started
    SetupStillRunning = 5,  // the application or its service would not close; nothing stays changed
    SetupDiskFull = 6,    // not enough disk space: refused before the work, or rolled back
    SetupFileBusy = 7,    // another program holds a file open, after the retry; nothing stays changed
};

// The whole install. A configuration or package that it must not act on, or one that does not
// fit on the disk, is refused with a message before anything is touched; a failure after the machine was changed puts back what
// the install changed (files, folders, registry values, shortcuts, the old service), then
// reports why.
SetupOutcome InstallApplication(LPCWSTR lpszFolder, const SetupConfig& config);
// Folders, file copies and registry values of the install, put back when one of them fails.
SetupOutcome CopyFilesAndRegister(LPCWSTR lpszFolder, const SetupConfig& config);
// The whole uninstall. It succeeds when the application's files are gone; when the
// application's executable stays (still running, or in use), it fails and keeps the install
// whole, its uninstall entry included, so that it can be run again. Refuses the same
// configurations as the install.
SetupOutcome UninstallApplication(const SetupConfig& config);
// File deletions and registry removal of the uninstall; same result as UninstallApplication.
SetupOutcome DeleteFilesAndUnregister(const SetupConfig& config);
// The end of a successful uninstall: the setup's own files in the install folder (the uninstall
// folder's setup program, setup.ini and language libraries, title_about.bmp), then the
// uninstall folder and the install folder, each only when nothing else is left in it (a file
// of the user's keeps it). A file in use (the running uninstaller's own) stays. TRUE when the
// install folder is gone.
BOOL RemoveInstallFolders(const SetupConfig& config);

// Starts a program at normal priority; returns its process handle (the caller closes it) or
// null. The thread handle is closed here.
HANDLE RunProgram(LPCWSTR lpszCommandLine, BOOL bShow);
// Starts the installed application; reads setup.ini when pConfig is null. TRUE when started.
BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap);
// The install without a window, then the application when the configuration asks for it
// and the install succeeded.
SetupOutcome SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);
// The uninstall without a window, of the install that setup.ini in lpszFolder describes. When
// nothing of it is installed (no uninstall entry, no executable), nothing is done: success.
SetupOutcome SilentUninstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);

class CInstallTransaction;

// A link named lpszName on the user's desktop to lpszTarget; an older one is replaced (and
// kept by pTransaction, when given, until the install ends). TRUE when the link was saved.
BOOL CreateDesktopShortcut(LPCWSTR lpszTarget, LPCWSTR lpszName, CInstallTransaction* pTransaction = nullptr);
void DeleteDesktopShortcut(LPCWSTR lpszName);
// A link lpszLinkName in the all-users Programs group lpszGroup (created when missing) to
// lpszTarget with optional arguments. TRUE when the link was saved.
BOOL CreateProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszTarget, LPCWSTR lpszLinkName, LPCWSTR lpszArguments,
                            CInstallTransaction* pTransaction = nullptr);
// Deletes a link of the Programs group, and with bRemoveFolder the group folder when empty.
void DeleteProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszLinkName, BOOL bRemoveFolder);
// Names in the transaction's plan the links and the Programs group that the install's
// shortcuts of the application lpszAppName write.
void PlanShortcuts(CInstallTransaction& transaction, LPCWSTR lpszAppName);

// The engine's failure messages go through this pointer (MessageBoxW unless a test replaces
// it). Every message has no owner window, the caption "Fail" and MB_ICONWARNING | MB_OK; in a
// quiet run (g_bQuiet) none is shown, and the log alone has them.
typedef int(WINAPI* EngineMessageBoxFn)(HWND hWnd, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT uType);
extern EngineMessageBoxFn g_pfnEngineMessageBox;
