// The installation engine: the configuration read from setup.ini, the install and uninstall
// sequences, and the process, service and shortcut operations they use. Plain functions that
// take the setup folder (ending with a backslash) and a SetupConfig. Nothing of it depends on
// the shell (app/) or the wizard (wizard/). This header declares the sequences; the index
// below says where the rest is.
//
//   SetupConfig.h        SetupConfig, ReadSetupConfig, CheckSetupConfig: setup.ini, the target
//                        folder and the name rules (SetupConfig.cpp)
//   SetupEngine.h        InstallApplication, SilentInstall, ...: the install sequence, rolled
//                        back when it fails (InstallSequence.cpp); UninstallApplication,
//                        SilentUninstall, RemoveInstallFolders: the uninstall sequence
//                        (UninstallSequence.cpp); SetupOutcome, the program's exit codes;
//                        g_pfnEngineMessageBox, where the engine's failure messages go;
//                        ReportRunException, the end of a run that an exception stopped
//   InstallTransaction.h CInstallTransaction: every change of an install, and its rollback
//   InstallJournal.h     the install's journal on disk
//   JournalRecovery.h    the next run's recovery of an install whose process died
//   TrustedFolder.h      folders and files trusted by their handle: the journal's, the
//                        temporary ones, the default log
//   PackageCatalogue.h   the package's files checked against the catalogue in setup.exe
//   ProcessOps.h         RunProgram, LaunchApplication, CloseRunningApplication: child processes
//   ServiceOps.h         RunServiceTool, StopServiceTool, CFolderServices: the service and its tool
//   Shortcuts.h          Create/Delete...Shortcut: shell links on the desktop and in Programs
//   Platform.h           g_bIsWow64, g_bIsNt6, ...: the process-wide flags, FileExists, GetPathFolder
//   EngineCommon.h       what the engine's sources share: checked path formatting, the busy-file
//                        retry, failure reports, the registry prefix, IsTemporaryFolder
//   Text.h               formatting, the system's error texts, UTF-8
//   SetupLog.h           the run's log
//   TestSeams.h          the tests' fault injection (SETUP_TEST_...)
#pragma once
#include <windows.h>
#include "engine/SetupConfig.h"

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
// fit on the disk, is refused with a message before anything is touched; a failure after the
// machine was changed puts back what the install changed (files, folders, registry values,
// shortcuts, the old service), then reports why.
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

// The install without a window, then the application when the configuration asks for it
// and the install succeeded.
SetupOutcome SilentInstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);
// The uninstall without a window, of the install that setup.ini in lpszFolder describes. When
// nothing of it is installed (no uninstall entry, no executable), nothing is done: success.
SetupOutcome SilentUninstall(LPCWSTR lpszFolder, BOOL bTitleBitmap);

// Ends a run that a C++ exception stopped (lpszWhat, its text): logs it and reports the
// failure as every failure is reported (no message box in a quiet run). Throws nothing;
// returns SetupFailed.
SetupOutcome ReportRunException(LPCSTR lpszWhat) noexcept;

// The engine's failure messages go through this pointer (MessageBoxW unless a test replaces
// it). Every message has no owner window, the caption "Fail" and MB_ICONWARNING | MB_OK; in a
// quiet run (g_bQuiet) none is shown, and the log alone has them.
typedef int(WINAPI* EngineMessageBoxFn)(HWND hWnd, LPCWSTR lpszText, LPCWSTR lpszCaption, UINT uType);
extern EngineMessageBoxFn g_pfnEngineMessageBox;
