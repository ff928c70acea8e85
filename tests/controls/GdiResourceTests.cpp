#include <gtest/gtest.h>
#include "ControlsTestSupport.h"
#include "ControlsTestRes.h"
#include "controls/BmpBtnCtrl.h"
#include "controls/TextLabelCtrl.h"

namespace {

// Live GDI objects of this process. GetGuiResources where the system keeps the count;
// otherwise (Wine answers 0) the handle table is walked: an object is found by its table
// index alone.
int CountGdiObjects()
{
    DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (n)
        return (int)n;
    int count = 0;
    for (UINT_PTR index = 1; index < 0x10000; ++index)
        count += ::GetObjectType((HGDIOBJ)index) != 0;
    return count;
}

} // namespace

TEST(GdiResources, CountSeesObjectsComeAndGo)
{
    int before = CountGdiObjects();
    HBRUSH brushes[10];
    for (HBRUSH& b : brushes)
        b = ::CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(CountGdiObjects(), before + 10);
    for (HBRUSH b : brushes)
        ::DeleteObject(b);
    EXPECT_EQ(CountGdiObjects(), before);
}

// A DC is deleted by its owner only: CDC deletes the DC it took over; the borrowing form, and a
// handler that the system lends its DC, leave it alone.
TEST(GdiResources, OnlyTheOwnerDeletesADc)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create(40, 30, RGB(0, 128, 0)));
    const struct {
        const char* how;
        void (*hold)(CTestParent&, HDC);
        bool deleted;
    } rows[] = {
        {"CDC::Attach takes it over", [](CTestParent&, HDC h) { CDC dc; dc.Attach(h); }, true},
        {"CDC::Detach gives it away", [](CTestParent&, HDC h) { CDC dc; dc.Attach(h); dc.Detach(); }, false},
        {"CDCHandle borrows it", [](CTestParent&, HDC h) { CDCHandle dc(h); }, false},
        {"WM_ERASEBKGND lends it to the handler", [](CTestParent& p, HDC h) { p.SendMessage(WM_ERASEBKGND, (WPARAM)h); },
         false},
    };
    for (const auto& row : rows) {
        HDC hDC = ::CreateCompatibleDC(nullptr);
        ASSERT_TRUE(hDC);
        row.hold(parent, hDC);
        EXPECT_EQ(::GetObjectType(hDC) == 0, row.deleted) << row.how;
        if (!row.deleted)
            ::DeleteDC(hDC);
    }
}

TEST(GdiResources, ControlsFreeWhatTheyCreate)
{
    CTestParent parent;
    ASSERT_TRUE(parent.Create(320, 240, RGB(0, 128, 0)));
    CBmpBtnCtrl push, chk, radio;
    CTextLabelCtrl label, gradient;
    ASSERT_TRUE(CreateBoundChild(parent, push, L"BUTTON", L"Install", BS_PUSHBUTTON | WS_TABSTOP, 5, 5, 60, 25, 1000));
    ASSERT_TRUE(CreateBoundChild(parent, chk, L"BUTTON", L"Launch", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 40, 120, 24, 1008));
    ASSERT_TRUE(CreateBoundChild(parent, radio, L"BUTTON", L"Option", BS_AUTORADIOBUTTON, 5, 70, 120, 24, 1009));
    ASSERT_TRUE(CreateBoundChild(parent, label, L"STATIC", L"Heading", SS_LEFT, 5, 100, 200, 30, 1001));
    ASSERT_TRUE(CreateBoundChild(parent, gradient, L"STATIC", L"Gradient", SS_CENTER, 5, 140, 200, 30, 1002));

    auto cycle = [&](int i) {
        push.LoadBitmaps(IDB_TEST_NORMAL, IDB_TEST_PRESSED, IDB_TEST_HOVER, 0, IDB_TEST_DISABLED);
        push.SetKeyColor(SKIN_KEY_MAGENTA);
        push.SizeToContent(5, 5);
        chk.LoadBitmaps(IDB_TEST_MARK, IDB_TEST_MARK, IDB_TEST_MARK, IDB_TEST_MARK_CHECKED);
        chk.SizeToContent(5, 40);
        radio.LoadBitmaps(IDB_TEST_MARK, 0, 0, IDB_TEST_MARK_CHECKED);
        for (CBmpBtnCtrl* b : {&push, &chk, &radio}) {
            b->SendMessage(WM_MOUSEHOVER);
            b->UpdateWindow();
            b->SendMessage(WM_MOUSELEAVE);
            b->SendMessage(BM_CLICK);
            ::SetFocus(b->m_hWnd);
            b->UpdateWindow();
        }
        label.SetText(i % 2 ? L"Copying" : L"Done").SetTextColor(RGB(255, 255, 255))
            .SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(9 + i % 3).SetFontBold(i % 2)
            .SetTransparent(TRUE).SetText3D(i % 2, TRUE).SetRotation(i % 2 ? 90 : 0, i % 2);
        label.SendMessage(WM_SYSCOLORCHANGE);
        gradient.SetBkColor(RGB(0, 0, 80), RGB(0, 200, 255), i % 2).SetFlashText(TRUE);
        gradient.SendMessage(WM_TIMER, 1);
        gradient.SendMessage(WM_TIMER, 1);
        gradient.SetFlashText(FALSE);
        parent.Invalidate();
        parent.UpdateWindow();
        PumpMessages();
    };
    cycle(0);
    cycle(1);
    int before = CountGdiObjects();
    for (int i = 0; i < 20; ++i)
        cycle(i);
    EXPECT_EQ(CountGdiObjects(), before);
}
