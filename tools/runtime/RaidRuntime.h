// The application's runtime library, mingwm10.dll, which the application loads by full path
// from its own folder at start. Loading it at run time, not through the import table, keeps
// every shipped binary importing only Windows system DLLs.
#pragma once
#include <windows.h>

// Formats the status view's text (CRLF line breaks) into lpszOut of cchOut units.
// Returns the number of units written without the terminating null, or -1 when it does not
// fit (lpszOut then holds as much as fits, null-terminated).
typedef int(WINAPI* RaidFormatStatusFn)(LPCWSTR lpszAppName, LPCWSTR lpszVersion, LPCWSTR lpszFolder,
                                        LPWSTR lpszOut, int cchOut);
#define RAID_FORMAT_STATUS_EXPORT "RaidFormatStatus"
