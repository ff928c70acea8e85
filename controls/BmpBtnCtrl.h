// Skinned controls: the bitmap button.
//   CBmpBtnCtrl  an owner-drawn button (push button, check box or radio button, as its
//                dialog item was) drawn from one bitmap per visual state, with hover
//                tracking, its own check state and optional cursor, tooltip and region
#pragma once
#include "controls/SkinBitmap.h"

class CBmpBtnCtrl : public CButton {
public:
    CBmpBtnCtrl() = default;
    ~CBmpBtnCtrl() override;

    // Remembers the button type (first call only), switches the window to owner drawing
    // and loads the state bitmaps (resource ids, 0 = the state has none). FALSE when the
    // normal bitmap (then nothing else is loaded) or any other requested bitmap fails.
    BOOL LoadBitmaps(UINT nIDNormal, UINT nIDPressed = 0, UINT nIDHover = 0, UINT nIDChecked = 0,
                     UINT nIDDisabled = 0, UINT nIDDisabledChecked = 0);

    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    // Sizes the button to its normal bitmap (check boxes and radio buttons keep room for
    // their text) and moves it to (x, y) unless both are 0.
    virtual void SizeToContent(int x = 0, int y = 0);
    virtual int GetCheck() const;
    // Ignored while the window is disabled.
    virtual void SetCheck(int nCheck);
    // The button style the dialog item had before owner drawing (BS_*), -1 before LoadBitmaps.
    virtual int GetButtonType() const;

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // Options the wizard leaves off.
    // Key colour (-1 = none) and inner rectangle of the region a plain push button gets
    // from SizeToContent; call after LoadBitmaps, which resets both.
    void SetKeyColor(COLORREF crKey, LPCRECT lpInner = nullptr);
    // Cursor shown over the button (borrowed; null = the class cursor).
    void SetBtnCursor(HCURSOR hCursor) { m_hCursor = hCursor; }
    // String id (framework resource module) of the tooltip text shown on hover; 0 = none.
    void SetTooltipText(UINT nTipTextId) { m_nTipTextId = nTipTextId; }
    // Creates the tooltip window with one tool covering the button.
    BOOL CreateTooltip();
    // A button whose bitmap says what it does: its window text names it for screen readers
    // and is not drawn.
    void SetTextHidden(BOOL bHidden) { m_bTextHidden = bHidden; }

protected:
    // The bitmap for the button's kind and state (falls back to the normal bitmap).
    CSkinBitmap* PickBitmap(UINT nItemState);
    void DrawPushButton(CDC* pDC, const CRect& rect, UINT nItemState);
    // Fills the face and draws the state bitmap left-aligned and vertically centred;
    // returns where the bitmap went.
    CRect DrawMark(CDC* pDC, const CRect& rect, UINT nItemState);
    void DrawCheckBox(CDC* pDC, const CRect& rect, UINT nItemState);
    void DrawRadioButton(CDC* pDC, const CRect& rect, UINT nItemState);
    COLORREF GetCaptionColor() const;

    // Called when the mouse moves over the button: starts hover and leave tracking.
    void OnMouseMove(UINT nFlags, CPoint point);
    // Called when the cursor must be set over the button.
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    // Called before painting: the buffer covers everything, so nothing is erased.
    BOOL OnEraseBkgnd(CDC* pDC);
    // Called on F1.
    BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    // Called when the mouse leaves the button.
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    // Called when the mouse rests on the button.
    LRESULT OnMouseHover(WPARAM wParam, LPARAM lParam);
    // Called when the left button goes down on the button.
    void OnLButtonDown(UINT nFlags, CPoint point);
    // Called by the dialog manager to learn which keys and roles the button takes: a push
    // button is one, so that Enter presses it while it has the focus.
    LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);
    // Called when the dialog manager moves the default-button role to or from the button:
    // the role is kept, the owner drawing too.
    LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);
    // Called when the focus cues are shown or hidden: keeps the state (the system's own is
    // missing under Wine) and redraws a focused button.
    LRESULT OnUpdateUiState(WPARAM wParam, LPARAM lParam);

    CSkinBitmap m_bmpNormal;
    CSkinBitmap m_bmpPressed;
    CSkinBitmap m_bmpChecked;
    CSkinBitmap m_bmpHover;
    CSkinBitmap m_bmpDisabled;
    CSkinBitmap m_bmpDisabledChecked;
    LONG m_clrKey = -1;            // COLORREF of the region's key, -1 = none
    RECT m_rcInner = {0, 0, 0, 0};
    BOOL m_bHover = FALSE;
    BOOL m_bTracking = FALSE;
    int m_nCheck = 0;
    HCURSOR m_hOldCursor = nullptr;
    HCURSOR m_hCursor = nullptr;
    int m_nButtonType = -1;
    UINT m_nTipTextId = 0;
    CToolTipCtrl m_ToolTip;
    BOOL m_bDefault = FALSE;       // a push button that has the dialog's default-button role
    UINT m_nUiState = 0;           // UISF_* as the window's WM_UPDATEUISTATE messages set them
    BOOL m_bTextHidden = FALSE;

    DECLARE_MESSAGE_MAP()
};
