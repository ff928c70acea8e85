// The run's log: a UTF-8 record appended to the file that the word "/log=<path>" names, one
// time-stamped line per step. Every function may be called from any thread, and does nothing
// while no log is open: a log that cannot be opened never stops or fails the run.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <string>

// Opens (creating when needed) lpszPath for appending. FALSE when it cannot be opened.
BOOL OpenSetupLog(LPCWSTR lpszPath);
// Makes hFile, a file opened for appending, the log; the log closes it.
void UseSetupLogFile(HANDLE hFile);
void CloseSetupLog();
BOOL IsSetupLogOpen();
// Appends one line: the local time, then the formatted text ("%ls" for strings).
void SetupLog(LPCWSTR lpszFormat, ...);

// The formatted text, however long ("%ls" for strings).
std::wstring FormatStringV(LPCWSTR lpszFormat, va_list args);

// The system's text for an error code, without its line break, into lpszText (cch units);
// "error <n>" when the system has none.
void FormatSystemError(DWORD dwError, LPWSTR lpszText, size_t cch);
// The same text as a string.
std::wstring SystemErrorText(DWORD dwError);

// UTF-16 to UTF-8, as the log and the install journal store their lines.
std::string ToUtf8(const std::wstring& text);
