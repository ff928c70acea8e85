// The setup program's shell: the application object, its command line, the process-wide
// flags and the choice of the language resource library.
//   CSetupApp               InitInstance does the whole run, then the process ends
//   CSetupCommandLineInfo   the command-line words (SetupCommandLine.h)
//   DecideRunMode           install wizard, uninstall wizard or silent install (RunMode.h)
//   LoadLanguageLibrary     the wizard's texts (LanguageLibrary.h)
//   g_bIsWow64 ...          process-wide flags and platform helpers (SetupFlags.h)
#pragma once
#include "framework/Afx.h"
#include "app/SetupFlags.h"
#include "app/SetupCommandLine.h"
#include "app/RunMode.h"
#include "app/LanguageLibrary.h"

// Name of the mutex that keeps a second setup program out while one runs.
#define SETUP_MUTEX_NAME L"VRX58Q_INSTALL"

class CSetupApp : public CWinApp {
public:
    CSetupApp();

    // Runs the whole program: single-instance guard, platform flags, language library,
    // then one run mode. Always returns FALSE, so the process ends through ExitInstance.
    BOOL InitInstance() override;
    // Releases the mutex and the language library; returns the process exit code, a
    // SetupOutcome: 0 success, 1 failed, 2 refused, 3 another instance runs, 4 cancelled,
    // 5 the application would not close, 6 not enough disk space, 7 a file held by another program.
    int ExitInstance() override;

    HANDLE m_hMutex = nullptr;

protected:
    // Runs one mode from lpszFolder; returns the exit code. With bProgress a silent run shows
    // its progress in the wizard's window, unattended.
    int RunMode(SetupRunMode mode, LPCWSTR lpszFolder, BOOL bProgress);

    DECLARE_MESSAGE_MAP()
};

// Takes the single-instance mutex; FALSE (and no handle) when another instance holds it.
BOOL AcquireSingleInstanceMutex(LPCWSTR lpszName, HANDLE* phMutex);
