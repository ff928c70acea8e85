#include "ControlsTestSupport.h"

BEGIN_MESSAGE_MAP(CTestParent, CWnd)
    ON_MESSAGE(WM_NOTIFY, &CTestParent::OnNotifyMsg)
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
END_MESSAGE_MAP()

CTestParent::~CTestParent()
{
    if (IsWindow())
        DestroyWindow();
}

BOOL CTestParent::Create(int width, int height, COLORREF crFill)
{
    m_crFill = crFill;
    RECT rc = {0, 0, width, height};
    ::AdjustWindowRectEx(&rc, WS_POPUP | WS_VISIBLE, FALSE, 0);
    if (!CreateEx(WS_EX_TOPMOST, nullptr, L"control test", WS_POPUP | WS_VISIBLE, 10, 10,
                  rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr))
        return FALSE;
    UpdateWindow();
    return TRUE;
}

BOOL CTestParent::OnCommand(WPARAM wParam, LPARAM lParam)
{
    m_commands.push_back(wParam);
    return CWnd::OnCommand(wParam, lParam);
}

LRESULT CTestParent::OnNotifyMsg(WPARAM wParam, LPARAM lParam)
{
    m_notices.push_back(*(const NMHDR*)lParam);
    return 0;
}

BOOL CTestParent::OnEraseBkgnd(CDC* pDC)
{
    RECT rc;
    GetClientRect(&rc);
    pDC->FillSolidRect(&rc, m_crFill);
    return TRUE;
}

void CTestParent::OnPaint()
{
    CPaintDC dc(this);
}

HWND CreateBoundChild(CTestParent& parent, CWnd& ctrl, LPCWSTR lpszClass, LPCWSTR lpszText, DWORD dwStyle,
                      int x, int y, int cx, int cy, UINT nID)
{
    HWND hWnd = ::CreateWindowExW(0, lpszClass, lpszText, WS_CHILD | WS_VISIBLE | dwStyle, x, y, cx, cy,
                                  parent.m_hWnd, (HMENU)(UINT_PTR)nID, ::GetModuleHandleW(nullptr), nullptr);
    if (hWnd)
        ctrl.SubclassWindow(hWnd);
    return hWnd;
}

CCanvas::CCanvas(int width, int height, COLORREF crFill) : m_width(width), m_height(height)
{
    BITMAPINFO bmi = TopDownDib(width, height);
    m_hDC = ::CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    m_hBitmap = ::CreateDIBSection(m_hDC, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = (DWORD*)bits;
    m_hOld = ::SelectObject(m_hDC, m_hBitmap);
    m_cdc.Attach(m_hDC);
    RECT rc = {0, 0, width, height};
    m_cdc.FillSolidRect(&rc, crFill);
}

CCanvas::~CCanvas()
{
    m_cdc.Detach();
    ::SelectObject(m_hDC, m_hOld);
    ::DeleteObject(m_hBitmap);
    ::DeleteDC(m_hDC);
}

COLORREF CCanvas::Pixel(int x, int y) const
{
    ::GdiFlush();
    DWORD p = m_bits[(size_t)y * (size_t)m_width + (size_t)x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int CCanvas::Count(COLORREF cr) const
{
    int n = 0;
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x)
            n += Pixel(x, y) == cr;
    return n;
}

RECT CCanvas::Bounds(COLORREF cr) const
{
    RECT rc = {m_width, m_height, 0, 0};
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x)
            if (Pixel(x, y) == cr)
                rc = {std::min<LONG>(rc.left, x), std::min<LONG>(rc.top, y), std::max<LONG>(rc.right, x + 1),
                      std::max<LONG>(rc.bottom, y + 1)};
    return rc.right ? rc : RECT{0, 0, 0, 0};
}

std::unique_ptr<CCanvas> CaptureClient(HWND hWnd)
{
    RECT rc;
    ::GetClientRect(hWnd, &rc);
    auto canvas = std::make_unique<CCanvas>(rc.right, rc.bottom);
    HDC hDC = ::GetDC(hWnd);
    ::BitBlt(canvas->GetDC(), 0, 0, rc.right, rc.bottom, hDC, 0, 0, SRCCOPY);
    ::ReleaseDC(hWnd, hDC);
    return canvas;
}

HBITMAP MakeBitmap(int width, int height, const std::function<COLORREF(int, int)>& colour)
{
    BITMAPINFO bmi = TopDownDib(width, height);
    void* bits = nullptr;
    HBITMAP hBitmap = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    DWORD* p = (DWORD*)bits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            COLORREF cr = colour(x, y);
            p[(size_t)y * (size_t)width + (size_t)x] = ((DWORD)GetRValue(cr) << 16) | ((DWORD)GetGValue(cr) << 8) | GetBValue(cr);
        }
    return hBitmap;
}

std::vector<RECT> RegionRects(HRGN hRgn)
{
    DWORD size = ::GetRegionData(hRgn, 0, nullptr);
    std::vector<BYTE> data(size);
    ::GetRegionData(hRgn, size, (RGNDATA*)data.data());
    const RGNDATA* rgn = (const RGNDATA*)data.data();
    const RECT* rects = (const RECT*)rgn->Buffer;
    return std::vector<RECT>(rects, rects + rgn->rdh.nCount);
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool operator==(const RECT& a, const RECT& b)
{
    return ::EqualRect(&a, &b) != FALSE;
}

void PrintTo(const RECT& rc, std::ostream* os)
{
    *os << "(" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << ")";
}
