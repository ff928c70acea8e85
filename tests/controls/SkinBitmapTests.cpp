#include <gtest/gtest.h>
#include "ControlsTestSupport.h"
#include "ControlsTestRes.h"
#include "controls/SkinBitmap.h"
#include <iterator>
#include <random>
#include <string>

namespace {

const COLORREF kKey = SKIN_KEY_MAGENTA;
const COLORREF kFace = RGB(40, 80, 120);

HRGN RegionOf(const std::vector<RECT>& rects)
{
    HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
    for (const RECT& rc : rects) {
        HRGN hPart = ::CreateRectRgnIndirect(&rc);
        ::CombineRgn(hRgn, hRgn, hPart, RGN_OR);
        ::DeleteObject(hPart);
    }
    return hRgn;
}

void ExpectSameRegion(HRGN actual, HRGN expected)
{
    ASSERT_NE(actual, nullptr);
    EXPECT_TRUE(::EqualRgn(actual, expected));
    EXPECT_EQ(RegionRects(actual), RegionRects(expected));
}

const RECT kWhole = {0, 0, 0, 0};

// The fast builder gives the region that the pixel by pixel one does.
void ExpectBuildersAgree(HBITMAP hBitmap, const RECT* inner = nullptr)
{
    HRGN fast = CreateBitmapRegion(hBitmap, kKey, inner);
    HRGN slow = CreateBitmapRegionByPixel(hBitmap, kKey, inner);
    ExpectSameRegion(fast, slow);
    ::DeleteObject(fast);
    ::DeleteObject(slow);
}

// A bitmap drawn by pattern, the inner rectangle whose rows below its first one are taken
// whole, and the rectangles of the region that both builders of CSkinBitmap must give.
struct RegionCase {
    const char* name;
    int w, h;
    std::function<COLORREF(int, int)> pattern;
    RECT inner;
    std::vector<RECT> expected;
};

const RegionCase kSkinBitmapRegionCases[] = {
    {"AllKeyGivesEmptyRegion", 6, 4, [](int, int) { return kKey; }, kWhole, {}},
    {"NoKeyGivesFullRows", 6, 4, [](int, int) { return kFace; }, kWhole, {{0, 0, 6, 4}}},
    {"KeyPixelSplitsItsRow", 7, 3, [](int x, int y) { return x == 3 && y == 1 ? kKey : kFace; }, kWhole,
     {{0, 0, 7, 1}, {0, 1, 3, 2}, {4, 1, 7, 2}, {0, 2, 7, 3}}},
    {"KeyPixelsAtBothEndsLeaveTheMiddle", 7, 2, [](int x, int y) { return y == 0 && (x == 0 || x == 6) ? kKey : kFace; },
     kWhole, {{1, 0, 6, 1}, {0, 1, 7, 2}}},
    {"NearKeyColourBelongsToTheWindow", 4, 1, [](int x, int) { return x == 1 ? RGB(255, 0, 254) : kFace; }, kWhole,
     {{0, 0, 4, 1}}},
    // All key: only the inner rectangle's rows after its first one are never read.
    {"InnerRectangleStaysWholeBelowItsFirstRow", 10, 8, [](int, int) { return kKey; }, {2, 2, 8, 6}, {{2, 3, 8, 6}}},
    // (5, 4) lies in the body and stays.
    {"InnerScanRemovesKeyPixelsOfTheStripsAndTheFirstRow", 10, 8,
     [](int x, int y) {
         return (x == 0 && y == 0) || (x == 4 && y == 2) || (x == 5 && y == 4) || (x == 9 && y == 7) ? kKey : kFace;
     },
     {2, 2, 8, 6}, {{1, 0, 10, 1}, {0, 1, 10, 2}, {0, 2, 4, 3}, {5, 2, 10, 3}, {0, 3, 10, 7}, {0, 7, 9, 8}}},
    // Strips that overlap take each key pixel away once, not back in again.
    {"ReversedInnerRectangleNeverKeepsKeyPixels", 8, 7, [](int, int) { return kKey; }, {6, 5, 2, 2}, {}},
};

class SkinBitmapRegionRow : public ::testing::TestWithParam<size_t> {};

} // namespace

TEST_P(SkinBitmapRegionRow, BothBuildersGiveTheRegion)
{
    const RegionCase& c = kSkinBitmapRegionCases[GetParam()];
    CSkinBitmap bmp;
    bmp.Attach(MakeBitmap(c.w, c.h, c.pattern));
    HRGN expected = RegionOf(c.expected);
    ExpectSameRegion(bmp.CreateRegionFromBitmap(kKey, &c.inner), expected);
    ExpectSameRegion(bmp.CreateRegionFromBitmapReference(kKey, &c.inner), expected);
    ::DeleteObject(expected);
}

