// The journal of the package's own programs: one UTF-8 line per event, appended to the file
// named by the environment variable SETUP_TOOLS_JOURNAL, else "%TEMP%\vrx58q-tools.log".
//
//   <UTC time>\t<program>\t<process id>\t<event>\t<detail>
//   2024-05-02T10:11:12.345Z\tKelvrin.exe\t1234\tstart\t"C:\...\Kelvrin.exe" -i
//
// Events: "start" (detail: the command line), "exit" (detail: the exit code and, on failure,
// the reason), and program-specific events such as "WM_CLOSE". Several processes may append
// at once: each line is written by one WriteFile call on a handle opened for appending.
#pragma once
#include <windows.h>

// The journal's path into lpszPath (MAX_PATH units); FALSE when none can be formed.
BOOL GetToolsJournalPath(LPWSTR lpszPath);
// Appends one line with the given event and detail (either may be empty). Failures are
// ignored: the journal must never stop the program it records.
void WriteToolsJournal(LPCWSTR lpszEvent, LPCWSTR lpszDetail);
// Appends the "start" line with the process's command line.
void WriteToolsJournalStart();
