// Helpers shared by the engine's sources: checked path formatting, file tests, the registry
// prefix, failure messages and the refusal of unsafe configurations.
#pragma once
#include "engine/SetupEngine.h"
#include "app/SetupFlags.h"

// Command lines and registry data: a quoted MAX_PATH path followed by a short word.
const size_t kCommandLineUnits = MAX_PATH + 16;
// Registry key paths.
const size_t kKeyPathUnits = 1024;

// Formats into lpszBuffer of cch units. When the result would not fit, the buffer is left
// empty and FALSE comes back: a path is never cut into a different one.
BOOL FormatText(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, ...);
// FormatText into a MAX_PATH buffer; a path of at most 259 units.
BOOL FormatPath(LPWSTR lpszBuffer, LPCWSTR lpszFormat, ...);

// TRUE when a file or folder of that name exists.
// TRUE when lpszPath is an existing folder.
BOOL FolderExists(LPCWSTR lpszPath);

// "SOFTWARE\[Wow6432Node\]Microsoft\Windows\CurrentVersion\" by g_bIsWow64.
LPCWSTR GetRegistryPrefix();

// Shows one engine failure message (no owner, caption "Fail", warning icon, OK).
void ShowFailure(LPCWSTR lpszText);

// A name that stays one component below its folder: not empty, no separator or drive
// colon, and not "." or "..".
BOOL IsPlainName(LPCWSTR lpszName);
// Refuses a configuration that the install or uninstall must not act on: an empty install
// folder, or a folder, file or display name that is not a plain name. Shows one message
// naming the setting and returns FALSE; TRUE when the configuration is safe.
BOOL CheckSetupConfig(const SetupConfig& config);

// Stops the service through "Kelvrin.exe -k" and "-u" in lpszInstallDir, pausing 1000 ms
// after each start.
void StopServiceTool(LPCWSTR lpszInstallDir);
// Sends WM_CLOSE to the top-level window captioned lpszAppName, if any, then pauses 1000 ms.
void CloseRunningApplication(LPCWSTR lpszAppName);
// TRUE when every shortcut path of the application lpszAppName fits in MAX_PATH.
BOOL CheckShortcutPaths(LPCWSTR lpszAppName);
// Starts "<lpszInstallDir>\Kelvrin.exe" <lpszWord>, shown; TRUE when the process started.
BOOL RunServiceTool(LPCWSTR lpszInstallDir, LPCWSTR lpszWord);
