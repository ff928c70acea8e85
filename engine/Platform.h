// The platform the setup program runs on, the process-wide flags that start-up sets, and the
// small file and registry helpers that the engine and the shell share.
// All flags are 0 at process start and written on the main thread before the wizard or its
// worker thread exists (g_bLaunchApp excepted, which only the main thread uses).
#pragma once
#include <windows.h>

extern BOOL g_bIsWow64;         // a 32-bit process on 64-bit Windows
extern BOOL g_bIsNt6;           // Windows NT with major version 6 or later
extern BOOL g_bGermanUi;        // a tried UI language was German ("DEU")
extern BOOL g_bSpanishSystem;   // the system default language is Spanish
extern BOOL g_bTitleBitmap;     // the package carries Lorvane.bmp: the TURBOVOLUME section applies
extern BOOL g_bLaunchApp;       // start the installed application after the wizard closes
extern BOOL g_bQuiet;           // no message box at all: messages go to the log only
extern HMODULE g_hLangResource; // the language resource library, or null (ExitInstance frees it)

// The flag for the current process; 0 where the system has no IsWow64Process.
BOOL IsWow64();
// 1 for Windows NT with major version 6 or later (Vista to 11), else 0: the systems that get
// the service and the Compatibility Assistant values rather than a Run value.
BOOL IsWindowsNt6();
// The decision of IsWindowsNt6 for a reported platform and major version.
BOOL IsNt6OrLater(DWORD dwPlatformId, DWORD dwMajorVersion);
// Marks a program path in the Compatibility Assistant's "Persisted" key (HKCU), so that the
// assistant does not ask about it after it ran. Returns the registry status.
LONG WriteCompatibilityAssistantValue(LPCWSTR lpszValueName);
// Whether a file or folder of that name exists (FindFirstFileW, as the system's own
// file-exists test).
BOOL FileExists(LPCWSTR lpszPath);
// Copies the part of lpszPath up to and including its last backslash into lpszFolder
// (MAX_PATH units); a path without a backslash gives an empty string. Returns FALSE, with
// an empty result, when the folder would not fit.
BOOL GetPathFolder(LPCWSTR lpszPath, LPWSTR lpszFolder);
