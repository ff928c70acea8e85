#include "controls/SkinBitmap.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Selects a GDI object into a DC for one scope and selects the previous one back.
class CSelectScope {
public:
    CSelectScope(HDC hDC, HGDIOBJ hObject) : m_hDC(hDC), m_hOld(::SelectObject(hDC, hObject)) {}
    ~CSelectScope() { if (m_hOld) ::SelectObject(m_hDC, m_hOld); }
    CSelectScope(const CSelectScope&) = delete;
    CSelectScope& operator=(const CSelectScope&) = delete;
private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};

bool SameRuns(const std::vector<POINT>& a, const std::vector<POINT>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return true;
}

bool IsWholeScan(LPCRECT lpInner)
{
    static const RECT kZero = {0, 0, 0, 0};
    return !lpInner || ::EqualRect(lpInner, &kZero);
}

// Whether the inner-rectangle scan reads pixel (x, y): everything but the inner rectangle's
// rows after its first one.
bool IsScanned(const RECT& inner, int x, int y)
{
    return x < inner.left || x >= inner.right || y <= inner.top || y >= inner.bottom;
}

// Collects the rectangles of a region in the system's own banded form (rows with the same
// runs as the row above are merged into one band), then makes the region in few calls.
class CRegionBuilder {
public:
    // Adds one row's runs [x0, x1), sorted by x0 and not touching.
    void AddRow(int y, const std::vector<POINT>& runs)
    {
        bool sameAsBand = !runs.empty() && y == m_bandBottom && SameRuns(runs, m_bandRuns);
        if (sameAsBand) {
            for (size_t i = m_bandFirst; i < m_rects.size(); ++i)
                m_rects[i].bottom = y + 1;
            m_bandBottom = y + 1;
            return;
        }
        m_bandFirst = m_rects.size();
        m_bandRuns = runs;
        m_bandBottom = runs.empty() ? -1 : y + 1;
        for (const POINT& r : runs)
            m_rects.push_back(RECT{r.x, y, r.y, y + 1});
    }

    HRGN Create() const
    {
        if (m_rects.empty())
            return ::CreateRectRgn(0, 0, 0, 0);
        // Small pieces from the rectangles, then pairwise unions: some systems add the
        // rectangles of one RGNDATA block one by one, which grows with the square of their
        // number, while a balanced merge stays near n log n.
        const size_t kPiece = 64;
        std::vector<HRGN> level;
        for (size_t first = 0; first < m_rects.size(); first += kPiece)
            level.push_back(MakeRegion(first, std::min(first + kPiece, m_rects.size())));
        if (std::find(level.begin(), level.end(), nullptr) != level.end()) {
            for (HRGN hPiece : level)
                if (hPiece)
                    ::DeleteObject(hPiece);
            return nullptr;
        }
        while (level.size() > 1) {
            std::vector<HRGN> next;
            for (size_t i = 0; i < level.size(); i += 2) {
                if (i + 1 < level.size()) {
                    ::CombineRgn(level[i], level[i], level[i + 1], RGN_OR);
                    ::DeleteObject(level[i + 1]);
                }
                next.push_back(level[i]);
            }
            level.swap(next);
        }
        return level[0];
    }

private:
    HRGN MakeRegion(size_t first, size_t last) const
    {
        size_t count = last - first;
        std::vector<BYTE> data(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
        RGNDATA* rgn = reinterpret_cast<RGNDATA*>(data.data());
        rgn->rdh.dwSize = sizeof(RGNDATAHEADER);
        rgn->rdh.iType = RDH_RECTANGLES;
        rgn->rdh.nCount = (DWORD)count;
        rgn->rdh.nRgnSize = (DWORD)(count * sizeof(RECT));
        RECT bounds = m_rects[first];
        for (size_t i = first; i < last; ++i)
            ::UnionRect(&bounds, &bounds, &m_rects[i]);
        rgn->rdh.rcBound = bounds;
        memcpy(rgn->Buffer, &m_rects[first], count * sizeof(RECT));
        return ::ExtCreateRegion(nullptr, (DWORD)data.size(), rgn);
    }

    std::vector<RECT> m_rects;
    std::vector<POINT> m_bandRuns;   // runs of the last band, as (x0, x1)
    size_t m_bandFirst = 0;
    int m_bandBottom = -1;
};

// The description of 32-bit BGRX pixels, w x h, top row first.
BITMAPINFO TopDownInfo(int w, int h)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return bmi;
}

