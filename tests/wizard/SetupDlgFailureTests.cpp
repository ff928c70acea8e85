// The wizard dialog in this process, its worker included, when a handler or the worker's
// sequence lets an exception out: the failure is logged, the dialog never ends under a running
// worker, and the outcome is SetupFailed.
#include <gtest/gtest.h>
#include "wizard/SetupDlg.h"
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

HWND g_hDialog = nullptr;
HANDLE g_hRelease = nullptr;   // lets a worker held in its failure message go on

// The engine's failure messages, which an empty setup folder raises in the worker.
int WINAPI FailHandlerWhileHeld(HWND, LPCWSTR, LPCWSTR, UINT)
{
    ::PostMessageW(g_hDialog, WM_APP, 0, 0);
    ::PostMessageW(g_hDialog, WM_APP + 1, 0, 0);
    ::WaitForSingleObject(g_hRelease, 30000);
    return IDOK;
}

int WINAPI ThrowFromSequence(HWND, LPCWSTR, LPCWSTR, UINT)
{
    throw std::runtime_error("the sequence failed");
}

// The wizard with a failing WM_APP handler, and WM_APP + 1 that notes whether it still runs and
// lets a held worker go on.
class CFailingSetupDlg : public CSetupDlg {
public:
    CFailingSetupDlg(LPCWSTR lpszFolder, bool bFailAtStart) : CSetupDlg(lpszFolder, FALSE), m_bFailAtStart(bFailAtStart) {}
    BOOL m_bRanAfterFailure = FALSE;

protected:
    BOOL OnInitDialog() override
    {
        g_hDialog = m_hWnd;
        BOOL bResult = CSetupDlg::OnInitDialog();
        if (m_bFailAtStart)
            PostMessage(WM_APP);
        return bResult;
    }
    LRESULT OnFail(WPARAM, LPARAM) { throw std::runtime_error("a handler failed"); }
    LRESULT OnProbe(WPARAM, LPARAM)
    {
        m_bRanAfterFailure = IsWindowVisible();
        ::SetEvent(g_hRelease);
        return 0;
    }
    DECLARE_MESSAGE_MAP()

private:
    bool m_bFailAtStart;
};

BEGIN_MESSAGE_MAP(CFailingSetupDlg, CSetupDlg)
    ON_MESSAGE(WM_APP, &CFailingSetupDlg::OnFail)
    ON_MESSAGE(WM_APP + 1, &CFailingSetupDlg::OnProbe)
END_MESSAGE_MAP()

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(SetupDlgFailure, EveryFailureEndsTheWizardWithTheFailedOutcome)
{
    WCHAR szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring folder = std::wstring(szTemp) + L"wizard-empty-folder\\";
    const std::wstring logPath = std::wstring(szTemp) + L"wizard-failures.log";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::DeleteFileW(logPath.c_str());
    ASSERT_TRUE(OpenSetupLog(logPath.c_str()));
    CKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_hRelease = release;
    const EngineMessageBoxFn pfnOldBox = g_pfnEngineMessageBox;

    const struct {
        const char* when;
        bool bUnattended;          // the worker starts with the dialog
        EngineMessageBoxFn pfnBox; // what the worker's failure message does
        const char* logged;
        bool bRunsAfterFailure;    // the dialog still runs after the failed handler
    } rows[] = {
        {"a handler fails in Ready", false, pfnOldBox, "the wizard stops: a handler failed", false},
        // The worker reports a refusal (2), yet the wizard's own failure decides.
        {"a handler fails while the worker runs", true, &FailHandlerWhileHeld, "the wizard stops: a handler failed",
         true},
        {"the worker's sequence throws", true, &ThrowFromSequence, "the setup's worker stops: the sequence failed",
         false},
    };
    for (const auto& row : rows) {
        ::ResetEvent(g_hRelease);
        const size_t nLogged = ReadFile(logPath).size();
        g_pfnEngineMessageBox = row.pfnBox;
        CFailingSetupDlg dlg(folder.c_str(), !row.bUnattended);
        if (row.bUnattended)
            dlg.RunUnattended();
        EXPECT_EQ(dlg.DoModal(), IDABORT) << row.when;
        EXPECT_EQ(dlg.GetOutcome(), SetupFailed) << row.when;
        EXPECT_EQ(dlg.m_bRanAfterFailure, (BOOL)row.bRunsAfterFailure) << row.when;
        EXPECT_NE(ReadFile(logPath).find(row.logged, nLogged), std::string::npos) << row.when;
    }
    g_pfnEngineMessageBox = pfnOldBox;
    CloseSetupLog();
}
