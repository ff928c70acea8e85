// The service tool's runs, the services of an install folder as the service control manager
// reports them, and the waits around the tool: it may return before its service has stopped
// or gone.
#include "engine/ServiceOps.h"
#include "engine/EngineCommon.h"
#include "engine/ProcessOps.h"
#include <wchar.h>

namespace {

// The folder of the program that a service's command line starts: the quoted path, or an
// unquoted one up to its ".exe"; empty when none can be read.
std::wstring GetProgramFolder(LPCWSTR lpszCommandLine)
{
    std::wstring path;
    if (lpszCommandLine[0] == L'"') {
        LPCWSTR end = wcschr(lpszCommandLine + 1, L'"');
        path.assign(lpszCommandLine + 1, end ? end : lpszCommandLine + wcslen(lpszCommandLine));
    } else {
        path = lpszCommandLine;
        for (size_t i = 0; i + 4 <= path.size(); ++i)
            if (!_wcsnicmp(path.c_str() + i, L".exe", 4) && (i + 4 == path.size() || path[i + 4] == L' ')) {
                path.resize(i + 4);
                break;
            }
    }
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// The service's program path as the service control manager keeps it, in the service's
// registry key: read there, since asking the manager costs a round trip per service (a tenth
// of a second for a few dozen under Wine). Empty when the key has none.
std::wstring GetRegisteredProgramPath(LPCWSTR lpszName)
{
    CRegKey key;
    const std::wstring path = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + lpszName;
    WCHAR szValue[kCommandLineUnits], szExpanded[kCommandLineUnits];
    DWORD type = 0, cb = sizeof(szValue) - sizeof(WCHAR);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS
        || ::RegQueryValueExW(key, L"ImagePath", nullptr, &type, (BYTE*)szValue, &cb) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    szValue[cb / sizeof(WCHAR)] = 0;
    if (type == REG_SZ)
        return szValue;
    DWORD n = ::ExpandEnvironmentStringsW(szValue, szExpanded, kCommandLineUnits);
    return n > 0 && n <= kCommandLineUnits ? szExpanded : szValue;
}

// The folder of a service's program from the configuration that the service control manager
// gives through the service's handle; empty when it cannot be read.
std::wstring GetConfiguredProgramFolder(SC_HANDLE hService)
{
    DWORD cbNeeded = 0;
    if (!hService || (::QueryServiceConfigW(hService, nullptr, 0, &cbNeeded) == FALSE
                      && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER))
        return std::wstring();
    std::vector<BYTE> buffer(cbNeeded);
    QUERY_SERVICE_CONFIGW* config = (QUERY_SERVICE_CONFIGW*)buffer.data();
    if (!::QueryServiceConfigW(hService, config, cbNeeded, &cbNeeded) || !config->lpBinaryPathName)
        return std::wstring();
    return GetProgramFolder(config->lpBinaryPathName);
}

// Whether a service is gone, or else its state.
enum ServiceState { ServiceGone, ServiceStopped, ServiceActive, ServiceUnknown };

ServiceState QueryServiceState(SC_HANDLE hScm, LPCWSTR lpszName)
{
    CServiceHandle service(::OpenServiceW(hScm, lpszName, SERVICE_QUERY_STATUS));
    if (!service)
        return ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceGone : ServiceUnknown;
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service, &status))
        return ServiceUnknown;
    return status.dwCurrentState == SERVICE_STOPPED ? ServiceStopped : ServiceActive;
}

// Logs why a service (or, without a name, the manager) failed; FALSE with the last error kept.
BOOL Failed(LPCWSTR lpszWhat, LPCWSTR lpszName)
{
    DWORD dwError = ::GetLastError();
    if (lpszName[0])
        SetupLog(L"service \"%ls\" %ls: %ls", lpszName, lpszWhat, SystemErrorText(dwError).c_str());
    else
        SetupLog(L"%ls: %ls", lpszWhat, SystemErrorText(dwError).c_str());
    ::SetLastError(dwError);
    return FALSE;
}

// The service's program folder: from its registry key, else from the manager.
std::wstring GetServiceProgramFolder(SC_HANDLE hScm, LPCWSTR lpszName)
{
    const std::wstring registered = GetRegisteredProgramPath(lpszName);
    if (!registered.empty())
        return GetProgramFolder(registered.c_str());
    CServiceHandle service(::OpenServiceW(hScm, lpszName, SERVICE_QUERY_CONFIG));
    return GetConfiguredProgramFolder(service);
}

} // namespace

