// Kelvrin.exe, the service tool: registers, stops and removes the application's Windows
// service through the service control manager. No window.
//
//   Kelvrin.exe -i   register the service (demand start) for the application beside this
//                    tool; an existing registration is updated to point here
//   Kelvrin.exe -k   stop the service; a service that is not registered or not running
//                    counts as stopped
//   Kelvrin.exe -u   remove the service; one that is not registered counts as removed
//
// Exit code 0 on success, 1 on failure (the reason goes to the tools journal), 2 for a
// missing or unknown word. "-u" stops a running service first, so that it goes at once.
//
// For the setup's tests the environment variable SETUP_TEST_SERVICE_TOOL=at-once makes it
// behave as a tool that relies on its caller's pauses: "-k" and "-u" only ask and return at
// once, and "-i" registers a service that takes eight seconds to stop, longer than the setup
// retries a file that is held; SETUP_TEST_SERVICE_TOOL=hung does the same with a service that
// takes a minute to stop, longer than the setup waits for it.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "tools/common/RaidService.h"
#include "tools/common/ToolsJournal.h"

namespace {

const WCHAR kApplicationFile[] = L"VRX58QRaidSetup.exe";
const DWORD kStopWaitMs = 10000;

// SETUP_TEST_SERVICE_TOOL=at-once or hung: return before the service has stopped or gone.
BOOL ReturnsAtOnce()
{
    WCHAR szValue[16] = L"";
    return ::GetEnvironmentVariableW(L"SETUP_TEST_SERVICE_TOOL", szValue, 16)
        && (!lstrcmpiW(szValue, L"at-once") || !lstrcmpiW(szValue, L"hung"));
}

// The word that makes the registered service slow to stop, when the tool returns at once.
LPCWSTR SlowStopWord()
{
    WCHAR szValue[16] = L"";
    ::GetEnvironmentVariableW(L"SETUP_TEST_SERVICE_TOOL", szValue, 16);
    return !lstrcmpiW(szValue, L"hung") ? L"stop-after=60000" : L"stop-after=8000";
}

// Owns one service control manager handle.
class CServiceHandle {
public:
    explicit CServiceHandle(SC_HANDLE h = nullptr) : m_h(h) {}
    ~CServiceHandle() { if (m_h) ::CloseServiceHandle(m_h); }
    CServiceHandle(const CServiceHandle&) = delete;
    CServiceHandle& operator=(const CServiceHandle&) = delete;
    operator SC_HANDLE() const { return m_h; }
    SC_HANDLE m_h;
};

// Records the outcome in the journal and gives the exit code.
int Finish(int rc, LPCWSTR lpszWhat, DWORD dwError)
{
    WCHAR szDetail[512];
    if (rc == 0)
        _snwprintf(szDetail, 512, L"0 %ls", lpszWhat);
    else
        _snwprintf(szDetail, 512, L"%d %ls (error %lu)", rc, lpszWhat, dwError);
    szDetail[511] = 0;
    WriteToolsJournal(L"exit", szDetail);
    return rc;
}

// The service's command line: the application beside this tool, quoted, and the word that
// makes it run as the service.
BOOL BuildServiceCommandLine(LPWSTR lpszOut, size_t cch)
{
    WCHAR szFolder[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, szFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return FALSE;
    LPWSTR slash = wcsrchr(szFolder, L'\\');
    if (!slash)
        return FALSE;
    *slash = 0;
    int len = _snwprintf(lpszOut, cch, L"\"%ls\\%ls\" %ls%ls%ls", szFolder, kApplicationFile, RAID_SERVICE_WORD,
                         ReturnsAtOnce() ? L" " : L"", ReturnsAtOnce() ? SlowStopWord() : L"");
    return len > 0 && (size_t)len < cch;
}

int InstallService()
{
    WCHAR szCommand[MAX_PATH + 32];
    if (!BuildServiceCommandLine(szCommand, MAX_PATH + 32))
        return Finish(1, L"service path too long", ERROR_FILENAME_EXCED_RANGE);
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT));
    if (!scm)
        return Finish(1, L"cannot open the service control manager", ::GetLastError());
    CServiceHandle service(::CreateServiceW(scm, RAID_SERVICE_NAME, RAID_SERVICE_DISPLAY_NAME, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, szCommand, nullptr, nullptr,
        nullptr, nullptr, nullptr));
    if (service)
        return Finish(0, L"service registered", 0);
    DWORD dwError = ::GetLastError();
    if (dwError != ERROR_SERVICE_EXISTS)
        return Finish(1, L"cannot register the service", dwError);

    // Registered before, perhaps from another folder: point it here.
    CServiceHandle existing(::OpenServiceW(scm, RAID_SERVICE_NAME, SERVICE_CHANGE_CONFIG));
    if (!existing)
        return Finish(1, L"cannot open the registered service", ::GetLastError());
    if (!::ChangeServiceConfigW(existing, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
            szCommand, nullptr, nullptr, nullptr, nullptr, nullptr, RAID_SERVICE_DISPLAY_NAME))
        return Finish(1, L"cannot update the registered service", ::GetLastError());
    return Finish(0, L"service registration updated", 0);
}

