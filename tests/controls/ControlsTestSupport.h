// Helpers of the control tests: a parent window that records what its children send it,
// 32-bit canvases to draw into and read back, bitmaps made in code and region rectangles.
#pragma once
#include "framework/Afx.h"
#include "tests/WinePath.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A visible top-level window painted in one colour, recording commands and notifications.
class CTestParent : public CWnd {
public:
    ~CTestParent() override;
    BOOL Create(int width, int height, COLORREF crFill);

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnHandlerException(LPCSTR lpszWhat) override { m_failures.push_back(lpszWhat); }

    std::vector<WPARAM> m_commands;   // wParam of each WM_COMMAND
    std::vector<NMHDR> m_notices;     // copy of each WM_NOTIFY header
    std::vector<std::string> m_failures;   // what each failed handler of its windows let out
    COLORREF m_crFill = RGB(0, 128, 0);

protected:
    LRESULT OnNotifyMsg(WPARAM wParam, LPARAM lParam);
    BOOL OnEraseBkgnd(CDC* pDC);
    void OnPaint();
    DECLARE_MESSAGE_MAP()
};

// Creates a child window of a system class and binds ctrl to it as dialog data exchange does.
HWND CreateBoundChild(CTestParent& parent, CWnd& ctrl, LPCWSTR lpszClass, LPCWSTR lpszText, DWORD dwStyle,
                      int x, int y, int cx, int cy, UINT nID);

// A memory DC with a top-down 32-bit DIB section selected.
class CCanvas {
public:
    CCanvas(int width, int height, COLORREF crFill = RGB(0, 0, 0));
    ~CCanvas();
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    HDC GetDC() const { return m_hDC; }
    CDC* GetCDC() { return &m_cdc; }
    COLORREF Pixel(int x, int y) const;
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // How many pixels have this colour.
    int Count(COLORREF cr) const;
    // Bounding box of the pixels of this colour (empty when none).
    RECT Bounds(COLORREF cr) const;

private:
    int m_width, m_height;
    HDC m_hDC;
    HBITMAP m_hBitmap;
    HGDIOBJ m_hOld;
    DWORD* m_bits = nullptr;
    CDC m_cdc;
};

// Copies a window's client area as the screen shows it into a new canvas.
std::unique_ptr<CCanvas> CaptureClient(HWND hWnd);

// A 32-bit DIB section whose pixel (x, y) is colour(x, y).
HBITMAP MakeBitmap(int width, int height, const std::function<COLORREF(int, int)>& colour);

// The rectangles a region reports (GetRegionData), in its order.
std::vector<RECT> RegionRects(HRGN hRgn);

// Handles the messages waiting for this thread.
void PumpMessages();

bool operator==(const RECT& a, const RECT& b);
#include <ostream>
void PrintTo(const RECT& rc, std::ostream* os);