BOOL FindFolderServices(LPCWSTR lpszInstallDir, std::vector<FolderService>& services)
{
    services.clear();
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!scm)
        return FALSE;
    std::vector<BYTE> buffer(16 * 1024);
    DWORD resume = 0;
    BOOL bMore = TRUE;
    while (bMore) {
        DWORD cbNeeded = 0, count = 0;
        BOOL bOk = ::EnumServicesStatusExW(scm, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                                           (DWORD)buffer.size(), &cbNeeded, &count, &resume, nullptr);
        DWORD dwError = bOk ? ERROR_SUCCESS : ::GetLastError();
        if (!bOk && dwError != ERROR_MORE_DATA)
            return FALSE;
        const ENUM_SERVICE_STATUS_PROCESSW* entries = (const ENUM_SERVICE_STATUS_PROCESSW*)buffer.data();
        for (DWORD i = 0; i < count; ++i) {
            if (lstrcmpiW(GetServiceProgramFolder(scm, entries[i].lpServiceName).c_str(), lpszInstallDir) != 0)
                continue;
            const SERVICE_STATUS_PROCESS& status = entries[i].ServiceStatusProcess;
            services.push_back({ entries[i].lpServiceName, status.dwProcessId, status.dwCurrentState != SERVICE_STOPPED });
        }
        bMore = dwError == ERROR_MORE_DATA;
        if (bMore && count == 0)
            buffer.resize(cbNeeded > buffer.size() ? cbNeeded : buffer.size() * 2);
    }
    return TRUE;
}

BOOL HasFolderServices(LPCWSTR lpszInstallDir)
{
    std::vector<FolderService> services;
    return FindFolderServices(lpszInstallDir, services) && !services.empty();
}

