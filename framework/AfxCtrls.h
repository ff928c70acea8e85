// The standard controls that the program binds to dialog items.
//   CButton        push button, check box, radio button (owner drawing through DrawItem)
//   CStatic        static text
//   CProgressCtrl  progress bar
//   CToolTipCtrl   tooltip window
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/AfxWnd.h"

class CButton : public CWnd {
public:
    // Called for an owner-drawn button when it must be drawn (reflected WM_DRAWITEM).
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    UINT GetState() const { return (UINT)SendMessage(BM_GETSTATE); }
    UINT GetButtonStyle() const { return (UINT)GetStyle() & 0xFF; }
protected:
    DECLARE_MESSAGE_MAP()
};

class CStatic : public CWnd {
protected:
    DECLARE_MESSAGE_MAP()
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short nLower, short nUpper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(nLower, nUpper)); }
    int SetStep(int nStep) { return (int)SendMessage(PBM_SETSTEP, (WPARAM)nStep); }
    int SetPos(int nPos) { return (int)SendMessage(PBM_SETPOS, (WPARAM)nPos); }
    int GetPos() const { return (int)SendMessage(PBM_GETPOS); }
    int StepIt() { return (int)SendMessage(PBM_STEPIT); }
protected:
    DECLARE_MESSAGE_MAP()
};

class CToolTipCtrl : public CWnd {
public:
    // Creates the tooltip window owned by pParentWnd.
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
    // Adds a tool that covers the whole of pWnd, with id nIDTool.
    BOOL AddTool(CWnd* pWnd, LPCWSTR lpszText, UINT_PTR nIDTool = 0);
    void UpdateTipText(LPCWSTR lpszText, CWnd* pWnd, UINT_PTR nIDTool = 0);
    void RelayEvent(LPMSG lpMsg) { SendMessage(TTM_RELAYEVENT, 0, (LPARAM)lpMsg); }
    void Activate(BOOL bActivate) { SendMessage(TTM_ACTIVATE, bActivate); }
protected:
    DECLARE_MESSAGE_MAP()
};