INSTANTIATE_TEST_SUITE_P(, SkinBitmapRegionRow, ::testing::Range<size_t>(0, std::size(kSkinBitmapRegionCases)),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kSkinBitmapRegionCases[info.param].name; });

TEST(SkinBitmapRegion, FastBuilderMatchesReferenceOnRandomBitmaps)
{
    std::mt19937 rng(1234);
    const RECT inners[] = {{0, 0, 0, 0}, {3, 2, 20, 15}, {0, 0, 31, 1}, {10, 10, 10, 10}, {-4, -4, 50, 50}};
    for (int round = 0; round < 13; ++round) {
        int w = 8 + (int)(rng() % 40), h = 4 + (int)(rng() % 30);
        if (round == 12) {
            // Wide enough to be read in several strips, with thousands of runs to merge.
            w = 600;
            h = 70;
        }
        int keyPercent = (int)(rng() % 90) + 5;
        std::vector<COLORREF> colours((size_t)(w * h));
        for (COLORREF& cr : colours)
            cr = (int)(rng() % 100) < keyPercent ? kKey : RGB(rng() % 4 * 80, 0, rng() % 2 ? 255 : 0);
        HBITMAP hBitmap = MakeBitmap(w, h, [&](int x, int y) { return colours[(size_t)(y * w + x)]; });
        for (const RECT& inner : inners) {
            SCOPED_TRACE("round " + std::to_string(round) + " inner " + std::to_string(inner.left));
            ExpectBuildersAgree(hBitmap, &inner);
        }
        ::DeleteObject(hBitmap);
    }
}

TEST(SkinBitmapRegion, FastBuilderMatchesReferenceOnLoadedBitmaps)
{
    std::vector<HBITMAP> bitmaps;
    bitmaps.push_back(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TEST_KEYED)));
    std::wstring art = std::wstring(L"" SETUP_ART_DIR) + L"/bg130.bmp";
    if (HANDLE h = ::LoadImageW(nullptr, art.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE))
        bitmaps.push_back((HBITMAP)h);
    for (HBITMAP hBitmap : bitmaps) {
        ASSERT_NE(hBitmap, nullptr);
        ExpectBuildersAgree(hBitmap);
        ::DeleteObject(hBitmap);
    }
}

TEST(SkinBitmapRegion, DetachedRegionOutlivesTheBitmap)
{
    HRGN hRgn;
    {
        CSkinBitmap bmp;
        bmp.Attach(MakeBitmap(4, 4, [](int, int) { return kFace; }));
        HRGN first = bmp.CreateRegionFromBitmap(kKey, &kWhole);
        ASSERT_NE(first, nullptr);
        hRgn = bmp.CreateRegionFromBitmap(kKey, &kWhole);
        EXPECT_EQ(::GetObjectType(first), 0u) << "the earlier region is replaced";
        EXPECT_EQ(bmp.DetachRegion(), hRgn);
    }
    EXPECT_EQ(::GetObjectType(hRgn), (DWORD)OBJ_REGION);
    ::DeleteObject(hRgn);
}

namespace {

COLORREF Pattern(int x, int y)
{
    return RGB(x * 12, y * 12, 50);
}

} // namespace

TEST(SkinBitmapDrawing, SizeAndOneToOneCopy)
{
    CSkinBitmap empty;
    EXPECT_EQ(empty.GetSize(), CSize(0, 0));

    CSkinBitmap bmp;
    bmp.Attach(MakeBitmap(20, 16, Pattern));
    EXPECT_EQ(bmp.GetSize(), CSize(20, 16));
    CCanvas canvas(30, 30, RGB(1, 2, 3));
    EXPECT_TRUE(bmp.Draw(canvas.GetCDC(), 3, 4));
    EXPECT_EQ(canvas.Pixel(3, 4), Pattern(0, 0));
    EXPECT_EQ(canvas.Pixel(22, 19), Pattern(19, 15));
    EXPECT_EQ(canvas.Pixel(23, 19), RGB(1, 2, 3));
}

