// Skinned controls: the text label.
//   CTextLabelCtrl   a static control that paints its own text: own font and colours, opaque
//                    (solid or gradient) or transparent background, 3-D and rotated text,
//                    flashing, and click behaviour (open link, mail link, notify parent).
//                    Every setter returns the label, so a configuration chains.
//   NM_LABELCLICKED  the WM_NOTIFY code a label sends its parent when clicked
#pragma once
#include "framework/Afx.h"

constexpr UINT NM_LABELCLICKED = WM_APP + 0x200;

class CTextLabelCtrl : public CStatic {
public:
    CTextLabelCtrl();
    ~CTextLabelCtrl() override;

    // gradient FALSE: a solid background of colour. TRUE: a horizontal gradient from colour
    // at the left to gradientEnd at the right.
    virtual CTextLabelCtrl& SetBkColor(COLORREF colour, COLORREF gradientEnd = 0, BOOL gradient = FALSE);
    virtual CTextLabelCtrl& SetTextColor(COLORREF colour);
    // Sets the window text and, when it changed, raises a name change for screen readers;
    // does nothing while the label has no window.
    virtual CTextLabelCtrl& SetText(const CString& text);
    virtual CTextLabelCtrl& SetFontBold(BOOL bBold);
    // The face is cut to the 31 characters a font record holds.
    virtual CTextLabelCtrl& SetFontName(const CString& face, BYTE charSet = ANSI_CHARSET);
    virtual CTextLabelCtrl& SetFontUnderline(BOOL bUnderline);
    virtual CTextLabelCtrl& SetFontItalic(BOOL bItalic);
    // Size in points, for the screen's resolution.
    virtual CTextLabelCtrl& SetFontSize(int nPoints);
    virtual CTextLabelCtrl& SetStaticEdge(BOOL bSet);
    virtual CTextLabelCtrl& SetBorder(BOOL bSet);
    // TRUE: no background of its own; the parent's painting shows between the letters.
    virtual CTextLabelCtrl& SetTransparent(BOOL bSet);
    // Blinks the text (in the custom background colour) every 500 ms.
    virtual CTextLabelCtrl& SetFlashText(BOOL bFlash);
    virtual CTextLabelCtrl& SetFlashBackground(BOOL bFlash);
    // A click opens the link target (or the text); with notifyParent the parent gets
    // WM_NOTIFY NM_LABELCLICKED instead.
    virtual CTextLabelCtrl& SetLink(BOOL bLink, BOOL bNotifyParent);
    // Cursor shown over the label (borrowed); null switches it off.
    virtual CTextLabelCtrl& SetLinkCursor(HCURSOR hCursor);
    // A second pass of the text in the 3-D colour, one pixel up-left (raised) or
    // down-right (sunken).
    virtual CTextLabelCtrl& SetText3D(BOOL bSet, BOOL bSunken = FALSE);
    // The font's angle in degrees; bRotated draws from the label's centre along it.
    virtual CTextLabelCtrl& SetRotation(int nDegrees, BOOL bRotated);
    virtual CTextLabelCtrl& SetText3DColor(COLORREF colour);
    virtual CTextLabelCtrl& SetLogFont(LOGFONTW lf);
    // A click starts a mail to the label's text; with notifyParent the parent is notified instead.
    virtual CTextLabelCtrl& SetMailLink(BOOL bLink, BOOL bNotifyParent);
    virtual CTextLabelCtrl& SetLinkTarget(const CString& target);

    // The resolution font sizes are made for (0, the start value: the screen's). A size set
    // in points then takes its 96-dpi height scaled to it; any other font height is scaled by
    // the change.
    CTextLabelCtrl& SetDpi(UINT nDpi);

    // Repaints the label at once, then the part of the parent beneath it.
    void RedrawCtrl();
    // Remakes m_font from m_lf.
    void RebuildFont();
    // The DrawText format for the window's style and the text.
    static UINT GetTextFormat(DWORD dwStyle, const CString& text);
    // A horizontal gradient from crStart to crEnd in solid vertical bands (at most nMaxBands).
    static void DrawGradientFill(CDC* pDC, LPCRECT lpRect, COLORREF crStart, COLORREF crEnd, int nMaxBands);

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;

protected:
    void PreSubclassWindow() override;
    // Starts (or restarts) the flash timer in the off phase.
    void StartFlashing(int nMode);
    // Sets the link kind (0 none, 1 open, 2 mail) and the SS_NOTIFY style that clicks need.
    void SetLinkKind(int nKind, BOOL bNotifyParent);

    // Called on each tick of the flash timer: switches the phase and repaints.
    void OnTimer(UINT_PTR nIDEvent);
    // Called on a click: notifies the parent or follows the link.
    void OnLButtonDown(UINT nFlags, CPoint point);
    // Called when the cursor must be set over the label.
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    // Called when the system colours change: renews the default background.
    void OnSysColorChange();
    // Called to paint the label.
    void OnPaint();
    // Draws the background (opaque labels) and the text into pDC over the client area rc.
    void PaintLabel(CDC* pDC, const CRect& rc);
    // Called before painting: the painting covers (or deliberately leaves) the background.
    BOOL OnEraseBkgnd(CDC* pDC);

    COLORREF m_crText;
    COLORREF m_crText3D = RGB(255, 255, 255);
    CBrush m_hDefaultBrush;        // the system's button face
    CBrush m_hBkBrush;             // the solid background; empty for a gradient or none
    LOGFONTW m_lf = {};
    CFont m_font;
    BOOL m_bFlashPhase = FALSE;
    BOOL m_bTimerSet = FALSE;
    int m_nLinkKind = 0;           // 0 none, 1 open link, 2 mail link
    BOOL m_bTransparent = FALSE;
    BOOL m_bText3D = FALSE;
    BOOL m_bNotifyParent = FALSE;
    BOOL m_bRotated = FALSE;
    int m_nFlashMode = 0;          // 0 none, 1 text, 2 background
    HCURSOR m_hLinkCursor = nullptr;
    BOOL m_bText3DSunken = FALSE;
    BOOL m_bGradient = FALSE;
    COLORREF m_crGradientEnd = 0;
    COLORREF m_crBk = 0;
    CString m_strLinkTarget;
    UINT m_nDpi = 0;               // 0: the screen's resolution
    int m_nPoints = 0;             // the size SetFontSize set, 0 after any other height

    DECLARE_MESSAGE_MAP()
};
