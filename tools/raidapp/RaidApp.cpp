// VRX58QRaidSetup.exe, the RAID manager application: one top-level window captioned with the
// application name of its installed setup.ini, showing a status view formatted by its runtime
// library mingwm10.dll. Words: "min" starts minimised; "service" runs the application as the
// Windows service that Kelvrin.exe registers (started by the service control manager only);
// with "stop-after=<ms>" as well, the service takes that long to stop.
// For the setup's tests the environment variable SETUP_TEST_APP_CLOSE makes it slow to close
// ("after=<ms>": it closes that long after WM_CLOSE), refuse to close ("never") or stop
// answering messages once its window is up ("hang").
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "tools/common/RaidService.h"
#include "tools/common/ToolsJournal.h"
#include "tools/runtime/RaidRuntime.h"

namespace {

const WCHAR kWindowClass[] = L"VRX58QRaidManagerWindow";
const WCHAR kDefaultAppName[] = L"Varelon VRX58Q RAID Manager";
const WCHAR kDefaultVersion[] = L"1.00.00";
const int kStatusUnits = 2048;
const int kStatusEditId = 100;
const UINT_PTR kCloseTimerId = 1;
const UINT WM_APP_HANG = WM_APP + 1;

// How the window answers WM_CLOSE (SETUP_TEST_APP_CLOSE).
enum CloseBehaviour { CloseAtOnce, CloseAfterDelay, CloseNever, Hang };
struct CCloseSetting {
    CloseBehaviour behaviour = CloseAtOnce;
    UINT delayMs = 0;
};

CCloseSetting ReadCloseSetting()
{
    CCloseSetting setting;
    WCHAR szValue[64] = L"";
    if (!::GetEnvironmentVariableW(L"SETUP_TEST_APP_CLOSE", szValue, 64))
        return setting;
    if (!wcsncmp(szValue, L"after=", 6)) {
        setting.behaviour = CloseAfterDelay;
        setting.delayMs = (UINT)wcstoul(szValue + 6, nullptr, 10);
    } else if (!wcscmp(szValue, L"never")) {
        setting.behaviour = CloseNever;
    } else if (!wcscmp(szValue, L"hang")) {
        setting.behaviour = Hang;
    }
    return setting;
}

// What the window shows, settled before it is created.
struct CRaidAppState {
    WCHAR m_szFolder[MAX_PATH];   // the application's folder, no trailing backslash
    WCHAR m_szAppName[MAX_PATH];  // caption
    WCHAR m_szVersion[MAX_PATH];
    WCHAR m_szStatus[kStatusUnits];
    HBITMAP m_hBanner;            // Lorvane.bmp when it lies beside the executable, else null
    HFONT m_hFont;
    CCloseSetting m_close;
};

CRaidAppState g_state;

BOOL FileExists(LPCWSTR lpszPath)
{
    DWORD attributes = ::GetFileAttributesW(lpszPath);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL FormatPath(LPWSTR lpszOut, LPCWSTR lpszFolder, LPCWSTR lpszName)
{
    int len = _snwprintf(lpszOut, MAX_PATH, L"%ls\\%ls", lpszFolder, lpszName);
    if (len < 0 || len >= MAX_PATH) {
        lpszOut[0] = 0;
        return FALSE;
    }
    return TRUE;
}

// The folder of the running executable, without its trailing backslash.
BOOL GetOwnFolder(LPWSTR lpszFolder)
{
    DWORD n = ::GetModuleFileNameW(nullptr, lpszFolder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return FALSE;
    LPWSTR slash = wcsrchr(lpszFolder, L'\\');
    if (!slash)
        return FALSE;
    *slash = 0;
    return TRUE;
}

// The name and version that the install left in "Uninstall\setup.ini"; the product section
// is the title-bitmap one when Lorvane.bmp lies beside the executable, as for the setup.
void ReadInstalledSettings(CRaidAppState& state)
{
    lstrcpynW(state.m_szAppName, kDefaultAppName, MAX_PATH);
    lstrcpynW(state.m_szVersion, kDefaultVersion, MAX_PATH);
    WCHAR szIni[MAX_PATH], szBanner[MAX_PATH];
    BOOL bTitleBitmap = FormatPath(szBanner, state.m_szFolder, L"Lorvane.bmp") && FileExists(szBanner);
    if (_snwprintf(szIni, MAX_PATH, L"%ls\\Uninstall\\setup.ini", state.m_szFolder) < 0)
        return;
    szIni[MAX_PATH - 1] = 0;
    LPCWSTR section = bTitleBitmap ? L"TURBOVOLUME_Customized_Setting" : L"Customized_Setting";
    WCHAR szValue[MAX_PATH];
    if (::GetPrivateProfileStringW(section, L"AppName", kDefaultAppName, szValue, MAX_PATH, szIni) > 0)
        lstrcpynW(state.m_szAppName, szValue, MAX_PATH);
    if (::GetPrivateProfileStringW(L"Startup", L"Version", kDefaultVersion, szValue, MAX_PATH, szIni) > 0)
        lstrcpynW(state.m_szVersion, szValue, MAX_PATH);
    if (bTitleBitmap)
        state.m_hBanner = (HBITMAP)::LoadImageW(nullptr, szBanner, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
}

// Loads mingwm10.dll from the application's folder and formats the status text with it.
// On failure shows why and returns FALSE: the application cannot run without its runtime.
BOOL FormatStatusWithRuntime(CRaidAppState& state)
{
    WCHAR szDll[MAX_PATH];
    HMODULE hRuntime = FormatPath(szDll, state.m_szFolder, L"mingwm10.dll") ? ::LoadLibraryW(szDll) : nullptr;
    RaidFormatStatusFn pfnFormat =
        hRuntime ? (RaidFormatStatusFn)(void*)::GetProcAddress(hRuntime, RAID_FORMAT_STATUS_EXPORT) : nullptr;
    if (!pfnFormat) {
        WCHAR szText[1024];
        _snwprintf(szText, 1024,
            hRuntime ? L"The runtime library \"%ls\" is damaged.\r\n\r\nPlease install %ls again."
                     : L"The runtime library \"%ls\" is missing.\r\n\r\nPlease install %ls again.",
            szDll[0] ? szDll : L"mingwm10.dll", state.m_szAppName);
        szText[1023] = 0;
        WriteToolsJournal(L"exit", hRuntime ? L"1 runtime library damaged" : L"1 runtime library missing");
        if (hRuntime)
            ::FreeLibrary(hRuntime);
        ::MessageBoxW(nullptr, szText, state.m_szAppName, MB_ICONERROR | MB_OK);
        return FALSE;
    }
    pfnFormat(state.m_szAppName, state.m_szVersion, state.m_szFolder, state.m_szStatus, kStatusUnits);
    ::FreeLibrary(hRuntime);
    return TRUE;
}

// Places the banner (when there is one) above the status view, which fills the rest.
void LayoutChildren(HWND hWnd)
{
    RECT rc;
    ::GetClientRect(hWnd, &rc);
    int top = 0;
    if (g_state.m_hBanner) {
        BITMAP bm{};
        ::GetObjectW(g_state.m_hBanner, sizeof(bm), &bm);
        top = bm.bmHeight;
    }
    HWND hEdit = ::GetDlgItem(hWnd, kStatusEditId);
    if (hEdit)
        ::MoveWindow(hEdit, 0, top, rc.right, rc.bottom > top ? rc.bottom - top : 0, TRUE);
}

// Called when the window is created: builds the banner and the read-only status view.
void OnCreate(HWND hWnd)
{
    HINSTANCE hInstance = (HINSTANCE)::GetWindowLongPtrW(hWnd, GWLP_HINSTANCE);
    if (g_state.m_hBanner) {
        HWND hBanner = ::CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 0, 0,
            hWnd, nullptr, hInstance, nullptr);
        ::SendMessageW(hBanner, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)g_state.m_hBanner);
    }
    HWND hEdit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", g_state.m_szStatus,
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0, 0, hWnd,
        (HMENU)(INT_PTR)kStatusEditId, hInstance, nullptr);
    ::SendMessageW(hEdit, WM_SETFONT, (WPARAM)g_state.m_hFont, FALSE);
    LayoutChildren(hWnd);
}

LRESULT CALLBACK RaidWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(hWnd);
        return 0;
    case WM_SIZE:
        LayoutChildren(hWnd);
        return 0;
    case WM_CLOSE:
        // The setup closes a running copy this way before it replaces or removes the files.
        WriteToolsJournal(L"WM_CLOSE", L"");
        if (g_state.m_close.behaviour == CloseAfterDelay)
            ::SetTimer(hWnd, kCloseTimerId, g_state.m_close.delayMs, nullptr);
        else if (g_state.m_close.behaviour != CloseNever)
            ::DestroyWindow(hWnd);
        return 0;
    case WM_TIMER:
        if (wParam == kCloseTimerId)
            ::DestroyWindow(hWnd);
        return 0;
    case WM_APP_HANG:
        WriteToolsJournal(L"hang", L"");
        for (;;)
            ::Sleep(INFINITE);
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

int RunWindow(HINSTANCE hInstance, int nShow)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = RaidWindowProc;
    wc.hInstance = hInstance;
    wc.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&wc))
        return 1;
    g_state.m_hFont = (HFONT)::GetStockObject(DEFAULT_GUI_FONT);
    HWND hWnd = ::CreateWindowExW(0, kWindowClass, g_state.m_szAppName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
        CW_USEDEFAULT, 520, 360, nullptr, nullptr, hInstance, nullptr);
    if (!hWnd)
        return 1;
    ::ShowWindow(hWnd, nShow);
    ::UpdateWindow(hWnd);
    if (g_state.m_close.behaviour == Hang)
        ::PostMessageW(hWnd, WM_APP_HANG, 0, 0);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}

