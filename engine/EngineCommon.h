// Helpers shared by the engine's sources: checked path formatting, the busy-file retry, file
// tests, the registry prefix and failure reports.
#pragma once
#include "engine/SetupEngine.h"
#include "engine/Platform.h"
#include "engine/SetupLog.h"
#include "engine/Text.h"
#include "framework/AfxHandle.h"
#include <string>

// Command lines and registry data: a quoted MAX_PATH path followed by a few words.
const size_t kCommandLineUnits = MAX_PATH + 32;
// Registry key paths.
const size_t kKeyPathUnits = 1024;
// How long a file that another program still holds (one that has just ended, a virus
// scanner) is tried again before the copy or deletion counts as failed.
const DWORD kBusyFileWaitMs = 3000;

// The files of the install's uninstall folder: the package's setup program, its setup.ini
// and the seven language libraries.
extern const LPCWSTR kUninstallFolderFiles[9];

// Formats into lpszBuffer of cch units. When the result would not fit, the buffer is left
// empty and FALSE comes back: a path is never cut into a different one.
BOOL FormatText(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, ...);
// FormatText into a MAX_PATH buffer; a path of at most 259 units.
BOOL FormatPath(LPWSTR lpszBuffer, LPCWSTR lpszFormat, ...);
// FormatPath that reports a path too long for MAX_PATH, naming lpszSetting (a setup.ini key)
// as the cause, or the package folder when lpszSetting is null.
BOOL FormatPlanPath(LPWSTR lpszBuffer, LPCWSTR lpszSetting, LPCWSTR lpszFormat, ...);

// Runs op (a file operation returning BOOL and setting the last error) again while it fails
// because another program holds the file, kBusyFileWaitMs at most; its last result.
template <class Op> BOOL RetryWhileFileBusy(Op op)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
        if (op())
            return TRUE;
        DWORD dwError = ::GetLastError();
        bool bBusy = dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION
            || dwError == ERROR_ACCESS_DENIED;
        if (!bBusy || ::GetTickCount() - dwStart >= kBusyFileWaitMs) {
            ::SetLastError(dwError);
            return FALSE;
        }
        ::Sleep(100);
    }
}

// TRUE when a change of the file lpszPath failed with dwError because another program holds
// it. The system says "access denied" for a running program or a loaded library as it does
// for a read-only file or a folder: then the file itself tells them apart. Without a path
// only a sharing or lock violation counts.
BOOL IsFileInUse(DWORD dwError, LPCWSTR lpszPath);
// The outcome of a file operation on lpszPath (optional) that failed with dwError: a file held
// by another program (SetupFileBusy), a full disk (SetupDiskFull), or any other failure.
SetupOutcome OutcomeOfFileError(DWORD dwError, LPCWSTR lpszPath = nullptr);
// The system's text for dwError, and for a file in use that it is.
std::wstring FileErrorText(DWORD dwError, LPCWSTR lpszPath);

// TRUE when lpszPath is an existing folder.
BOOL FolderExists(LPCWSTR lpszPath);
// TRUE when lpszFolder (with its trailing backslash) has the form of a folder that
// CreateTemporaryFolder(lpszName) (TrustedFolder.h) makes, directly below the temporary folder.
BOOL IsTemporaryFolder(LPCWSTR lpszName, LPCWSTR lpszFolder);

// "SOFTWARE\[Wow6432Node\]Microsoft\Windows\CurrentVersion\" by g_bIsWow64.
LPCWSTR GetRegistryPrefix();

// Reports one failure or refusal: a line in the log and, unless the run is quiet, a message
// box with no owner, the caption "Fail", a warning icon and OK.
void ReportFailure(LPCWSTR lpszFormat, ...);
