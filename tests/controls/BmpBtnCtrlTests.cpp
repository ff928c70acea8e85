#include <gtest/gtest.h>
#include "ControlsTestSupport.h"
#include "ControlsTestRes.h"
#include "controls/BmpBtnCtrl.h"

namespace {

const COLORREF kNormal = RGB(200, 0, 0);
const COLORREF kPressed = RGB(0, 200, 0);
const COLORREF kHover = RGB(0, 0, 200);
const COLORREF kChecked = RGB(200, 200, 0);
const COLORREF kDisabled = RGB(128, 128, 128);
const COLORREF kDisabledChecked = RGB(0, 200, 200);
const COLORREF kCheckFace = RGB(71, 93, 173);
const COLORREF kWhite = RGB(255, 255, 255);

class BmpBtn : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_parent.Create(320, 240, RGB(0, 128, 0))); }

    // A button of the given style bound to btn, with all six test looks.
    void Make(CBmpBtnCtrl& btn, DWORD style, LPCWSTR text, int cx = 40, int cy = 20, UINT id = 1000)
    {
        ASSERT_TRUE(CreateBoundChild(m_parent, btn, L"BUTTON", text, style, 5, 5, cx, cy, id));
        ASSERT_TRUE(btn.LoadBitmaps(IDB_TEST_NORMAL, IDB_TEST_PRESSED, IDB_TEST_HOVER, IDB_TEST_CHECKED,
                                    IDB_TEST_DISABLED, IDB_TEST_DISABLED_CHECKED));
    }

    // Draws the button as the system asks it to, into a canvas of its client size.
    std::unique_ptr<CCanvas> Draw(CBmpBtnCtrl& btn, UINT state)
    {
        RECT rc;
        btn.GetClientRect(&rc);
        auto canvas = std::make_unique<CCanvas>(rc.right, rc.bottom, RGB(1, 2, 3));
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = (UINT)btn.GetDlgCtrlID();
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = state;
        dis.hwndItem = btn.m_hWnd;
        dis.hDC = canvas->GetDC();
        dis.rcItem = rc;
        btn.DrawItem(&dis);
        return canvas;
    }

    static void Hover(CBmpBtnCtrl& btn, bool on) { btn.SendMessage(on ? WM_MOUSEHOVER : WM_MOUSELEAVE); }

    CRect PlaceOf(CBmpBtnCtrl& btn)
    {
        CRect rc;
        btn.GetWindowRect(&rc);
        m_parent.ScreenToClient(&rc);
        return rc;
    }

    CTestParent m_parent;
};

} // namespace

TEST_F(BmpBtn, PushButtonShowsPressedBeforeHover)
{
    CBmpBtnCtrl btn;
    Make(btn, BS_PUSHBUTTON, L"");
    EXPECT_EQ(Draw(btn, 0)->Pixel(20, 10), kNormal);
    EXPECT_EQ(Draw(btn, ODS_SELECTED)->Pixel(20, 10), kPressed);
    EXPECT_EQ(Draw(btn, ODS_DISABLED)->Pixel(20, 10), kDisabled);
    Hover(btn, true);
    EXPECT_EQ(Draw(btn, 0)->Pixel(20, 10), kHover);
    EXPECT_EQ(Draw(btn, ODS_SELECTED)->Pixel(20, 10), kPressed);
    EXPECT_EQ(Draw(btn, ODS_DISABLED | ODS_SELECTED)->Pixel(20, 10), kDisabled);
    Hover(btn, false);
    EXPECT_EQ(Draw(btn, 0)->Pixel(20, 10), kNormal);
}

TEST_F(BmpBtn, CheckBoxShowsCheckedBeforeHoverBeforePressed)
{
    CBmpBtnCtrl chk;
    Make(chk, BS_AUTOCHECKBOX, L"", 100, 24);
    // Bitmap left-aligned and centred down the client; the rest in the check box face.
    auto look = [&](UINT state) { return Draw(chk, state)->Pixel(20, 12); };
    EXPECT_EQ(Draw(chk, 0)->Pixel(90, 1), kCheckFace);
    EXPECT_EQ(Draw(chk, 0)->Pixel(5, 1), kCheckFace);
    EXPECT_EQ(Draw(chk, 0)->Pixel(5, 2), kNormal);
    EXPECT_EQ(look(ODS_SELECTED), kPressed);
    Hover(chk, true);
    EXPECT_EQ(look(ODS_SELECTED), kHover);
    chk.SetCheck(1);
    EXPECT_EQ(look(ODS_SELECTED), kChecked);
    EXPECT_EQ(look(ODS_DISABLED), kDisabledChecked);
    chk.SetCheck(0);
    EXPECT_EQ(look(ODS_DISABLED), kDisabled);
}

