// The run's log: a UTF-8 record appended to the file that the word "/log=<path>" names, one
// time-stamped line per step. Every function may be called from any thread, and does nothing
// while no log is open: a log that cannot be opened never stops or fails the run.
#pragma once
#include <windows.h>

// Opens (creating when needed) lpszPath for appending. FALSE when it cannot be opened.
BOOL OpenSetupLog(LPCWSTR lpszPath);
// Makes hFile, a file opened for appending, the log; the log closes it.
void UseSetupLogFile(HANDLE hFile);
void CloseSetupLog();
BOOL IsSetupLogOpen();
// Appends one line: the local time, then the formatted text ("%ls" for strings).
void SetupLog(LPCWSTR lpszFormat, ...);