BOOL StartFolderService(LPCWSTR lpszName)
{
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(scm ? ::OpenServiceW(scm, lpszName, SERVICE_START) : nullptr);
    return service && (::StartServiceW(service, 0, nullptr) || ::GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
}

BOOL CFolderServices::Find(LPCWSTR lpszInstallDir)
{
    m_installDir = lpszInstallDir;
    std::vector<FolderService> found;
    if (!FindFolderServices(lpszInstallDir, found))
        return FALSE;
    // The process that runs each, to wait for its end after the stop.
    for (const FolderService& service : found)
        m_services.push_back(
            { service.name, CKernelHandle(service.pid ? ::OpenProcess(SYNCHRONIZE, FALSE, service.pid) : nullptr) });
    for (const Service& service : m_services)
        SetupLog(L"service \"%ls\" runs a program of %ls", service.name.c_str(), lpszInstallDir);
    return TRUE;
}

BOOL CFolderServices::Await(ServiceWaitGoal goal, LPCWSTR lpszWord)
{
    if (m_services.empty()) {
        ::Sleep(kServiceToolPauseMs);
        return TRUE;
    }
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const DWORD dwStart = ::GetTickCount();
    for (Service& service : m_services) {
        LPCWSTR name = service.name.c_str();
        for (;;) {
            ServiceState state = scm ? QueryServiceState(scm, name) : ServiceUnknown;
            if (state == ServiceGone || (goal == ServicesStopped && state == ServiceStopped))
                break;
            if (::GetTickCount() - dwStart >= kServiceToolWaitMs) {
                SetupLog(L"after \"%ls\": service \"%ls\" is still %ls after %lu s", lpszWord, name,
                         goal == ServicesStopped ? L"running" : L"registered", kServiceToolWaitMs / 1000);
                return FALSE;
            }
            ::Sleep(50);
        }
        // A stopped service's process may still be ending, and holding its program's files.
        if (service.process.IsValid()) {
            DWORD elapsed = ::GetTickCount() - dwStart;
            if (::WaitForSingleObject(service.process, elapsed < kServiceToolWaitMs ? kServiceToolWaitMs - elapsed : 0)
                != WAIT_OBJECT_0) {
                SetupLog(L"after \"%ls\": the process of service \"%ls\" has not ended after %lu s", lpszWord,
                         name, kServiceToolWaitMs / 1000);
                return FALSE;
            }
            service.process.Close();
        }
        SetupLog(L"after \"%ls\": service \"%ls\" is %ls (%lu ms)", lpszWord, name,
                 goal == ServicesStopped ? L"stopped" : L"gone", ::GetTickCount() - dwStart);
    }
    return TRUE;
}

BOOL CFolderServices::Remove(BOOL* pbRestartHelps)
{
    *pbRestartHelps = FALSE;
    if (m_services.empty()) {
        SetupLog(L"no service of %ls to stop and delete", m_installDir.c_str());
        return TRUE;
    }
    CServiceHandle scm(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm)
        return Failed(L"the service control manager cannot be opened", L"");
    // Each one is checked, stopped and deleted through one handle, so that only a service
    // whose program still lies in the install folder is touched.
    std::vector<CServiceHandle> handles;
    for (auto it = m_services.begin(); it != m_services.end();) {
        LPCWSTR name = it->name.c_str();
        CServiceHandle service(
            ::OpenServiceW(scm, name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
        if (!service && ::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
            return Failed(L"cannot be opened", name);
        if (!service || lstrcmpiW(GetConfiguredProgramFolder(service).c_str(), m_installDir.c_str()) != 0) {
            SetupLog(L"service \"%ls\" is no longer one of %ls", name, m_installDir.c_str());
            it = m_services.erase(it);
            continue;
        }
        SERVICE_STATUS status{};
        if (::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED
            && status.dwCurrentState != SERVICE_STOP_PENDING) {
            BOOL bAsked = ::ControlService(service, SERVICE_CONTROL_STOP, &status);
            SetupLog(L"service \"%ls\": stop %ls", name, bAsked ? L"asked" : SystemErrorText(::GetLastError()).c_str());
        }
        handles.push_back(std::move(service));
        ++it;
    }
    if (m_services.empty())
        return TRUE;
    // One that does not stop keeps its registration, as after the tool's "-k".
    if (!Await(ServicesStopped, L"SERVICE_CONTROL_STOP")) {
        *pbRestartHelps = TRUE;
        return FALSE;
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        LPCWSTR name = m_services[i].name.c_str();
        if (::DeleteService(handles[i]))
            SetupLog(L"service \"%ls\" deleted", name);
        else if (::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
            return Failed(L"cannot be deleted", name);
    }
    // A deleted service goes once no handle to it is open; one that stays marked for deletion
    // goes at the next restart.
    handles.clear();
    *pbRestartHelps = !Await(ServicesGone, L"DeleteService");
    return !*pbRestartHelps;
}

BOOL RunServiceTool(LPCWSTR lpszInstallDir, LPCWSTR lpszWord)
{
    WCHAR szCommandLine[kCommandLineUnits];
    if (!FormatText(szCommandLine, kCommandLineUnits, L"\"%ls\\%ls\" %ls", lpszInstallDir, L"Kelvrin.exe", lpszWord))
        return FALSE;
    return RunProgramAndWait(szCommandLine, kServiceToolWaitMs);
}

BOOL StopServiceTool(LPCWSTR lpszInstallDir, BOOL* pbRestartHelps)
{
    BOOL bRestartHelps = TRUE;
    if (!pbRestartHelps)
        pbRestartHelps = &bRestartHelps;
    *pbRestartHelps = TRUE;
    CFolderServices services;
    if (!services.Find(lpszInstallDir))
        SetupLog(L"the service control manager cannot be asked: fixed pauses after the service tool");
    else if (services.IsEmpty())
        SetupLog(L"no service runs a program of %ls: fixed pauses after the service tool", lpszInstallDir);
    // Without its tool the service would stay for ever, and with it the program's files:
    // this program removes it itself.
    if (!RunServiceTool(lpszInstallDir, L"-k")) {
        SetupLog(L"the service tool cannot be started: the services of %ls are stopped and deleted through the "
                 L"service control manager", lpszInstallDir);
        return services.Remove(pbRestartHelps);
    }
    // A service that does not stop keeps its registration: "-u" would only mark it for
    // deletion, and nothing could register it again until it has gone.
    if (!services.Await(ServicesStopped, L"-k"))
        return FALSE;
    if (!RunServiceTool(lpszInstallDir, L"-u"))
        return services.Remove(pbRestartHelps);
    return services.Await(ServicesGone, L"-u");
}