TEST_F(BmpBtn, MissingLooksFallBackToNormal)
{
    CBmpBtnCtrl btn;
    ASSERT_TRUE(CreateBoundChild(m_parent, btn, L"BUTTON", L"", BS_PUSHBUTTON, 5, 5, 40, 20, 1000));
    EXPECT_FALSE(btn.LoadBitmaps(IDB_TEST_NORMAL, IDB_TEST_MISSING, IDB_TEST_HOVER));
    EXPECT_EQ(Draw(btn, ODS_SELECTED)->Pixel(20, 10), kNormal);
    EXPECT_EQ(Draw(btn, ODS_DISABLED)->Pixel(20, 10), kNormal);
    Hover(btn, true);
    EXPECT_EQ(Draw(btn, 0)->Pixel(20, 10), kHover) << "loading goes on after a failed look";

    EXPECT_FALSE(btn.LoadBitmaps(IDB_TEST_MISSING, IDB_TEST_PRESSED));
    EXPECT_NE(Draw(btn, ODS_SELECTED)->Pixel(20, 10), kPressed) << "nothing loads without the normal look";
}

TEST_F(BmpBtn, FocusRectangleNeedsTabStopAndHoverLook)
{
    CBmpBtnCtrl btn;
    ASSERT_TRUE(CreateBoundChild(m_parent, btn, L"BUTTON", L"", BS_PUSHBUTTON | WS_TABSTOP, 5, 5, 40, 20, 1000));
    btn.LoadBitmaps(IDB_TEST_NORMAL, IDB_TEST_PRESSED);
    auto marked = [&](UINT state) { return Draw(btn, state)->Count(kNormal) < 40 * 20; };
    EXPECT_FALSE(marked(0));
    EXPECT_TRUE(marked(ODS_FOCUS));
    Hover(btn, true);
    EXPECT_FALSE(marked(ODS_FOCUS)) << "a hover without its own look shows no focus";
    btn.ModifyStyle(WS_TABSTOP, 0);
    Hover(btn, false);
    EXPECT_FALSE(marked(ODS_FOCUS));
}

TEST_F(BmpBtn, PushButtonTextMovesWhenPressedAndGreysWhenDisabled)
{
    CBmpBtnCtrl btn;
    Make(btn, BS_PUSHBUTTON, L"OK");
    RECT up = Draw(btn, 0)->Bounds(kWhite);
    RECT down = Draw(btn, ODS_SELECTED)->Bounds(kWhite);
    ASSERT_FALSE(::IsRectEmpty(&up));
    ::OffsetRect(&up, 1, 1);
    EXPECT_EQ(down, up);

    btn.EnableWindow(FALSE);
    auto canvas = Draw(btn, ODS_DISABLED);
    EXPECT_EQ(canvas->Count(kWhite), 0);
    EXPECT_GT(canvas->Count(::GetSysColor(COLOR_GRAYTEXT)), 0);
}

TEST_F(BmpBtn, OtherSizedClientIsDrawnWithBorders)
{
    CBmpBtnCtrl btn;
    Make(btn, BS_PUSHBUTTON, L"", 90, 30);
    auto canvas = Draw(btn, 0);
    EXPECT_EQ(canvas->Pixel(0, 0), kNormal);
    EXPECT_EQ(canvas->Pixel(89, 29), kNormal);

    CBmpBtnCtrl small;
    Make(small, BS_PUSHBUTTON, L"", 10, 30, 1001);
    EXPECT_EQ(Draw(small, 0)->Pixel(5, 5), RGB(0, 0, 0)) << "a 10-pixel client takes nothing from the bitmap";
}

TEST_F(BmpBtn, ClicksToggleCheckBoxAndSetRadio)
{
    CBmpBtnCtrl chk, radio;
    Make(chk, BS_AUTOCHECKBOX, L"", 100, 24, 1008);
    Make(radio, BS_AUTORADIOBUTTON, L"", 100, 24, 1009);
    chk.SendMessage(BM_CLICK);
    EXPECT_EQ(chk.GetCheck(), 1);
    chk.SendMessage(BM_CLICK);
    EXPECT_EQ(chk.GetCheck(), 0);
    radio.SendMessage(BM_CLICK);
    radio.SendMessage(BM_CLICK);
    EXPECT_EQ(radio.GetCheck(), 1);
    // The parent still hears every click.
    int clicks = 0;
    for (WPARAM w : m_parent.m_commands)
        clicks += HIWORD(w) == BN_CLICKED && (LOWORD(w) == 1008 || LOWORD(w) == 1009);
    EXPECT_EQ(clicks, 4);
}