// The 32-bit BGRX pixels of a bitmap, top row first; empty when it cannot be read.
std::vector<DWORD> ReadPixels(HBITMAP hBitmap, int w, int h)
{
    std::vector<DWORD> pixels((size_t)w * (size_t)h);
    BITMAPINFO bmi = TopDownInfo(w, h);
    HDC hMem = ::CreateCompatibleDC(nullptr);
    int got = ::GetDIBits(hMem, hBitmap, 0, (UINT)h, pixels.data(), &bmi, DIB_RGB_COLORS);
    ::DeleteDC(hMem);
    if (got != h)
        pixels.clear();
    return pixels;
}

// Catmull-Rom: sharp, and exact at the source pixels.
float Cubic(float x)
{
    x = std::fabs(x);
    if (x < 1.0f)
        return (1.5f * x - 2.5f) * x * x + 1.0f;
    if (x < 2.0f)
        return ((-0.5f * x + 2.5f) * x - 4.0f) * x + 2.0f;
    return 0.0f;
}

// The source pixels and weights that make each pixel of one axis of the result.
struct CAxisTaps {
    std::vector<int> first;     // per result pixel: index into index/weight
    std::vector<int> count;
    std::vector<int> index;     // source pixel, clamped to the edge
    std::vector<float> weight;  // normalised to a sum of 1

    CAxisTaps(int nSrc, int nDst)
    {
        const float scale = (float)nDst / (float)nSrc;
        // Shrinking widens the filter, so that every source pixel counts.
        const float stretch = scale < 1.0f ? scale : 1.0f;
        const float support = 2.0f / stretch;
        for (int i = 0; i < nDst; ++i) {
            const float centre = ((float)i + 0.5f) / scale - 0.5f;
            const int lo = (int)std::floor(centre - support) + 1;
            const int hi = (int)std::floor(centre + support);
            first.push_back((int)index.size());
            float sum = 0.0f;
            for (int j = lo; j <= hi; ++j) {
                float wj = Cubic(((float)j - centre) * stretch);
                if (wj == 0.0f)
                    continue;
                index.push_back(std::min(std::max(j, 0), nSrc - 1));
                weight.push_back(wj);
                sum += wj;
            }
            count.push_back((int)index.size() - first.back());
            for (int k = first.back(); k < (int)index.size(); ++k)
                weight[k] /= sum;
        }
    }
};

} // namespace

