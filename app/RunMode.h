// The run mode that the command line selects, and the title bitmap whose presence selects
// the package's alternative configuration section.
#pragma once
#include <windows.h>
#include "app/SetupCommandLine.h"

enum SetupRunMode {
    RunInstallWizard,
    RunUninstallWizard,
    RunSilentInstall,
    RunSilentUninstall,
};

// Decides the mode by the first rule that holds (no words: install wizard; "delpkg":
// uninstall wizard; "SilentDel": silent uninstall; "s" or "quiet": silent install; other
// words: install wizard) and writes into lpszTitleBitmap (MAX_PATH units) the title-bitmap
// file to test, or "" when none is tested. The silent uninstall runs from the package or from
// the installed uninstall folder: it tests the package's bitmap, and lpszInstalledBitmap gets
// the installed one to test when the package has none (else it is "").
SetupRunMode DecideRunMode(const CSetupCommandLineInfo& cmdInfo, LPCWSTR lpszFolder, LPWSTR lpszTitleBitmap,
                           LPWSTR lpszInstalledBitmap = nullptr);
