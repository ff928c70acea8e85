// The log that the word "log" asks for: where it goes, and the header line of each run.
#pragma once
#include <windows.h>
#include "app/SetupCommandLine.h"

// Opens the log the command line asks for, if any: the path given, else
// "%TEMP%\<APPFolderName>-setup.log" with lpszAppFolderName from setup.ini, made new by this
// run or, when there, used only if its handle shows a plain file owned by SYSTEM or the
// Administrators (never through a link). A log that cannot be opened is only skipped.
void OpenRequestedLog(const CSetupCommandLineInfo& cmdInfo, LPCWSTR lpszAppFolderName);
// The run's header: the program's version, its command line, the Windows version, WOW64 and
// the user's UI language. Reads the platform flags, so it follows their settling.
void LogRunHeader();
