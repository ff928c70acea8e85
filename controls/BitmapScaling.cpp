// Smooth scaling of a bitmap with a bicubic filter, for the skin at resolutions above 96 dpi.
#include "controls/SkinBitmap.h"
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

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
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    int got = ::GetDIBits(mem, hBitmap, 0, (UINT)h, pixels.data(), &bmi, DIB_RGB_COLORS);
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
    CBitmap scaled;
    if (!scaled.Attach(::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0)) || !pBits)
        return nullptr;
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
    return (HBITMAP)scaled.Detach();
}