// The process of a running service, opened for waiting on its end; null when it has none.
HANDLE OpenServiceProcess(SC_HANDLE hService)
{
    SERVICE_STATUS_PROCESS ssp{};
    DWORD cbNeeded = 0;
    if (!::QueryServiceStatusEx(hService, SC_STATUS_PROCESS_INFO, (LPBYTE)&ssp, sizeof(ssp), &cbNeeded)
        || !ssp.dwProcessId)
        return nullptr;
    return ::OpenProcess(SYNCHRONIZE, FALSE, ssp.dwProcessId);
}

// Asks a running service to stop and waits until it has and its process has ended, so that
// its files can be replaced at once; TRUE when it is stopped (or, returning at once, asked to).
BOOL StopAndWait(SC_HANDLE hService, DWORD* pdwError)
{
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(hService, &status)) {
        *pdwError = ::GetLastError();
        return FALSE;
    }
    if (status.dwCurrentState == SERVICE_STOPPED)
        return TRUE;
    if (ReturnsAtOnce()) {
        if (status.dwCurrentState != SERVICE_STOP_PENDING && !::ControlService(hService, SERVICE_CONTROL_STOP, &status)
            && ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
            *pdwError = ::GetLastError();
            return FALSE;
        }
        return TRUE;
    }
    struct CProcessHandle {
        HANDLE h;
        ~CProcessHandle() { if (h) ::CloseHandle(h); }
    } process{ OpenServiceProcess(hService) };
    if (status.dwCurrentState != SERVICE_STOP_PENDING && !::ControlService(hService, SERVICE_CONTROL_STOP, &status)) {
        DWORD dwError = ::GetLastError();
        if (dwError != ERROR_SERVICE_NOT_ACTIVE) {
            *pdwError = dwError;
            return FALSE;
        }
        return TRUE;
    }
    DWORD start = ::GetTickCount();
    while (status.dwCurrentState != SERVICE_STOPPED) {
        if (::GetTickCount() - start > kStopWaitMs) {
            *pdwError = ERROR_SERVICE_REQUEST_TIMEOUT;
            return FALSE;
        }
        ::Sleep(100);
        if (!::QueryServiceStatus(hService, &status)) {
            *pdwError = ::GetLastError();
            return FALSE;
        }
    }
    DWORD elapsed = ::GetTickCount() - start;
    if (process.h && ::WaitForSingleObject(process.h, elapsed < kStopWaitMs ? kStopWaitMs - elapsed : 0) != WAIT_OBJECT_0) {
        *pdwError = ERROR_SERVICE_REQUEST_TIMEOUT;
        return FALSE;
    }
    return TRUE;
}

int StopService()
{
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm)
        return Finish(1, L"cannot open the service control manager", ::GetLastError());
    CServiceHandle service(::OpenServiceW(scm, RAID_SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
        DWORD dwError = ::GetLastError();
        return dwError == ERROR_SERVICE_DOES_NOT_EXIST ? Finish(0, L"service not registered", 0)
                                                       : Finish(1, L"cannot open the service", dwError);
    }
    DWORD dwError = 0;
    return StopAndWait(service, &dwError) ? Finish(0, L"service stopped", 0)
                                          : Finish(1, L"cannot stop the service", dwError);
}

int RemoveService()
{
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm)
        return Finish(1, L"cannot open the service control manager", ::GetLastError());
    CServiceHandle service(::OpenServiceW(scm, RAID_SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        DWORD dwError = ::GetLastError();
        return dwError == ERROR_SERVICE_DOES_NOT_EXIST ? Finish(0, L"service not registered", 0)
                                                       : Finish(1, L"cannot open the service", dwError);
    }
    DWORD dwError = 0;
    StopAndWait(service, &dwError);
    if (!::DeleteService(service)) {
        dwError = ::GetLastError();
        if (dwError != ERROR_SERVICE_MARKED_FOR_DELETE)
            return Finish(1, L"cannot remove the service", dwError);
    }
    return Finish(0, L"service removed", 0);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    WriteToolsJournalStart();
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    WCHAR szWord[8] = L"";
    if (argv && argc == 2)
        lstrcpynW(szWord, argv[1], 8);
    ::LocalFree(argv);

    if (!lstrcmpiW(szWord, L"-i"))
        return InstallService();
    if (!lstrcmpiW(szWord, L"-k"))
        return StopService();
    if (!lstrcmpiW(szWord, L"-u"))
        return RemoveService();
    return Finish(2, L"usage: Kelvrin.exe -i | -k | -u", ERROR_INVALID_PARAMETER);
}