// --- The service ---------------------------------------------------------------------------

SERVICE_STATUS_HANDLE g_hServiceStatus;
HANDLE g_hStopEvent;
DWORD g_dwStopDelayMs;

void ReportServiceState(DWORD dwState)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = dwState;
    status.dwControlsAccepted = dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWaitHint = dwState == SERVICE_RUNNING || dwState == SERVICE_STOPPED ? 0 : 3000;
    ::SetServiceStatus(g_hServiceStatus, &status);
}

// Called by the service control manager on its own thread for stop and shutdown requests.
DWORD WINAPI ServiceControlHandler(DWORD dwControl, DWORD, LPVOID, LPVOID)
{
    if (dwControl == SERVICE_CONTROL_STOP || dwControl == SERVICE_CONTROL_SHUTDOWN) {
        WriteToolsJournal(L"service-stop", L"");
        ReportServiceState(SERVICE_STOP_PENDING);
        ::SetEvent(g_hStopEvent);
        return NO_ERROR;
    }
    return dwControl == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

// Runs until the service is stopped; monitoring is idle while no controller is present.
void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    g_hServiceStatus = ::RegisterServiceCtrlHandlerExW(RAID_SERVICE_NAME, ServiceControlHandler, nullptr);
    if (!g_hServiceStatus)
        return;
    ReportServiceState(SERVICE_RUNNING);
    WriteToolsJournal(L"service-running", L"");
    ::WaitForSingleObject(g_hStopEvent, INFINITE);
    ::Sleep(g_dwStopDelayMs);
    ReportServiceState(SERVICE_STOPPED);
}

