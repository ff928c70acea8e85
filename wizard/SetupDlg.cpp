// CSetupDlg: construction, control binding, initialisation order, buttons and the guards
// that keep the dialog open while the worker runs.
#include "wizard/SetupDlg.h"
#include "engine/Platform.h"
#include "res/resource.h"
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"
#include "lang/Languages.h"

namespace {

const int kCaptionChars = 128;

} // namespace

BEGIN_MESSAGE_MAP(CSetupDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_ACTION, &CSetupDlg::OnActionButton)
    ON_MESSAGE(WM_SETUP_PROGRESS, &CSetupDlg::OnSetupProgress)
    ON_WM_TIMER()
    ON_WM_ERASEBKGND()
    ON_WM_LBUTTONDOWN()
    ON_BN_CLICKED(IDC_CLOSE, &CSetupDlg::OnCloseButton)
    ON_WM_CLOSE()
    ON_MESSAGE(WM_DPICHANGED, &CSetupDlg::OnDpiChanged)
    ON_MESSAGE(WM_GETFONT, &CSetupDlg::OnGetFont)
END_MESSAGE_MAP()

CSetupDlg::CSetupDlg(LPCWSTR lpszFolder, BOOL bUninstall, CWnd* pParent)
    : CDialog(IDD_SETUP_DIALOG, pParent),
      m_bmBackground{},
      m_nDpi(AFX_DEFAULT_DPI),
      m_nTemplateDpi(AFX_DEFAULT_DPI),
      m_cxLaunchTemplate(0),
      m_szFolder{},
      m_szTitle{},
      m_bUninstall(bUninstall),
      m_bInstallDone(FALSE),
      m_bWorkerRunning(FALSE),
      m_bUnattended(FALSE),
      m_bFocusCues(FALSE),
      m_bHandlerFailed(FALSE),
      m_nOutcome(SetupCancelled)
{
    m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    if (lpszFolder)
        ::lstrcpynW(m_szFolder, lpszFolder, MAX_PATH);
}

CSetupDlg::~CSetupDlg() = default;

void CSetupDlg::LoadText(UINT nID, LPWSTR lpszBuffer, int nChars)
{
    lpszBuffer[0] = L'\0';
    if (g_hLangResource)
        ::LoadStringW(g_hLangResource, nID, lpszBuffer, nChars);
}

void CSetupDlg::LoadTextOr(UINT nID, LPCWSTR lpszFallback, LPWSTR lpszBuffer, int nChars)
{
    LoadText(nID, lpszBuffer, nChars);
    if (!lpszBuffer[0])
        ::lstrcpynW(lpszBuffer, lpszFallback, nChars);
}

void CSetupDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LAUNCH, m_chkLaunch);
    DDX_Control(pDX, IDC_CLOSE, m_btnClose);
    DDX_Control(pDX, IDC_TITLE, m_lblTitle);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_INFO, m_lblInfo);
    DDX_Control(pDX, IDOK, m_btnFinish);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_HEADING, m_lblHeading);
    DDX_Control(pDX, IDC_ACTION, m_btnAction);
}

BOOL CSetupDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);

    // The skin follows the window's resolution; the system's own rescaling of dialogs would
    // stretch the template's layout instead.
    m_nDpi = m_nTemplateDpi = AfxGetWindowDpi(m_hWnd);
    AfxKeepDialogUnscaled(m_hWnd);
    CRect rcLaunch;
    m_chkLaunch.GetClientRect(&rcLaunch);
    m_cxLaunchTemplate = rcLaunch.Width();

    // Together these leave the dialog in its Ready state.
    LoadSkinBitmaps();
    InitTexts();
    ApplyWindowShape();
    LayoutControls();
    InitKeyboardAccess();
    if (m_bUnattended)
        StartUnattendedRun();
    return FALSE;   // the focus is set
}

void CSetupDlg::InitKeyboardAccess()
{
    // The close button shows only its picture; its text names it for screen readers.
    WCHAR szClose[kCaptionChars];
    LoadTextOr(IDS_CLOSE, L"Close", szClose, kCaptionChars);
    m_btnClose.SetTextHidden(TRUE);
    m_btnClose.SetWindowText(szClose);

    // A mouse user sees the window as it always looked: the cues wait for the keyboard.
    ShowFocusCues(FALSE);
    FocusControl(m_btnAction);
}