TEST(SkinBitmapDrawing, BordersNeedOneMiddlePixel)
{
    const COLORREF untouched = RGB(1, 2, 3);
    struct Case { int bw, bh; RECT dest; BOOL drawn; } cases[] = {
        {20, 16, {0, 0, 10, 20}, FALSE},   // destination exactly 2 * cx wide
        {20, 16, {0, 0, 11, 20}, TRUE},
        {20, 16, {0, 0, 20, 10}, FALSE},   // destination exactly 2 * cy high
        {20, 10, {0, 0, 20, 20}, FALSE},   // bitmap exactly 2 * cy high
        {20, 11, {0, 0, 20, 20}, TRUE},
        {10, 16, {0, 0, 20, 20}, FALSE},   // bitmap exactly 2 * cx wide
    };
    for (const Case& c : cases) {
        CSkinBitmap bmp;
        bmp.Attach(MakeBitmap(c.bw, c.bh, Pattern));
        CCanvas canvas(30, 30, untouched);
        EXPECT_EQ(bmp.DrawWithBorders(canvas.GetCDC(), &c.dest, CSize(5, 5)), c.drawn)
            << c.bw << "x" << c.bh << " into " << c.dest.right << "x" << c.dest.bottom;
        EXPECT_EQ(canvas.Pixel(0, 0) != untouched, c.drawn != FALSE);
    }
}

TEST(SkinBitmapDrawing, BordersAtOwnSizeReproduceTheBitmap)
{
    CSkinBitmap bmp;
    bmp.Attach(MakeBitmap(20, 16, Pattern));
    CCanvas canvas(20, 16);
    RECT dest = {0, 0, 20, 16};
    ASSERT_TRUE(bmp.DrawWithBorders(canvas.GetCDC(), &dest, CSize(5, 5)));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(canvas.Pixel(x, y), Pattern(x, y)) << x << ", " << y;
}

TEST(SkinBitmapDrawing, BordersKeepCornersAndScaleTheMiddle)
{
    CSkinBitmap bmp;
    bmp.Attach(MakeBitmap(20, 16, Pattern));
    CCanvas canvas(70, 60);
    RECT dest = {4, 6, 64, 56};   // 60 x 50
    ASSERT_TRUE(bmp.DrawWithBorders(canvas.GetCDC(), &dest, CSize(5, 4)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(canvas.Pixel(4 + x, 6 + y), Pattern(x, y));
            EXPECT_EQ(canvas.Pixel(59 + x, 52 + y), Pattern(15 + x, 12 + y));
        }
    // The left edge only stretches down: its columns keep the bitmap's own columns.
    EXPECT_EQ(GetRValue(canvas.Pixel(4 + 2, 30)), GetRValue(Pattern(2, 0)));
    EXPECT_EQ(GetGValue(canvas.Pixel(30, 6 + 1)), GetGValue(Pattern(0, 1)));
}

// The skin at higher resolutions: a picture of two flat halves with key-coloured corners,
// scaled by each factor. Flat parts keep their exact colours, the key never bleeds into the
// picture (neither half has any red), and the corners stay outside the region.
TEST(SkinBitmapScaling, SmoothScaleKeepsFlatColoursAndTheKeyOutside)
{
    const COLORREF kLeft = RGB(0, 160, 40), kRight = RGB(0, 40, 200);
    const int w = 40, h = 24;
    auto picture = [&](int x, int y) {
        bool corner = (x < 3 || x >= w - 3) && (y < 3 || y >= h - 3);
        return corner ? kKey : x < w / 2 ? kLeft : kRight;
    };
    HBITMAP hSource = MakeBitmap(w, h, picture);
    for (int dpi : {120, 144, 192}) {
        SCOPED_TRACE(dpi);
        const int cx = ::MulDiv(w, dpi, 96), cy = ::MulDiv(h, dpi, 96);
        CSkinBitmap scaled;
        scaled.Attach(ScaleBitmapSmooth(hSource, cx, cy, kKey));
        ASSERT_EQ(scaled.GetSize(), CSize(cx, cy));
        CCanvas canvas(cx, cy, RGB(1, 2, 3));
        scaled.Draw(canvas.GetCDC(), 0, 0);
        EXPECT_EQ(canvas.Pixel(cx / 4, cy / 2), kLeft);
        EXPECT_EQ(canvas.Pixel(3 * cx / 4, cy / 2), kRight);
        for (int y = 0; y < cy; ++y) {
            for (int x = 0; x < cx; ++x) {
                COLORREF c = canvas.Pixel(x, y);
                if (c != kKey) {
                    ASSERT_EQ(GetRValue(c), 0) << x << "," << y;
                }
            }
        }

        HRGN hRgn = scaled.CreateRegionFromBitmap(kKey, &kWhole);
        for (POINT pt : {POINT{0, 0}, POINT{cx - 1, 0}, POINT{0, cy - 1}, POINT{cx - 1, cy - 1}})
            EXPECT_FALSE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
        for (POINT pt : {POINT{cx / 2, 0}, POINT{0, cy / 2}, POINT{cx / 2, cy / 2}})
            EXPECT_TRUE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    }
    ::DeleteObject(hSource);
}
