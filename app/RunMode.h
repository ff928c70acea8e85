// The run mode that the command line selects, and the title bitmap whose presence selects
// the package's alternative configuration section.
#pragma once
#include <windows.h>
#include "app/SetupCommandLine.h"

enum SetupRunMode {
    RunInstallWizard,
    RunUninstallWizard,
    RunSilentInstall,
};

// Decides the mode by the first rule that holds (no words: install wizard; "delpkg":
// uninstall wizard; "s": silent install; other words: install wizard) and writes into
// lpszTitleBitmap (MAX_PATH units) the title-bitmap file to test, or "" when none is tested.
SetupRunMode DecideRunMode(const CSetupCommandLineInfo& cmdInfo, LPCWSTR lpszFolder, LPWSTR lpszTitleBitmap);
