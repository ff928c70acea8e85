#include "framework/AfxDialog.h"
#include "framework/AfxApp.h"
#include "framework/AfxDll.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    // From here on every message passes through the object first (its message map),
    // then through the system's dialog procedure.
    pDlg->SubclassWindow(hWnd);
    pDlg->m_currentMsg = MSG{hWnd, message, wParam, lParam, 0, {0, 0}};
    try {
        return pDlg->OnInitDialog();
    } catch (...) {
        AfxReportHandlerException(pDlg);
        return TRUE;
    }
}

INT_PTR CDialog::DoModal()
{
    HWND hWndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    bool parentWasEnabled = false;
    if (hWndParent) {
        parentWasEnabled = !::EnableWindow(hWndParent, FALSE);
    }

    m_bModalRunning = true;
    m_nModalResult = -1;
    // A dialog template may name the common controls' classes.
    AfxInitCommonControls();
    HWND hWnd = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), hWndParent,
                                     &CDialog::DialogProc, (LPARAM)this);
    if (!hWnd) {
        m_bModalRunning = false;
        if (hWndParent && parentWasEnabled)
            ::EnableWindow(hWndParent, TRUE);
        return -1;
    }

    MSG msg;
    while (m_bModalRunning) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT: end the dialog and leave the quit for the outer loop.
            ::PostQuitMessage((int)msg.wParam);
            m_nModalResult = IDCANCEL;
            break;
        }
        if (got == -1)
            break;
        if (PreTranslateInLoop(&msg))
            continue;
        if (m_hWnd && ::IsDialogMessageW(m_hWnd, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_bModalRunning = false;

    if (hWndParent && parentWasEnabled)
        ::EnableWindow(hWndParent, TRUE);
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    return m_nModalResult;
}

BOOL CDialog::PreTranslateInLoop(MSG* pMsg)
{
    // Offer the message to the objects of the window it is for and of its parents, up to
    // the dialog.
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        if (CWnd* p = CWnd::FromHandlePermanent(h)) {
            try {
                if (p->PreTranslateMessage(pMsg))
                    return TRUE;
            } catch (...) {
                // As in the window procedure; the message goes no further.
                AfxReportHandlerException(p);
                return TRUE;
            }
        }
        if (h == m_hWnd)
            break;
    }
    return FALSE;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    if (m_bModalRunning) {
        m_bModalRunning = false;
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the loop
    }
    if (m_hWnd)
        ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (CWnd::OnCommand(wParam, lParam))
        return TRUE;
    // IDOK and IDCANCEL: buttons, Enter and Escape (dialog navigation), and the close
    // command, which the system's dialog procedure turns into IDCANCEL.
    UINT nID = LOWORD(wParam);
    UINT nCode = HIWORD(wParam);
    if (nCode == BN_CLICKED || nCode == 0) {
        if (nID == IDOK) {
            OnOK();
            return TRUE;
        }
        if (nID == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}
