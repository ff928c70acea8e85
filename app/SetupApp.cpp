// The one application object of the setup program and its run.
#include "app/SetupApp.h"
#include "engine/SetupEngine.h"
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
    if (!AcquireSingleInstanceMutex(SETUP_MUTEX_NAME, &m_hMutex)) {
        m_nExitCode = 1;   // refused: nothing was done
        return FALSE;
    }

    WCHAR szExePath[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szExePath, MAX_PATH);
    WCHAR szFolder[MAX_PATH] = {};
    if (n == 0 || n >= MAX_PATH || !GetPathFolder(szExePath, szFolder)) {
        // The program's own path does not fit: no folder can be named safely.
        m_nExitCode = 1;
        return FALSE;
    }
    for (WCHAR* p = szExePath; *p; ++p)
        if (*p >= L'A' && *p <= L'Z')
            *p = (WCHAR)(*p - L'A' + L'a');

    CSetupCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);

    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();
    if (g_bIsNt6)
        WriteCompatibilityAssistantValue(szExePath);

    g_hLangResource = LoadLanguageLibrary(szExePath);

    WCHAR szTitleBitmap[MAX_PATH];
    SetupRunMode mode = DecideRunMode(cmdInfo, szFolder, szTitleBitmap);
    if (szTitleBitmap[0] && FileExists(szTitleBitmap))
        g_bTitleBitmap = TRUE;

    if (mode == RunSilentInstall) {
        m_nExitCode = SilentInstall(szFolder, g_bTitleBitmap) ? 0 : 1;
        return FALSE;
    }

    // The wizard modes need the texts of a language library.
    if (!g_hLangResource) {
        m_nExitCode = 1;
        return FALSE;
    }
#ifdef SETUP_HAVE_WIZARD
    CSetupDlg dlg(szFolder, mode == RunUninstallWizard, nullptr);
    m_pMainWnd = &dlg;
    INT_PTR result = dlg.DoModal();
    m_pMainWnd = nullptr;
    if (result == IDOK && g_bLaunchApp)
        LaunchApplication(szFolder, nullptr, g_bTitleBitmap);
    if (result == -1)
        m_nExitCode = 1;
#endif
    return FALSE;
}

int CSetupApp::ExitInstance()
{
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
