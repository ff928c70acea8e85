// The wizard window: the modal, skinned dialog that installs or removes the application.
//   CSetupDlg          the dialog: its states (Ready, Running, Finished, Failed; unattended:
//                      Running alone, then it ends by itself), buttons, texts and its end
//                      after a failed handler (SetupDlg.cpp), its skin steps
//                      (SetupDlgSkin.cpp) and its reactions to the worker's reports: Running,
//                      Finished, Failed and the progress animation (SetupDlgProgress.cpp)
//   SetupThreadParams  the start record of the worker thread (g_threadParams)
//   StartSetupThread   starts the worker that runs the install or uninstall sequence
//   SetupThreadProc    the worker itself (both SetupThread.cpp)
//   WM_SETUP_PROGRESS  the worker's begin and end reports to the dialog
#pragma once
#include "framework/Afx.h"
#include "controls/BmpBtnCtrl.h"
#include "controls/TextLabelCtrl.h"

// Posted by the worker to the dialog: the code in the low 8 bits of wParam; for the end
// codes lParam 1 means the sequence succeeded, anything else that it failed.
constexpr UINT WM_SETUP_PROGRESS = WM_USER + 100;

// lParam of the end codes.
enum SetupEndParam {
    SETUP_END_FAILED = 0,
    SETUP_END_SUCCEEDED = 1,
    SETUP_END_REFUSED = 2,   // a failure: the configuration or package was refused
    // 5 to 7: a failure whose SetupOutcome a deployment tool acts on (SetupStillRunning ...)
};

enum SetupProgressCode {
    SETUP_INSTALL_BEGIN = 1,
    SETUP_INSTALL_END = 2,
    SETUP_INSTALL_FAILED = 3,
    SETUP_UNINSTALL_BEGIN = 4,
    SETUP_UNINSTALL_END = 5,
    SETUP_UNINSTALL_FAILED = 6,
};

// The dialog's timer that animates the progress bar while the worker runs.
constexpr UINT_PTR IDT_PROGRESS = 100;
constexpr UINT PROGRESS_TIMER_MS = 200;

class CSetupDlg : public CDialog {
public:
    // lpszFolder: the setup folder, ending with a backslash. bUninstall chooses the mode for
    // the dialog's whole life.
    CSetupDlg(LPCWSTR lpszFolder, BOOL bUninstall, CWnd* pParent = nullptr);
    ~CSetupDlg() override;

    BOOL OnInitDialog() override;
    // Called when the user presses Finish (or the dialog gets IDOK): records the launch
    // choice of a successful install and ends the dialog with IDOK.
    void OnOK() override;
    // Called when the dialog gets IDCANCEL (Cancel, Escape): ends the dialog with IDCANCEL
    // while the Cancel button is enabled and the worker does not run.
    void OnCancel() override;

    // The text of string id nID from the language library (cut to nChars - 1 units).
    static void LoadText(UINT nID, LPWSTR lpszBuffer, int nChars);
    // As LoadText, with lpszFallback when the library lacks the text (libraries made before it).
    static void LoadTextOr(UINT nID, LPCWSTR lpszFallback, LPWSTR lpszBuffer, int nChars);
    LPCWSTR GetFolder() const { return m_szFolder; }
    // How the wizard's run ended, as the program's exit code: SetupCancelled until the worker
    // has reported its end.
    int GetOutcome() const { return m_nOutcome; }
    // Makes the dialog run unattended, before DoModal: it starts the silent run's sequence at
    // once, shows Running with no button enabled, and ends by itself with the run's outcome.
    void RunUnattended() { m_bUnattended = TRUE; }
    BOOL IsUnattended() const { return m_bUnattended; }

    // Called when a handler of the dialog or of one of its controls lets an exception out:
    // logs it and ends the dialog with SetupFailed, at once, or while the worker runs when its
    // end report arrives.
    void OnHandlerException(LPCSTR lpszWhat) override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    // Skin steps of the initialisation, in this order (SetupDlgSkin.cpp). They draw the skin
    // at the window's resolution m_nDpi: the layout is made for 96 dpi and scales with it.
    void LoadSkinBitmaps();
    void InitTexts();
    void ApplyWindowShape();
    void LayoutControls();
    // The buttons' bitmaps and the background at m_nDpi.
    void LoadButtonBitmaps();
    void ScaleBackground();
    // Places every control at m_nDpi without changing what is shown.
    void PlaceControls();
    // The background as drawn: the scaled copy, else the picture (empty when it is missing).
    const CBitmap& ShownBackground() const;
    // Called when the window moves to a monitor of another resolution (or that resolution
    // changes): takes the suggested place and redraws the skin at the new resolution.
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    // Called when a control asks for the dialog's font: the one for the window's resolution.
    LRESULT OnGetFont(WPARAM wParam, LPARAM lParam);
    // Builds m_szTitle from setup.ini's "AppName" and the mode's suffix, within its buffer.
    void BuildTitle();
    // Keyboard and screen-reader set-up after the skin steps: the close button's name, hidden
    // focus cues, and the focus on the action button.
    void InitKeyboardAccess();
    // Moves the focus to a control as the dialog manager does (the default-button role follows).
    void FocusControl(CWnd& control);
    // Shows or hides the focus cues of every control.
    void ShowFocusCues(BOOL bShow);