void CSetupDlg::FocusControl(CWnd& control)
{
    SendMessage(WM_NEXTDLGCTL, (WPARAM)control.GetSafeHwnd(), TRUE);
}

void CSetupDlg::ShowFocusCues(BOOL bShow)
{
    m_bFocusCues = bShow;
    const WPARAM wParam = MAKEWPARAM(bShow ? UIS_CLEAR : UIS_SET, UISF_HIDEFOCUS);
    // The system passes the change on to every control; Wine keeps no such state and passes
    // nothing, so each control hears it directly as well.
    SendMessage(WM_CHANGEUISTATE, wParam, 0);
    for (HWND hChild = ::GetWindow(m_hWnd, GW_CHILD); hChild; hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        ::SendMessageW(hChild, WM_UPDATEUISTATE, wParam, 0);
}

BOOL CSetupDlg::PreTranslateMessage(MSG* pMsg)
{
    // The system's dialogs show the cues on Tab and the arrow keys (Wine's do not); here any
    // key does, since a keyboard user may start with Space or Enter.
    if (!m_bFocusCues && (pMsg->message == WM_KEYDOWN || pMsg->message == WM_SYSKEYDOWN))
        ShowFocusCues(TRUE);
    return CDialog::PreTranslateMessage(pMsg);
}

void CSetupDlg::StartUnattendedRun()
{
    // Nobody attends the run: the window opens in Running, as the worker's begin report will
    // leave it, so no button is ever enabled; the end report ends the dialog.
    OnSetupProgress(m_bUninstall ? SETUP_UNINSTALL_BEGIN : SETUP_INSTALL_BEGIN, 0);
    OnActionButton();
    if (!m_bWorkerRunning) {
        SetupLog(L"the setup's worker thread could not start");
        m_btnAction.EnableWindow(FALSE);
        m_nOutcome = SetupFailed;
        EndDialog(IDABORT);
    }
}

void CSetupDlg::OnActionButton()
{
    if (m_bWorkerRunning)
        return;
    // Disabled at once, not only when the worker's begin report arrives, so that a second
    // press cannot start a second worker over the same start record.
    m_btnAction.EnableWindow(FALSE);
    // The worker is never waited for: its handle is not kept.
    CKernelHandle thread(StartSetupThread(this, m_bUninstall));
    if (!thread.IsValid()) {
        m_btnAction.EnableWindow(TRUE);
        return;
    }
    m_bWorkerRunning = TRUE;
}

void CSetupDlg::OnHandlerException(LPCSTR lpszWhat)
{
    SetupLog(L"the wizard stops: %hs", lpszWhat);
    m_bHandlerFailed = TRUE;
    m_nOutcome = SetupFailed;
    // The worker is never left running without its window: its end report ends the dialog.
    if (!m_bWorkerRunning)
        EndDialog(IDABORT);
}

void CSetupDlg::OnCloseButton()
{
    // Behaves like the system's close command; OnClose decides.
    ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void CSetupDlg::OnClose()
{
    // The system's dialog handling would turn the close into IDCANCEL only while the Cancel
    // button is enabled, which it no longer is in Finished and Failed; the close button is
    // enabled there, so the close ends the dialog here.
    if (m_bWorkerRunning)
        return;
    CDialog::OnCancel();
}

void CSetupDlg::OnCancel()
{
    // Escape comes here whatever the page: it acts only as the Cancel button could.
    if (m_bWorkerRunning || !m_btnCancel.IsWindowEnabled())
        return;
    CDialog::OnCancel();
}

void CSetupDlg::OnOK()
{
    if (m_bWorkerRunning)
        return;
    if (m_bInstallDone)
        g_bLaunchApp = m_chkLaunch.GetCheck() != 0 ? 1 : 0;
    CDialog::OnOK();
}

void CSetupDlg::OnLButtonDown(UINT nFlags, CPoint point)
{
    // The window has no caption: a press on its surface drags it as a caption would.
    // WM_NCLBUTTONDOWN carries screen coordinates; the move starts from that point.
    POINT pt = point;
    ::ClientToScreen(m_hWnd, &pt);
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(pt.x, pt.y));
    Default();
}

void CSetupDlg::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CSetupDlg::OnQueryDragIcon()
{
    return (HCURSOR)m_hIcon;
}
