// The setup program's shell: the application object, its command line, the choice of the
// language resource library, the run's log and the uninstall's temporary copy. The engine
// (engine/SetupEngine.h) does the work; start-up here writes its process-wide flags.
//   CSetupApp, AcquireSingleInstanceMutex  InitInstance does the whole run, then the process
//                           ends (SetupApp.cpp, SingleInstance.cpp)
//   CSetupCommandLineInfo   the command-line words (SetupCommandLine.h)
//   DecideRunMode           install wizard, uninstall wizard or silent install (RunMode.h)
//   LoadLanguageLibrary     the wizard's texts (LanguageLibrary.h)
//   OpenRequestedLog        the log that "/log" asks for, and the run's header (RunLog.h)
//   CUninstallCopy          the uninstall run from a temporary copy (UninstallCopy.h)
//   g_bIsWow64 ...          process-wide flags and platform helpers (engine/Platform.h)
#pragma once
#include "framework/Afx.h"
#include "framework/AfxHandle.h"
#include "engine/Platform.h"
#include "app/SetupCommandLine.h"
#include "app/RunMode.h"
#include "app/LanguageLibrary.h"

// Name of the mutex that keeps a second setup program out while one runs.
#define SETUP_MUTEX_NAME L"VRX58Q_INSTALL"

class CSetupApp : public CWinApp {
public:
    CSetupApp();

    // Runs the whole program (RunSetup); a C++ exception that escapes it ends the run as
    // failed (1), logged and reported. Always returns FALSE, so the process ends through
    // ExitInstance.
    BOOL InitInstance() override;
    // Releases the mutex and the language library; returns the process exit code, a
    // SetupOutcome: 0 success, 1 failed, 2 refused, 3 another instance runs, 4 cancelled,
    // 5 the application would not close, 6 not enough disk space, 7 a file held by another program.
    int ExitInstance() override;

    CKernelHandle m_mutex;   // the single-instance guard, held until ExitInstance

protected:
    // Single-instance guard, platform flags, language library, recovery of an interrupted
    // install, then one run mode; sets m_nExitCode.
    void RunSetup();
    // Runs one mode from lpszFolder; returns the exit code. With bProgress a silent run shows
    // its progress in the wizard's window, unattended.
    int RunMode(SetupRunMode mode, LPCWSTR lpszFolder, BOOL bProgress);

    DECLARE_MESSAGE_MAP()
};

// Takes the single-instance mutex; FALSE (and no handle) when another instance holds it.
BOOL AcquireSingleInstanceMutex(LPCWSTR lpszName, HANDLE* phMutex);