    // Called for every message before the dialog manager sees it: a key shows the focus cues.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // Called when the window must be painted: draws the icon when minimised.
    void OnPaint();
    // Called when the user drags the minimised window.
    HCURSOR OnQueryDragIcon();
    // Called when the user presses Install or Remove: starts the worker.
    void OnActionButton();
    // Called at the end of the initialisation of an unattended dialog: disables every button
    // and starts the worker; ends the dialog when no worker could start.
    void StartUnattendedRun();
    // Called when the worker reports its begin or end.
    LRESULT OnSetupProgress(WPARAM wParam, LPARAM lParam);
    // Called on each tick of a timer; the progress timer steps the bar up to 95.
    void OnTimer(UINT_PTR nIDEvent);
    // Called before painting: paints the background picture.
    BOOL OnEraseBkgnd(CDC* pDC);
    // Called when the left button goes down on the dialog's own surface: starts a drag.
    void OnLButtonDown(UINT nFlags, CPoint point);
    // Called when the user presses the small close button.
    void OnCloseButton();
    // Called when the window is asked to close (the close button, the close command, Alt+F4,
    // WM_CLOSE): ends the dialog with IDCANCEL unless the worker runs.
    void OnClose();

    BITMAP m_bmBackground;          // of the background as drawn (at m_nDpi)
    CBitmap m_hBackground;
    CBitmap m_hBackgroundDpi;       // the background smoothly scaled to m_nDpi; empty at 96 dpi
    UINT m_nDpi;                    // the window's resolution
    UINT m_nTemplateDpi;            // the resolution the dialog template was laid out at
    int m_cxLaunchTemplate;         // the check box's width from the template, at m_nTemplateDpi
    CFont m_fontDpi;                // the template's font remade for m_nDpi; empty until it differs
    WCHAR m_szFolder[MAX_PATH];
    WCHAR m_szTitle[MAX_PATH];
    BOOL m_bUninstall;
    BOOL m_bInstallDone;
    // TRUE from the press of the action button until the worker reports its end: the
    // dialog then refuses to end.
    BOOL m_bWorkerRunning;
    // TRUE for a silent run's progress window: it runs at once and ends by itself.
    BOOL m_bUnattended;
    // FALSE until the keyboard is used: the focus cues stay hidden for a mouse user.
    BOOL m_bFocusCues;
    // TRUE once a handler has let an exception out: the dialog ends with SetupFailed.
    BOOL m_bHandlerFailed;
    int m_nOutcome;
    CBmpBtnCtrl m_chkLaunch;
    CBmpBtnCtrl m_btnClose;
    CTextLabelCtrl m_lblTitle;
    CProgressCtrl m_progress;
    CTextLabelCtrl m_lblInfo;
    CBmpBtnCtrl m_btnFinish;
    CBmpBtnCtrl m_btnCancel;
    CTextLabelCtrl m_lblHeading;
    CBmpBtnCtrl m_btnAction;
    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()
};

// The worker's start record; one for the process, copied by the worker as its first step.
struct SetupThreadParams {
    WCHAR szFolder[MAX_PATH];   // the setup folder, ending with a backslash
    HWND hWndNotify;            // receives WM_SETUP_PROGRESS
    BOOL bUninstall;            // TRUE: the uninstall sequence; FALSE: the install sequence
    BOOL bSilent;               // the silent run's sequence (SilentInstall, SilentUninstall)
};

extern SetupThreadParams g_threadParams;

// Fills g_threadParams from the dialog and starts the worker. Returns the thread handle,
// which the caller closes, or null when the thread could not be created.
HANDLE StartSetupThread(CSetupDlg* pDlg, BOOL bUninstall);
// The worker: reads setup.ini, posts the begin code, runs the sequence, posts the end code
// with lParam 1 when the sequence succeeded, else the failure (SetupEndParam).
DWORD WINAPI SetupThreadProc(LPVOID lpParameter);