HBITMAP ScaleBitmapSmooth(HBITMAP hBitmap, int cx, int cy, COLORREF crKey)
{
    BITMAP bm{};
    if (!hBitmap || !::GetObjectW(hBitmap, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0 ||
        cx <= 0 || cy <= 0)
        return nullptr;
    const int w = bm.bmWidth, h = bm.bmHeight;
    const std::vector<DWORD> src = ReadPixels(hBitmap, w, h);
    if (src.empty())
        return nullptr;
    const bool hasKey = (crKey & 0xFF000000) == 0;
    const DWORD key = ((DWORD)GetRValue(crKey) << 16) | ((DWORD)GetGValue(crKey) << 8) | GetBValue(crKey);

    // Across, into blue, green, red and coverage rows of the result's width; the colours are
    // weighted by coverage so that key pixels add nothing to them. Only the few source rows
    // that the current result row needs are kept (a ring indexed by source row): a buffer of
    // the whole picture costs more in fresh memory pages than the filtering itself.
    const CAxisTaps across(w, cx), down(h, cy);
    int span = 1;
    for (int y = 0; y < cy; ++y)
        for (int k = down.first[y], end = k + down.count[y]; k < end; ++k)
            span = std::max(span, down.index[k] - down.index[down.first[y]] + 1);
    const int ringRows = span + 1;
    std::vector<float> ring((size_t)ringRows * (size_t)cx * 4);
    std::vector<int> ringSource(ringRows, -1);
    auto acrossRow = [&](int sy) -> const float* {
        float* out = &ring[(size_t)(sy % ringRows) * (size_t)cx * 4];
        if (ringSource[sy % ringRows] == sy)
            return out;
        ringSource[sy % ringRows] = sy;
        const DWORD* row = &src[(size_t)sy * (size_t)w];
        for (int x = 0; x < cx; ++x, out += 4) {
            float b = 0, g = 0, r = 0, a = 0;
            for (int k = across.first[x], end = k + across.count[x]; k < end; ++k) {
                const DWORD p = row[across.index[k]] & 0x00FFFFFF;
                if (hasKey && p == key)
                    continue;
                const float wk = across.weight[k];
                b += wk * (float)(p & 0xFF);
                g += wk * (float)((p >> 8) & 0xFF);
                r += wk * (float)((p >> 16) & 0xFF);
                a += wk;
            }
            out[0] = b, out[1] = g, out[2] = r, out[3] = a;
        }
        return &ring[(size_t)(sy % ringRows) * (size_t)cx * 4];
    };

    const BITMAPINFO bmi = TopDownInfo(cx, cy);
    void* pBits = nullptr;
    HBITMAP hScaled = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (!hScaled || !pBits) {
        if (hScaled)
            ::DeleteObject(hScaled);
        return nullptr;
    }
    auto channel = [](float v) -> DWORD { return v <= 0.0f ? 0 : v >= 255.0f ? 255 : (DWORD)(v + 0.5f); };
    DWORD* dst = static_cast<DWORD*>(pBits);
    // Down, a whole row at a time: the weighted sum of a few source rows.
    std::vector<float> sum((size_t)cx * 4);
    for (int y = 0; y < cy; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int k = down.first[y], end = k + down.count[y]; k < end; ++k) {
            const float* in = acrossRow(down.index[k]);
            const float wk = down.weight[k];
            for (size_t i = 0; i < sum.size(); ++i)
                sum[i] += wk * in[i];
        }
        DWORD* out = &dst[(size_t)y * (size_t)cx];
        for (int x = 0; x < cx; ++x) {
            const float b = sum[4 * x], g = sum[4 * x + 1], r = sum[4 * x + 2], a = sum[4 * x + 3];
            DWORD pixel;
            if (hasKey && a < 0.5f)
                pixel = key;
            else {
                // The colours were weighted by coverage; without a key coverage is 1.
                const float inv = hasKey ? 1.0f / std::min(a, 1.0f) : 1.0f;
                pixel = (channel(r * inv) << 16) | (channel(g * inv) << 8) | channel(b * inv);
                // A blend that happens to equal the key would be cut out of the window.
                if (hasKey && pixel == key)
                    pixel ^= 1;
            }
            out[x] = pixel;
        }
    }
    ::GdiFlush();
    return hScaled;
}

