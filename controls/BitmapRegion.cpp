// The window region of a bitmap's non-key pixels: the one-read builder and the per-pixel
// reference it is checked and measured against.
#include "controls/SkinBitmap.h"
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

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

    // The region; the caller owns it. Null when the system has no room for it.
    HRGN Create() const
    {
        if (m_rects.empty())
            return ::CreateRectRgn(0, 0, 0, 0);
        // Small pieces from the rectangles, then pairwise unions: some systems add the
        // rectangles of one RGNDATA block one by one, which grows with the square of their
        // number, while a balanced merge stays near n log n.
        const size_t kPiece = 64;
        std::vector<CRgn> level((m_rects.size() + kPiece - 1) / kPiece);
        for (size_t i = 0; i < level.size(); ++i) {
            const size_t first = i * kPiece;
            if (!level[i].Attach(MakeRegion(first, std::min(first + kPiece, m_rects.size()))))
                return nullptr;
        }
        while (level.size() > 1) {
            std::vector<CRgn> next;
            next.reserve((level.size() + 1) / 2);
            for (size_t i = 0; i < level.size(); i += 2) {
                if (i + 1 < level.size()) {
                    level[i].CombineRgn(level[i], level[i + 1], RGN_OR);
                    level[i + 1].DeleteObject();
                }
                next.push_back(std::move(level[i]));
            }
            level.swap(next);
        }
        return (HRGN)level[0].Detach();
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

} // namespace

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
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    int stripTop = 0, stripCount = 0;
    // The row y of the bitmap, from the strip that holds it.
    auto rowAt = [&](int y) -> const DWORD* {
        if (y >= stripTop + stripCount) {
            stripTop = y;
            stripCount = std::min(stripRows, h - y);
            int got = ::GetDIBits(mem, hBitmap, (UINT)(h - stripTop - stripCount), (UINT)stripCount, strip.data(),
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
        if (!row)
            return nullptr;
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
    return builder.Create();
}

HRGN CreateBitmapRegionByPixel(HBITMAP hBitmap, COLORREF crKey, LPCRECT lpInner)
{
    BITMAP bm{};
    if (!hBitmap || !::GetObjectW(hBitmap, sizeof(bm), &bm))
        return nullptr;
    const int w = bm.bmWidth, h = bm.bmHeight;

    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    CSelectScope select(mem, hBitmap);
    CRgn rgn;
    if (IsWholeScan(lpInner)) {
        // One rectangle per maximal run of non-key pixels in each row.
        rgn.CreateRectRgn(0, 0, 0, 0);
        for (int y = 0; y < h; ++y) {
            int x = 0;
            while (x < w) {
                int start = x;
                while (x < w && mem.GetPixel(x, y) != crKey)
                    ++x;
                if (x > start) {
                    CRgn run;
                    run.CreateRectRgn(start, y, x, y + 1);
                    rgn.CombineRgn(rgn, run, RGN_OR);
                }
                ++x;
            }
        }
    } else {
        // The full rectangle less each key pixel outside the inner rectangle's body. Taking
        // pixels away (rather than toggling them) keeps a key pixel out even when a reversed
        // inner rectangle makes the strips overlap.
        const RECT inner = *lpInner;
        rgn.CreateRectRgn(0, 0, w, h);
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) {
                if (!IsScanned(inner, x, y) || mem.GetPixel(x, y) != crKey)
                    continue;
                CRgn pixel;
                pixel.CreateRectRgn(x, y, x + 1, y + 1);
                rgn.CombineRgn(rgn, pixel, RGN_DIFF);
            }
        }
    }
    return (HRGN)rgn.Detach();
}
