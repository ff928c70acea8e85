// The worker thread that runs the install or uninstall sequence and reports its begin and end
// to the dialog.
#include "wizard/SetupDlg.h"
#include "engine/Platform.h"
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"

SetupThreadParams g_threadParams;

namespace {

void PostProgress(HWND hWnd, int nCode, LPARAM lParam)
{
    // Fails only when the dialog is gone; then nobody waits for the report.
    ::PostMessageW(hWnd, WM_SETUP_PROGRESS, (WPARAM)nCode, lParam);
}

// The end report's lParam: 1 for success; any other value is a failure, 2 tells a refusal,
// and the failures a deployment tool can act on keep their outcome.
LPARAM EndParam(SetupOutcome outcome)
{
    if (outcome >= SetupStillRunning && outcome <= SetupFileBusy)
        return (LPARAM)outcome;
    return outcome == SetupSucceeded ? SETUP_END_SUCCEEDED
         : outcome == SetupRefused   ? SETUP_END_REFUSED
                                     : SETUP_END_FAILED;
}

// The sequence of the start record, between its begin and end reports.
void RunSequence(const SetupThreadParams& params)
{
    SetupConfig config;
    ReadSetupConfig(params.szFolder, &config, g_bTitleBitmap);

    // The silent runs' sequences add their own steps (nothing installed to remove is a success;
    // the application starts when setup.ini asks for it), so that the exit codes are theirs.
    if (params.bUninstall) {
        PostProgress(params.hWndNotify, SETUP_UNINSTALL_BEGIN, 0);
        SetupOutcome outcome = params.bSilent ? SilentUninstall(params.szFolder, g_bTitleBitmap)
                                              : UninstallApplication(config);
        PostProgress(params.hWndNotify, SETUP_UNINSTALL_END, EndParam(outcome));
    } else {
        PostProgress(params.hWndNotify, SETUP_INSTALL_BEGIN, 0);
        SetupOutcome outcome = params.bSilent ? SilentInstall(params.szFolder, g_bTitleBitmap)
                                              : InstallApplication(params.szFolder, config);
        PostProgress(params.hWndNotify, SETUP_INSTALL_END, EndParam(outcome));
    }
}

} // namespace

HANDLE StartSetupThread(CSetupDlg* pDlg, BOOL bUninstall)
{
    ::lstrcpynW(g_threadParams.szFolder, pDlg->GetFolder(), MAX_PATH);
    g_threadParams.hWndNotify = pDlg->GetSafeHwnd();
    g_threadParams.bUninstall = bUninstall;
    g_threadParams.bSilent = pDlg->IsUnattended();
    DWORD dwThreadId = 0;
    return ::CreateThread(nullptr, 0, &SetupThreadProc, &g_threadParams, 0, &dwThreadId);
}

DWORD WINAPI SetupThreadProc(LPVOID lpParameter)
{
    // The start record is the main thread's: copy it before anything else.
    const SetupThreadParams params = *static_cast<const SetupThreadParams*>(lpParameter);
    try {
        RunSequence(params);
    } catch (...) {
        // No exception leaves the thread, which would end the process: an install that ran is
        // rolled back by its transaction as the exception unwinds, and the dialog hears of a
        // failed end.
        try {
            SetupLog(L"the setup's worker stops: %hs", AfxCurrentExceptionText());
        } catch (...) {
        }
        PostProgress(params.hWndNotify, params.bUninstall ? SETUP_UNINSTALL_END : SETUP_INSTALL_END,
                     SETUP_END_FAILED);
    }
    return 1;
}