HRGN CreateBitmapRegion(HBITMAP hBitmap, COLORREF crKey, LPCRECT lpInner)
{
    BITMAP bm{};
    if (!hBitmap || !::GetObjectW(hBitmap, sizeof(bm), &bm))
        return nullptr;
    const int w = bm.bmWidth, h = bm.bmHeight;
    if (w <= 0 || h <= 0)
        return ::CreateRectRgn(0, 0, 0, 0);

    // The pixels as 32-bit BGRX rows, the same colours GetPixel reports, read a strip of
    // rows at a time into one small buffer: a buffer of the whole picture costs more in fresh
    // memory pages than the reading itself.
    const int stripRows = std::max(1, 16384 / w);
    std::vector<DWORD> strip((size_t)w * (size_t)stripRows);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = h;   // bottom-up: scan lines count from the bottom row
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    HDC hMem = ::CreateCompatibleDC(nullptr);
    int stripTop = 0, stripCount = 0;
    // The row y of the bitmap, from the strip that holds it.
    auto rowAt = [&](int y) -> const DWORD* {
        if (y >= stripTop + stripCount) {
            stripTop = y;
            stripCount = std::min(stripRows, h - y);
            int got = ::GetDIBits(hMem, hBitmap, (UINT)(h - stripTop - stripCount), (UINT)stripCount, strip.data(),
                                  &bmi, DIB_RGB_COLORS);
            if (got != stripCount)
                return nullptr;
        }
        return &strip[(size_t)(stripTop + stripCount - 1 - y) * (size_t)w];
    };

    // A COLORREF with high bits set (-1, palette references) matches no pixel.
    const bool hasKey = (crKey & 0xFF000000) == 0;
    const DWORD key = ((DWORD)GetRValue(crKey) << 16) | ((DWORD)GetGValue(crKey) << 8) | GetBValue(crKey);
    const bool whole = IsWholeScan(lpInner);
    const RECT inner = whole ? RECT{0, 0, 0, 0} : *lpInner;

    CRegionBuilder builder;
    std::vector<POINT> runs;
    for (int y = 0; y < h; ++y) {
        runs.clear();
        const DWORD* row = rowAt(y);
        if (!row) {
            ::DeleteDC(hMem);
            return nullptr;
        }
        int x = 0;
        while (x < w) {
            int start = x;
            while (x < w && !(hasKey && (row[x] & 0x00FFFFFF) == key && (whole || IsScanned(inner, x, y))))
                ++x;
            if (x > start)
                runs.push_back(POINT{start, x});
            ++x;
        }
        builder.AddRow(y, runs);
    }
    ::DeleteDC(hMem);
    return builder.Create();
}

HRGN CreateBitmapRegionByPixel(HBITMAP hBitmap, COLORREF crKey, LPCRECT lpInner)
{
    BITMAP bm{};
    if (!hBitmap || !::GetObjectW(hBitmap, sizeof(bm), &bm))
        return nullptr;
    const int w = bm.bmWidth, h = bm.bmHeight;

    HDC hMem = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
    HRGN hRgn;
    if (IsWholeScan(lpInner)) {
        // One rectangle per maximal run of non-key pixels in each row.
        hRgn = ::CreateRectRgn(0, 0, 0, 0);
        for (int y = 0; y < h; ++y) {
            int x = 0;
            while (x < w) {
                int start = x;
                while (x < w && ::GetPixel(hMem, x, y) != crKey)
                    ++x;
                if (x > start) {
                    HRGN hRun = ::CreateRectRgn(start, y, x, y + 1);
                    ::CombineRgn(hRgn, hRgn, hRun, RGN_OR);
                    ::DeleteObject(hRun);
                }
                ++x;
            }
        }
    } else {
        // The full rectangle less each key pixel outside the inner rectangle's body. Taking
        // pixels away (rather than toggling them) keeps a key pixel out even when a reversed
        // inner rectangle makes the strips overlap.
        const RECT inner = *lpInner;
        hRgn = ::CreateRectRgn(0, 0, w, h);
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) {
                if (!IsScanned(inner, x, y) || ::GetPixel(hMem, x, y) != crKey)
                    continue;
                HRGN hPixel = ::CreateRectRgn(x, y, x + 1, y + 1);
                ::CombineRgn(hRgn, hRgn, hPixel, RGN_DIFF);
                ::DeleteObject(hPixel);
            }
        }
    }
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    return hRgn;
}

CSkinBitmap::CSkinBitmap(LPCWSTR lpszResourceName)
{
    LoadBitmap(lpszResourceName);
}

CSkinBitmap::CSkinBitmap(UINT nIDResource)
{
    LoadBitmap(nIDResource);
}

BOOL CSkinBitmap::LoadScaledBitmap(UINT nIDResource, UINT nDpi)
{
    DeleteObject();
    if (!LoadBitmap(nIDResource))
        return FALSE;
    if (nDpi == AFX_DEFAULT_DPI)
        return TRUE;
    const CSize size = GetSize();
    HBITMAP hScaled = ScaleBitmapSmooth((HBITMAP)m_hObject, AfxScaleForDpi(size.cx, nDpi),
                                        AfxScaleForDpi(size.cy, nDpi));
    // Without memory for the copy the button keeps the 1x look rather than none.
    if (hScaled) {
        DeleteObject();
        Attach(hScaled);
    }
    return TRUE;
}

