// CDialog: a modal dialog built from a dialog template of the program's resources.
// DoModal runs its own message loop, so that PreTranslateMessage of the dialog and of its
// controls sees every message before dialog navigation does.
#pragma once
#include "framework/AfxWnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Creates the dialog, runs it until EndDialog and returns the result (-1 when the
    // template could not be created).
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    // Called once the dialog and its controls exist; binds the controls (DoDataExchange).
    virtual BOOL OnInitDialog();
    // Called when the user presses the button with id IDOK.
    virtual void OnOK();
    // Called when the user presses IDCANCEL, presses Escape or closes the window.
    virtual void OnCancel();

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    DECLARE_MESSAGE_MAP()
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL PreTranslateInLoop(MSG* pMsg);
    bool m_bModalRunning = false;
    int m_nModalResult = -1;
};