TEST_F(BmpBtn, SetCheckIsIgnoredWhileDisabled)
{
    CBmpBtnCtrl chk;
    Make(chk, BS_AUTOCHECKBOX, L"", 100, 24);
    chk.EnableWindow(FALSE);
    chk.SetCheck(1);
    EXPECT_EQ(chk.GetCheck(), 0);
    chk.EnableWindow(TRUE);
    chk.SetCheck(1);
    EXPECT_EQ(chk.GetCheck(), 1);
}

TEST_F(BmpBtn, SizeToContentSizesAndPlaces)
{
    CBmpBtnCtrl btn, chk;
    Make(btn, BS_PUSHBUTTON, L"", 80, 30, 1000);
    btn.SizeToContent();
    EXPECT_EQ(PlaceOf(btn), CRect(5, 5, 45, 25));
    btn.SizeToContent(200, 135);
    EXPECT_EQ(PlaceOf(btn), CRect(200, 135, 240, 155));

    Make(chk, BS_AUTOCHECKBOX, L"", 100, 24, 1008);
    chk.SizeToContent(20, 60);
    int w = 40 + (100 - ::GetSystemMetrics(SM_CXMENUCHECK)) + 2;
    EXPECT_EQ(PlaceOf(chk), CRect(20, 60, 20 + w, 60 + 24));
}

TEST_F(BmpBtn, ButtonTypeIsReadOnceAndEveryKindIsOwnerDrawn)
{
    CBmpBtnCtrl chk, radio;
    EXPECT_EQ(chk.GetButtonType(), -1);
    Make(chk, BS_AUTOCHECKBOX, L"");
    EXPECT_EQ(chk.GetButtonType(), BS_AUTOCHECKBOX);
    chk.LoadBitmaps(IDB_TEST_NORMAL);
    EXPECT_EQ(chk.GetButtonType(), BS_AUTOCHECKBOX);
    EXPECT_EQ(chk.GetStyle() & BS_TYPEMASK, (DWORD)BS_OWNERDRAW);

    Make(radio, BS_RADIOBUTTON, L"", 40, 20, 1001);
    EXPECT_EQ(radio.GetButtonType(), BS_RADIOBUTTON);
    EXPECT_EQ(radio.GetStyle() & BS_TYPEMASK, (DWORD)BS_OWNERDRAW);
}

TEST_F(BmpBtn, KeyColourShapesOnlyPlainPushButtons)
{
    CBmpBtnCtrl btn, def;
    ASSERT_TRUE(CreateBoundChild(m_parent, btn, L"BUTTON", L"", BS_PUSHBUTTON, 5, 5, 40, 20, 1000));
    ASSERT_TRUE(CreateBoundChild(m_parent, def, L"BUTTON", L"", BS_DEFPUSHBUTTON, 5, 50, 40, 20, 1001));
    for (CBmpBtnCtrl* b : {&btn, &def}) {
        ASSERT_TRUE(b->LoadBitmaps(IDB_TEST_KEYED));
        b->SetKeyColor(SKIN_KEY_MAGENTA);
        b->SizeToContent();
    }
    HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(btn.m_hWnd, shape), ERROR);
    HBITMAP keyed = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TEST_KEYED));
    HRGN expected = CreateBitmapRegion(keyed, SKIN_KEY_MAGENTA);
    EXPECT_TRUE(::EqualRgn(shape, expected));
    EXPECT_EQ(::GetWindowRgn(def.m_hWnd, shape), ERROR);
    ::DeleteObject(expected);
    ::DeleteObject(keyed);
    ::DeleteObject(shape);
}

TEST_F(BmpBtn, HoverShowsTooltipText)
{
    struct CProbeBtn : CBmpBtnCtrl {
        HWND Tip() const { return m_ToolTip.m_hWnd; }
    } btn;
    Make(btn, BS_PUSHBUTTON, L"");
    btn.SetTooltipText(IDS_TEST_TIP);
    ASSERT_TRUE(btn.CreateTooltip());
    Hover(btn, true);
    WCHAR text[80] = {};
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = btn.m_hWnd;
    ti.uId = 0;
    ti.lpszText = text;
    ::SendMessageW(btn.Tip(), TTM_GETTEXTW, 80, (LPARAM)&ti);
    EXPECT_STREQ(text, L"Starts the installation");
}