CSkinBitmap::~CSkinBitmap()
{
    m_rgn.DeleteObject();
    DeleteObject();
}

CSize CSkinBitmap::GetSize() const
{
    BITMAP bm{};
    if (!m_hObject || !GetBitmap(&bm))
        return CSize(0, 0);
    return CSize(bm.bmWidth, bm.bmHeight);
}

BOOL CSkinBitmap::Draw(CDC* pDC, int x, int y)
{
    CSize size = GetSize();
    CDC mem;
    if (!mem.CreateCompatibleDC(pDC))
        return FALSE;
    CSelectScope select(mem, m_hObject);
    return pDC->BitBlt(x, y, size.cx, size.cy, &mem, 0, 0, SRCCOPY);
}

BOOL CSkinBitmap::StretchDraw(CDC* pDC, LPCRECT lpDest)
{
    CSize size = GetSize();
    CDC mem;
    if (mem.CreateCompatibleDC(pDC)) {
        CSelectScope select(mem, m_hObject);
        pDC->StretchBlt(lpDest->left, lpDest->top, lpDest->right - lpDest->left, lpDest->bottom - lpDest->top,
                        &mem, 0, 0, size.cx, size.cy, SRCCOPY);
    }
    return TRUE;
}

BOOL CSkinBitmap::DrawWithBorders(CDC* pDC, LPCRECT lpDest, CSize border)
{
    const int W = lpDest->right - lpDest->left, H = lpDest->bottom - lpDest->top;
    const CSize bmp = GetSize();
    const int cx = border.cx, cy = border.cy;
    if (W <= 2 * cx || H <= 2 * cy || bmp.cx <= 2 * cx || bmp.cy <= 2 * cy)
        return FALSE;

    CDC a, s;
    a.CreateCompatibleDC(pDC);
    s.CreateCompatibleDC(pDC);
    CBitmap t1, t2;
    t1.CreateCompatibleBitmap(pDC, W, bmp.cy);
    t2.CreateCompatibleBitmap(pDC, W, H);

    HGDIOBJ hOldA = a.SelectObject(&t1);
    HGDIOBJ hOldS = s.SelectObject(m_hObject);
    // Across: left border, stretched middle, right border, into T1 (W x bitmap height).
    a.BitBlt(0, 0, cx, bmp.cy, &s, 0, 0, SRCCOPY);
    a.StretchBlt(cx, 0, W - 2 * cx, bmp.cy, &s, cx, 0, bmp.cx - 2 * cx, bmp.cy, SRCCOPY);
    a.BitBlt(W - cx, 0, cx, bmp.cy, &s, bmp.cx - cx, 0, SRCCOPY);

    a.SelectObject(&t2);
    s.SelectObject(&t1);
    // Down: top border, stretched middle, bottom border, from T1 into T2 (W x H).
    a.BitBlt(0, 0, W, cy, &s, 0, 0, SRCCOPY);
    a.StretchBlt(0, cy, W, H - 2 * cy, &s, 0, cy, W, bmp.cy - 2 * cy, SRCCOPY);
    a.BitBlt(0, H - cy, W, cy, &s, 0, bmp.cy - cy, SRCCOPY);

    pDC->BitBlt(lpDest->left, lpDest->top, W, H, &a, 0, 0, SRCCOPY);

    s.SelectObject(hOldS);
    a.SelectObject(hOldA);
    return TRUE;
}

HRGN CSkinBitmap::CreateRegionFromBitmap(COLORREF crKey, LPCRECT lpInner)
{
    m_rgn.Attach(CreateBitmapRegion((HBITMAP)m_hObject, crKey, lpInner));
    return (HRGN)m_rgn.GetSafeHandle();
}

HRGN CSkinBitmap::CreateRegionFromBitmapReference(COLORREF crKey, LPCRECT lpInner)
{
    m_rgn.Attach(CreateBitmapRegionByPixel((HBITMAP)m_hObject, crKey, lpInner));
    return (HRGN)m_rgn.GetSafeHandle();
}
