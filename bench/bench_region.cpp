// Times the window-region builders on a 584 x 411 skin picture: the per-pixel scan
// (GetPixel and CombineRgn per run) against the one-read builder, and checks that both
// give the same region.
//   bench_region [picture.bmp]
// Without a file the picture is drawn here: bands and panels like the wizard's background,
// with key-coloured rounded corners; a second case scatters key pixels through it.
#include "controls/SkinBitmap.h"
#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

namespace {

const int kWidth = 584, kHeight = 411;

double Now()
{
    static LARGE_INTEGER freq = [] { LARGE_INTEGER f; ::QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)freq.QuadPart;
}

// A screen-compatible bitmap like the ones LoadBitmap gives, drawn pixel row by pixel row.
HBITMAP DrawSkin(bool scatterKeys)
{
    HDC hScreen = ::GetDC(nullptr);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, kWidth, kHeight);
    HDC hMem = ::CreateCompatibleDC(hScreen);
    HGDIOBJ hOld = ::SelectObject(hMem, hBitmap);
    auto fill = [&](int l, int t, int r, int b, COLORREF cr) {
        RECT rc = {l, t, r, b};
        HBRUSH hBrush = ::CreateSolidBrush(cr);
        ::FillRect(hMem, &rc, hBrush);
        ::DeleteObject(hBrush);
    };
    fill(0, 0, kWidth, kHeight, RGB(40, 90, 170));
    fill(0, 0, kWidth, 30, RGB(220, 220, 220));
    fill(kWidth - 40, 5, kWidth - 8, 30, RGB(60, 160, 60));
    fill(0, 30, kWidth, 100, RGB(20, 40, 110));
    fill(0, 100, 180, kHeight - 40, RGB(90, 120, 160));
    fill(0, kHeight - 40, kWidth, kHeight, RGB(200, 200, 200));
    // Rounded corners: a few key pixels per row, from the outer edge inwards.
    const int corner[] = {6, 4, 3, 2, 1, 1, 1};
    for (int row = 0; row < 7; ++row)
        for (int i = 0; i < corner[row]; ++i) {
            ::SetPixelV(hMem, i, row, SKIN_KEY_MAGENTA);
            ::SetPixelV(hMem, kWidth - 1 - i, row, SKIN_KEY_MAGENTA);
            ::SetPixelV(hMem, i, kHeight - 1 - row, SKIN_KEY_MAGENTA);
            ::SetPixelV(hMem, kWidth - 1 - i, kHeight - 1 - row, SKIN_KEY_MAGENTA);
        }
    if (scatterKeys) {
        std::mt19937 rng(58);
        for (int n = 0; n < kWidth * kHeight / 50; ++n)
            ::SetPixelV(hMem, (int)(rng() % kWidth), (int)(rng() % kHeight), SKIN_KEY_MAGENTA);
    }
    ::SelectObject(hMem, hOld);
    ::DeleteDC(hMem);
    ::ReleaseDC(nullptr, hScreen);
    return hBitmap;
}

int Measure(const char* name, HBITMAP hBitmap)
{
    BITMAP bm{};
    ::GetObjectW(hBitmap, sizeof(bm), &bm);

    // Best of several runs after a first untimed one: the figures of a warm process,
    // little disturbed by other work on the machine.
    auto best = [](int runs, const std::function<HRGN()>& build, HRGN* kept) {
        double bestTime = 1e9;
        ::DeleteObject(build());
        for (int i = 0; i < runs; ++i) {
            double t0 = Now();
            HRGN hRgn = build();
            bestTime = std::min(bestTime, Now() - t0);
            if (i == runs - 1)
                *kept = hRgn;
            else
                ::DeleteObject(hRgn);
        }
        return bestTime;
    };
    HRGN slow = nullptr, fast = nullptr;
    double perPixel = best(5, [&] { return CreateBitmapRegionByPixel(hBitmap, SKIN_KEY_MAGENTA); }, &slow);
    double oneRead = best(50, [&] { return CreateBitmapRegion(hBitmap, SKIN_KEY_MAGENTA); }, &fast);

    bool same = ::EqualRgn(fast, slow) != FALSE;
    DWORD rects = ::GetRegionData(fast, 0, nullptr) > sizeof(RGNDATAHEADER)
                      ? (::GetRegionData(fast, 0, nullptr) - sizeof(RGNDATAHEADER)) / sizeof(RECT) : 0;
    std::printf("%-22s %dx%d  rects %5lu  per-pixel %9.2f ms  one-read %7.3f ms  ratio %7.1fx  %s\n", name,
                (int)bm.bmWidth, (int)bm.bmHeight, (unsigned long)rects, perPixel * 1000.0, oneRead * 1000.0,
                perPixel / oneRead, same ? "same region" : "REGIONS DIFFER");
    ::DeleteObject(fast);
    ::DeleteObject(slow);
    return same ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int failures = 0;
    if (argc > 1) {
        HBITMAP hBitmap = (HBITMAP)::LoadImageW(nullptr, argv[1], IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
        if (!hBitmap) {
            std::fprintf(stderr, "cannot load %ls\n", argv[1]);
            return 2;
        }
        failures += Measure("picture file", hBitmap);
        ::DeleteObject(hBitmap);
    }
    HBITMAP skin = DrawSkin(false);
    failures += Measure("skin, key corners", skin);
    ::DeleteObject(skin);
    HBITMAP scattered = DrawSkin(true);
    failures += Measure("skin, scattered keys", scattered);
    ::DeleteObject(scattered);
    return failures;
}
