// The application's Windows service: its tool ("Kelvrin.exe" with "-i", "-k" and "-u"), the
// services whose program lies in an install folder, and the bounded waits around the tool,
// which may return before its service has stopped or gone.
#pragma once
#include <windows.h>
#include "framework/AfxHandle.h"
#include <string>
#include <vector>

// How long the service tool may take for one word.
const DWORD kServiceToolWaitMs = 30000;
// The pause after "-k" and after "-u" when no service of the install folder can be seen.
const DWORD kServiceToolPauseMs = 1000;

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
