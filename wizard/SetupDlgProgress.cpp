// CSetupDlg's reactions to the worker's reports: the Running, Finished and Failed states and the
// progress animation.
#include "wizard/SetupDlg.h"
#include "engine/SetupEngine.h"
#include "lang/Languages.h"

namespace {

const int kLabelChars = 1024;
const int kProgressStep = 5;
const int kProgressAnimatedMax = 95;   // only the end report sets 100

// The exit code that an end report's lParam stands for.
int OutcomeOfEnd(LPARAM lParam)
{
    if (lParam == SETUP_END_SUCCEEDED)
        return SetupSucceeded;
    if (lParam == SETUP_END_REFUSED)
        return SetupRefused;
    if (lParam >= SetupStillRunning && lParam <= SetupFileBusy)
        return (int)lParam;
    return SetupFailed;
}

} // namespace

LRESULT CSetupDlg::OnSetupProgress(WPARAM wParam, LPARAM lParam)
{
    const int nCode = (int)(wParam & 0xFF);
    if (nCode < SETUP_INSTALL_BEGIN || nCode > SETUP_UNINSTALL_FAILED)
        return 0;

    WCHAR szHeading[kLabelChars];
    WCHAR szInfo[kLabelChars];

    if (nCode == SETUP_INSTALL_BEGIN || nCode == SETUP_UNINSTALL_BEGIN) {
        // An unattended dialog opened in Running: the worker's begin report leaves the bar moving.
        if (m_bUnattended && (m_progress.GetStyle() & WS_VISIBLE))
            return 0;
        const BOOL bInstall = nCode == SETUP_INSTALL_BEGIN;
        m_progress.SetRange(0, 100);
        m_progress.SetStep(kProgressStep);
        m_progress.SetPos(0);
        m_btnAction.EnableWindow(FALSE);
        m_btnCancel.EnableWindow(FALSE);
        m_btnClose.EnableWindow(FALSE);
        LoadText(bInstall ? IDS_INSTALL_RUNNING : IDS_REMOVE_RUNNING, szHeading, kLabelChars);
        LoadText(bInstall ? IDS_INSTALL_RUNNING_INFO : IDS_REMOVE_RUNNING_INFO, szInfo, kLabelChars);
        m_lblHeading.SetText(szHeading);
        m_lblInfo.SetText(szInfo);
        // The bar comes last: whoever sees it sees the whole Running page.
        m_progress.ShowWindow(SW_SHOW);
        SetTimer(IDT_PROGRESS, PROGRESS_TIMER_MS);
        return 0;
    }

    UINT nHeading;
    const BOOL bEnd = nCode == SETUP_INSTALL_END || nCode == SETUP_UNINSTALL_END;
    m_nOutcome = bEnd && !m_bHandlerFailed ? OutcomeOfEnd(lParam) : SetupFailed;
    if (m_bUnattended || m_bHandlerFailed) {
        // Nobody is there to press Finish, or the wizard itself has failed and waited only for
        // the worker: the dialog ends with the run.
        KillTimer(IDT_PROGRESS);
        m_bWorkerRunning = FALSE;
        EndDialog(m_nOutcome == SetupSucceeded ? IDOK : IDABORT);
        return 0;
    }
    if (bEnd) {
        KillTimer(IDT_PROGRESS);
        if (lParam == SETUP_END_SUCCEEDED) {
            m_progress.SetPos(100);
            if (nCode == SETUP_INSTALL_END) {
                m_bInstallDone = TRUE;
                m_progress.ShowWindow(SW_HIDE);
                m_chkLaunch.ShowWindow(SW_SHOW);
                m_chkLaunch.SetCheck(1);
                nHeading = IDS_INSTALL_DONE;
            } else {
                nHeading = IDS_REMOVE_DONE;
            }
        } else {
            // The bar stays where the animation left it.
            nHeading = nCode == SETUP_INSTALL_END ? IDS_INSTALL_FAILED : IDS_REMOVE_FAILED;
        }
    } else {
        // A failure report: the animation stops where it stands, as it does for a failed end.
        KillTimer(IDT_PROGRESS);
        nHeading = nCode == SETUP_INSTALL_FAILED ? IDS_INSTALL_FAILED : IDS_REMOVE_FAILED;
    }
    m_bWorkerRunning = FALSE;

    LoadText(nHeading, szHeading, kLabelChars);
    LoadText(IDS_FINISH_INFO, szInfo, kLabelChars);
    m_lblHeading.SetText(szHeading);
    m_lblInfo.SetText(szInfo);
    m_btnAction.ShowWindow(SW_HIDE);
    m_btnCancel.EnableWindow(FALSE);
    m_btnClose.EnableWindow(TRUE);
    m_btnFinish.ShowWindow(SW_SHOW);
    // The keyboard continues on Finish; Enter on the check box presses it too.
    SendMessage(DM_SETDEFID, IDOK, 0);
    FocusControl(m_btnFinish);
    return 0;
}

void CSetupDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == IDT_PROGRESS && m_progress.GetPos() < kProgressAnimatedMax)
        m_progress.StepIt();
    Default();
}
