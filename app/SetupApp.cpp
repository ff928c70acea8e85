// The one application object of the setup program and its run.
#include "app/SetupApp.h"
#include "app/RunLog.h"
#include "app/UninstallCopy.h"
#include "engine/SetupEngine.h"
#include "engine/ProcessOps.h"
#include "engine/JournalRecovery.h"
#include "engine/PackageCatalogue.h"
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
    // No C++ exception (out of memory in a string) ends the process here: an install that ran
    // has been rolled back by its transaction as the exception unwound it, and the run ends as
    // failed, logged and reported.
    try {
        RunSetup();
    } catch (...) {
        m_nExitCode = ReportRunException(AfxCurrentExceptionText());
    }
    return FALSE;
}

void CSetupApp::RunSetup()
{
    WCHAR szExePath[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, szExePath, MAX_PATH);
    WCHAR szFolder[MAX_PATH] = {};
    if (n == 0 || n >= MAX_PATH || !GetPathFolder(szExePath, szFolder)) {
        // The program's own path does not fit: no folder can be named safely.
        m_nExitCode = SetupRefused;
        return;
    }
    WCHAR szExeLower[MAX_PATH];
    lstrcpynW(szExeLower, szExePath, MAX_PATH);
    for (WCHAR* p = szExeLower; *p; ++p)
        if (*p >= L'A' && *p <= L'Z')
            *p = (WCHAR)(*p - L'A' + L'a');

    // The words, the mode and the platform are only read before the guard below; the log
    // is opened first so that even a refused start leaves its reason there. The uninstall's
    // temporary copy works for the uninstaller that started it, in that one's folder.
    CSetupCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    CUninstallCopy copy;
    const BOOL bCopy = copy.Attach(cmdInfo, szFolder);
    WCHAR szTitleBitmap[MAX_PATH], szInstalledBitmap[MAX_PATH];
    SetupRunMode mode = DecideRunMode(cmdInfo, szFolder, szTitleBitmap, szInstalledBitmap);
    BOOL bTitleBitmap = (szTitleBitmap[0] && FileExists(szTitleBitmap))
        || (szInstalledBitmap[0] && FileExists(szInstalledBitmap));
    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();
    // The library sets the language flags that the Program Files folder may follow: before
    // setup.ini is read. Its texts are used only when the package's catalogue vouches for it.
    g_hLangResource = LoadLanguageLibrary(szExeLower, CheckLanguageLibrary);
    SetupConfig config;
    ReadSetupConfig(szFolder, &config, bTitleBitmap);
    OpenRequestedLog(cmdInfo, config.AppFolderName);
    LogRunHeader();
    LogLanguageLibraryChecks();
    // A quiet silent run shows no message box at all, from here on.
    g_bQuiet = cmdInfo.m_bQuiet && (mode == RunSilentInstall || mode == RunSilentUninstall);

    if (copy.IsRefused()) {
        SetupLog(L"%ls", copy.GetRefusal());
        m_nExitCode = SetupRefused;
        return;
    }
    if (!bCopy && !AcquireSingleInstanceMutex(SETUP_MUTEX_NAME, m_mutex.Receive())) {
        SetupLog(L"another setup program is running: nothing was done");
        m_nExitCode = SetupBusy;
        return;
    }
    // An install of this product whose process died is rolled back before this run's work
    // (which does not start while it still runs, or when what it changed cannot be put back);
    // the uninstall's copy leaves that to the uninstaller that started it.
    if (!bCopy) {
        const SetupOutcome recovery = RecoverInterruptedInstall(config);
        if (recovery != SetupSucceeded) {
            m_nExitCode = recovery;
            return;
        }
    }
    if (g_bIsNt6)
        WriteCompatibilityAssistantValue(szExeLower);
    g_bTitleBitmap = bTitleBitmap;

    // An uninstall started from the installed uninstall folder runs from a temporary copy,
    // which can remove that folder too.
    const BOOL bUninstall = mode == RunUninstallWizard || mode == RunSilentUninstall;
    if (bUninstall && !bCopy && IsInstalledUninstallFolder(szFolder, config)
        && RunUninstallFromCopy(szExePath, szFolder, &m_nExitCode))
        return;

    m_nExitCode = RunMode(mode, szFolder, cmdInfo.m_bProgress);
    if (bCopy)
        copy.Finish(m_nExitCode, config, m_mutex);
}

int CSetupApp::RunMode(SetupRunMode mode, LPCWSTR lpszFolder, BOOL bProgress)
{
    const BOOL bSilent = mode == RunSilentInstall || mode == RunSilentUninstall;
#ifndef SETUP_HAVE_WIZARD
    bProgress = FALSE;
#endif
    // The progress window needs the wizard's texts; without them the run stays silent rather
    // than failing a deployment over a window.
    if (bSilent && bProgress && !g_hLangResource) {
        SetupLog(L"no language library beside the program: the run shows no progress");
        bProgress = FALSE;
    }
    if (bSilent && !bProgress)
        return mode == RunSilentInstall ? SilentInstall(lpszFolder, g_bTitleBitmap)
                                        : SilentUninstall(lpszFolder, g_bTitleBitmap);

    // The wizard modes need the texts of a language library.
    if (!g_hLangResource) {
        SetupLog(L"no language library beside the program: the wizard cannot open");
        return SetupRefused;
    }
    int nExitCode = SetupFailed;
#ifdef SETUP_HAVE_WIZARD
    CSetupDlg dlg(lpszFolder, mode == RunUninstallWizard || mode == RunSilentUninstall, nullptr);
    if (bSilent)
        dlg.RunUnattended();
    m_pMainWnd = &dlg;
    INT_PTR result = dlg.DoModal();
    m_pMainWnd = nullptr;
    if (result == IDOK && g_bLaunchApp)
        LaunchApplication(lpszFolder, nullptr, g_bTitleBitmap);
    nExitCode = result == -1 ? SetupFailed : dlg.GetOutcome();
#endif
    return nExitCode;
}

int CSetupApp::ExitInstance()
{
    try {
        SetupLog(L"setup exit code %d", m_nExitCode);
    } catch (...) {
    }
    CloseSetupLog();
    m_mutex.Close();
    FreeLanguageLibrary(g_hLangResource);
    g_hLangResource = nullptr;
    return CWinApp::ExitInstance();
}
