// Helpers shared by the engine's sources: checked path formatting, file tests, the registry
// prefix, failure reports, the names and paths a configuration may use, and the bounded
// waits for the service tool and the running application.
#pragma once
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"
#include "app/SetupFlags.h"
#include "framework/AfxHandle.h"
#include <string>
#include <vector>

// Command lines and registry data: a quoted MAX_PATH path followed by a few words.
const size_t kCommandLineUnits = MAX_PATH + 32;
// Registry key paths.
const size_t kKeyPathUnits = 1024;
// How long the service tool may take for one word, and the application to end after WM_CLOSE.
const DWORD kServiceToolWaitMs = 30000;
// The pause after "-k" and after "-u" when no service of the install folder can be seen.
const DWORD kServiceToolPauseMs = 1000;
const DWORD kApplicationCloseWaitMs = 10000;
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

// "SOFTWARE\[Wow6432Node\]Microsoft\Windows\CurrentVersion\" by g_bIsWow64.
LPCWSTR GetRegistryPrefix();

// Reports one failure or refusal: a line in the log and, unless the run is quiet, a message
// box with no owner, the caption "Fail", a warning icon and OK.
void ReportFailure(LPCWSTR lpszFormat, ...);

// Why lpszName cannot name exactly one entry of a folder (empty, "." or "..", a separator,
// drive colon, wildcard or control character, a leading space, a trailing dot or space, a
// device name such as CON or COM1), written into lpszReason; FALSE when the name is fine.
BOOL GetNameProblem(LPCWSTR lpszName, LPWSTR lpszReason, size_t cch);
// Refuses a configuration that the install or uninstall must not act on: a folder, file or
// display name that the file system would not keep as given, a file name that another
// installed file uses, the display name of the uninstall link, or an install folder path
// that does not fit. Reports the setting and why; TRUE when the configuration is safe.
BOOL CheckSetupConfig(const SetupConfig& config);

// Starts a program and waits up to dwTimeoutMs for it to end, logging its command line and
// exit code. FALSE when it could not be started.
BOOL RunProgramAndWait(LPCWSTR lpszCommandLine, DWORD dwTimeoutMs);
// Starts "<lpszInstallDir>\Kelvrin.exe" <lpszWord>, shown, and waits for it to end (at most
// kServiceToolWaitMs); FALSE when it could not be started.
BOOL RunServiceTool(LPCWSTR lpszInstallDir, LPCWSTR lpszWord);
// Stops and removes the service through "Kelvrin.exe -k", then "-u": each is waited for, and
// then, since a tool may return early, the services of the install folder are (see below).
// Where the tool is missing or cannot start, the program stops and deletes those services
// through the service control manager itself. FALSE when one of them is still running after
// the stop (then it is not removed) or still registered after the removal; *pbRestartHelps
// then tells whether a restart would end it (one that does not stop, or one marked for
// deletion), rather than a failure of the service control manager.
BOOL StopServiceTool(LPCWSTR lpszInstallDir, BOOL* pbRestartHelps = nullptr);
// TRUE when the service control manager knows a service whose program lies in lpszInstallDir.
BOOL HasFolderServices(LPCWSTR lpszInstallDir);

// A Windows service whose program lies in an install folder.
struct FolderService {
    std::wstring name;
    DWORD pid;      // its running process, or 0
    bool running;   // not stopped
};
// The services of lpszInstallDir as the service control manager reports them; FALSE when the
// manager cannot be asked.
BOOL FindFolderServices(LPCWSTR lpszInstallDir, std::vector<FolderService>& services);
// Starts the service lpszName through the service control manager; TRUE when it starts or runs.
BOOL StartFolderService(LPCWSTR lpszName);

enum ServiceWaitGoal { ServicesStopped, ServicesGone };
// The Windows services whose program lies in one folder, found before the service tool works
// on them, and the waits for what the tool asked of them.
class CFolderServices {
public:
    CFolderServices() = default;
    CFolderServices(const CFolderServices&) = delete;
    CFolderServices& operator=(const CFolderServices&) = delete;

    // Finds them through the service control manager, with the processes that run them;
    // FALSE when the manager cannot be asked.
    BOOL Find(LPCWSTR lpszInstallDir);
    BOOL IsEmpty() const { return m_services.empty(); }
    // Waits until every one has stopped (and its process ended) or is gone, kServiceToolWaitMs
    // at most in all, logging each; with none found, pauses kServiceToolPauseMs. lpszWord
    // names the tool's word for the log. FALSE when one has not got there in time.
    BOOL Await(ServiceWaitGoal goal, LPCWSTR lpszWord);
    // Without the service tool: stops every one (SERVICE_CONTROL_STOP) and waits for that,
    // then deletes it and waits until it is gone, as Await does. FALSE when one did not stop,
    // stays registered, or cannot be stopped or deleted; *pbRestartHelps as StopServiceTool
    // sets it.
    BOOL Remove(BOOL* pbRestartHelps);

private:
    struct Service {
        std::wstring name;
        CKernelHandle process;   // the running service's process, or none
    };
    std::wstring m_installDir;
    std::vector<Service> m_services;
};
// Asks every top-level window captioned lpszAppName to close and waits for its program to
// end, kApplicationCloseWaitMs at most in all; a window that does not answer (a hung
// program) is not waited on for longer. TRUE when no such program runs any more.
BOOL CloseRunningApplication(LPCWSTR lpszAppName);
// TRUE when every shortcut path of the application lpszAppName fits in MAX_PATH; reports
// "AppName" otherwise.
BOOL CheckShortcutPaths(LPCWSTR lpszAppName);
