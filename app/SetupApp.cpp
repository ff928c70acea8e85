// The one application object of the setup program and its run.
#include "app/SetupApp.h"
#include "app/RunLog.h"
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"
#ifdef SETUP_HAVE_WIZARD
#include "wizard/SetupDlg.h"
#endif

CSetupApp theApp;

BEGIN_MESSAGE_MAP(CSetupApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CSetupApp::CSetupApp() : CWinApp(nullptr)
{
}

BOOL CSetupApp::InitInstance()
{

    WCHAR szExePath[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szExePath, MAX_PATH);
    WCHAR szFolder[MAX_PATH] = {};
    if (n == 0 || n >= MAX_PATH || !GetPathFolder(szExePath, szFolder)) {
        // The program's own path does not fit: no folder can be named safely.
        m_nExitCode = SetupRefused;
        return FALSE;
    }
    for (WCHAR* p = szExePath; *p; ++p)
        if (*p >= L'A' && *p <= L'Z')
            *p = (WCHAR)(*p - L'A' + L'a');

    // The words, the mode and the platform are only read before the guard below; the log
    // is opened first so that even a refused start leaves its reason there.
    CSetupCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    WCHAR szTitleBitmap[MAX_PATH], szInstalledBitmap[MAX_PATH];
    SetupRunMode mode = DecideRunMode(cmdInfo, szFolder, szTitleBitmap, szInstalledBitmap);
    BOOL bTitleBitmap = (szTitleBitmap[0] && FileExists(szTitleBitmap))
        || (szInstalledBitmap[0] && FileExists(szInstalledBitmap));
    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();
    OpenRequestedLog(cmdInfo, szFolder, bTitleBitmap);
    LogRunHeader();

    if (!AcquireSingleInstanceMutex(SETUP_MUTEX_NAME, &m_hMutex)) {
        SetupLog(L"another setup program is running: nothing was done");
        m_nExitCode = SetupBusy;
        return FALSE;
    }
    if (g_bIsNt6)
        WriteCompatibilityAssistantValue(szExePath);

    g_hLangResource = LoadLanguageLibrary(szExePath);
    g_bTitleBitmap = bTitleBitmap;
    // Silent runs show no text: they need no language library.
    g_bQuiet = cmdInfo.m_bQuiet && (mode == RunSilentInstall || mode == RunSilentUninstall);

    if (mode == RunSilentInstall) {
        m_nExitCode = SilentInstall(szFolder, g_bTitleBitmap);
        return FALSE;
    }
    if (mode == RunSilentUninstall) {
        m_nExitCode = SilentUninstall(szFolder, g_bTitleBitmap);
        return FALSE;
    }

    // The wizard modes need the texts of a language library.
    if (!g_hLangResource) {
        SetupLog(L"no language library beside the program: the wizard cannot open");
        m_nExitCode = SetupRefused;
        return FALSE;
    }
#ifdef SETUP_HAVE_WIZARD
    CSetupDlg dlg(szFolder, mode == RunUninstallWizard, nullptr);
    m_pMainWnd = &dlg;
    INT_PTR result = dlg.DoModal();
    m_pMainWnd = nullptr;
    if (result == IDOK && g_bLaunchApp)
        LaunchApplication(szFolder, nullptr, g_bTitleBitmap);
    m_nExitCode = result == -1 ? SetupFailed : dlg.GetOutcome();
#endif
    return FALSE;
}

int CSetupApp::ExitInstance()
{
    SetupLog(L"setup exit code %d", m_nExitCode);
    CloseSetupLog();
    if (m_hMutex) {
        ::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    if (g_hLangResource) {
        ::FreeLibrary(g_hLangResource);
        g_hLangResource = nullptr;
    }
    return CWinApp::ExitInstance();
}