int RunService()
{
    g_hStopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WCHAR szName[] = RAID_SERVICE_NAME;
    SERVICE_TABLE_ENTRYW table[] = { { szName, ServiceMain }, { nullptr, nullptr } };
    BOOL bOk = ::StartServiceCtrlDispatcherW(table);
    ::CloseHandle(g_hStopEvent);
    return bOk ? 0 : 1;
}

BOOL HasWord(LPCWSTR lpszCmdLine, LPCWSTR lpszWord)
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(lpszCmdLine, &argc);
    BOOL bFound = FALSE;
    // argv[0] is the program; words start after it.
    for (int i = 1; argv && i < argc && !bFound; ++i)
        bFound = lstrcmpiW(argv[i], lpszWord) == 0;
    ::LocalFree(argv);
    return bFound;
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int nShow)
{
    WriteToolsJournalStart();
    LPCWSTR cmdLine = ::GetCommandLineW();
    if (HasWord(cmdLine, RAID_SERVICE_WORD)) {
        LPCWSTR delay = wcsstr(cmdLine, L"stop-after=");
        g_dwStopDelayMs = delay ? (DWORD)wcstoul(delay + 11, nullptr, 10) : 0;
        int rc = RunService();
        WriteToolsJournal(L"exit", rc == 0 ? L"0" : L"1 not started by the service control manager");
        return rc;
    }

    if (!GetOwnFolder(g_state.m_szFolder)) {
        WriteToolsJournal(L"exit", L"1 own folder unknown");
        return 1;
    }
    ReadInstalledSettings(g_state);
    g_state.m_close = ReadCloseSetting();
    if (!FormatStatusWithRuntime(g_state))
        return 1;

    int rc = RunWindow(hInstance, HasWord(cmdLine, L"min") ? SW_SHOWMINNOACTIVE : nShow);
    if (g_state.m_hBanner)
        ::DeleteObject(g_state.m_hBanner);
    WCHAR szCode[16];
    _snwprintf(szCode, 16, L"%d", rc);
    szCode[15] = 0;
    WriteToolsJournal(L"exit", szCode);
    return rc;
}
