#include <gtest/gtest.h>
#include "ControlsTestSupport.h"
#include "controls/TextLabelCtrl.h"
#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace {

const COLORREF kParent = RGB(0, 128, 0);

// Shows the label's state to the tests.
class CProbeLabel : public CTextLabelCtrl {
public:
    const LOGFONTW& Font() const { return m_lf; }
    BOOL FlashPhase() const { return m_bFlashPhase; }
    int FlashMode() const { return m_nFlashMode; }
};

// A label whose WM_APP handler fails: a std::exception for wParam 0, anything else otherwise.
class CFailingLabel : public CTextLabelCtrl {
protected:
    LRESULT OnFail(WPARAM wParam, LPARAM)
    {
        if (wParam)
            throw 42;
        throw std::runtime_error("the label failed");
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CFailingLabel, CTextLabelCtrl)
    ON_MESSAGE(WM_APP, &CFailingLabel::OnFail)
END_MESSAGE_MAP()

class TextLabel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_parent.Create(320, 200, kParent)); }

    void Make(CTextLabelCtrl& label, LPCWSTR text, DWORD style = SS_LEFT, UINT id = 1005)
    {
        ASSERT_TRUE(CreateBoundChild(m_parent, label, L"STATIC", text, style, 10, 10, 240, 50, id));
    }

    // The label as the screen shows it.
    static std::unique_ptr<CCanvas> Shown(CTextLabelCtrl& label)
    {
        label.UpdateWindow();
        return CaptureClient(label.m_hWnd);
    }

    CTestParent m_parent;
};

} // namespace

TEST_F(TextLabel, FontSizeFollowsPointsAtScreenResolution)
{
    HDC hScreen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(hScreen, LOGPIXELSY);
    ::ReleaseDC(nullptr, hScreen);
    if (dpi != 96)
        GTEST_SKIP() << "screen is " << dpi << " dpi";
    CProbeLabel label;
    Make(label, L"Title");
    label.SetFontName(L"Arial", ANSI_CHARSET).SetFontBold(TRUE).SetFontItalic(TRUE);
    const int heights[][2] = {{9, -12}, {10, -13}, {11, -14}};
    for (const auto& h : heights) {
        label.SetFontSize(h[0]);
        EXPECT_EQ(label.Font().lfHeight, h[1]) << h[0] << " points";
        EXPECT_EQ(label.Font().lfWidth, 0);
    }
    // The other properties stay.
    EXPECT_STREQ(label.Font().lfFaceName, L"Arial");
    EXPECT_EQ(label.Font().lfWeight, FW_BOLD);
    EXPECT_EQ(label.Font().lfItalic, 1);
}

TEST_F(TextLabel, LongFaceNameIsCutToTheFontRecord)
{
    CProbeLabel label;
    Make(label, L"Title");
    LOGFONTW before = label.Font();
    label.SetFontName(L"An Exceedingly Long Font Face Name Of Forty Characters", ANSI_CHARSET);
    EXPECT_EQ(wcslen(label.Font().lfFaceName), 31u);
    EXPECT_EQ(wcsncmp(label.Font().lfFaceName, L"An Exceedingly Long Font Face N", 31), 0);
    EXPECT_EQ(label.Font().lfHeight, before.lfHeight);
}

TEST_F(TextLabel, TextFormatFollowsStyleAndText)
{
    struct Case { DWORD style; LPCWSTR text; UINT format; } cases[] = {
        {SS_LEFT | SS_CENTERIMAGE, L"one line", DT_CENTER | DT_VCENTER | DT_SINGLELINE},
        {SS_RIGHT | SS_CENTERIMAGE, L"two\r\nlines", DT_CENTER},
        {SS_LEFT | SS_CENTERIMAGE, L"tab\there", DT_CENTER | DT_VCENTER | DT_SINGLELINE},
        {SS_CENTER, L"text", DT_CENTER | DT_WORDBREAK},
        {SS_RIGHT, L"text", DT_RIGHT | DT_WORDBREAK},
        {SS_LEFTNOWORDWRAP, L"text", DT_LEFT},
        {SS_LEFT, L"text", DT_LEFT | DT_WORDBREAK},
        {SS_SIMPLE, L"text", DT_LEFT | DT_WORDBREAK},
        {SS_LEFT, L"tab\there", DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS},
        {SS_LEFTNOWORDWRAP, L"tab\there", DT_LEFT | DT_EXPANDTABS},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTextLabelCtrl::GetTextFormat(c.style, c.text), c.format) << std::hex << c.style;
}

TEST(TextLabelGradient, BandsOfAWideControl)
{
    CCanvas canvas(584, 4, RGB(9, 9, 9));
    RECT rc = {0, 0, 584, 4};
    CTextLabelCtrl::DrawGradientFill(canvas.GetCDC(), &rc, RGB(0, 0, 0), RGB(255, 255, 255), 100);
    for (int band = 0; band < 99; ++band) {
        int grey = band * (255 * 256 / 100) / 256;
        for (int x = band * 5; x < band * 5 + 5; ++x)
            ASSERT_EQ(canvas.Pixel(x, 0), RGB(grey, grey, grey)) << "band " << band << " x " << x;
    }
    EXPECT_EQ(canvas.Pixel(5, 0), RGB(2, 2, 2));
    EXPECT_EQ(canvas.Pixel(98 * 5, 0), RGB(249, 249, 249));
    for (int x = 495; x < 584; ++x)
        ASSERT_EQ(canvas.Pixel(x, 0), RGB(252, 252, 252)) << x;
    // Every row of the rectangle is filled, the last one too.
    for (int x = 0; x < 584; x += 7)
        ASSERT_EQ(canvas.Pixel(x, 3), canvas.Pixel(x, 0)) << x;
}

TEST(TextLabelGradient, BandsOfANarrowControl)
{
    CCanvas canvas(50, 2, RGB(9, 9, 9));
    RECT rc = {5, 0, 45, 2};
    CTextLabelCtrl::DrawGradientFill(canvas.GetCDC(), &rc, RGB(0, 0, 0), RGB(255, 255, 255), 100);
    for (int band = 0; band < 40; ++band) {
        int grey = band * (255 * 256 / 40) / 256;
        ASSERT_EQ(canvas.Pixel(5 + band, 1), RGB(grey, grey, grey)) << band;
    }
    EXPECT_EQ(canvas.Pixel(44, 0), RGB(248, 248, 248));
    EXPECT_EQ(canvas.Pixel(4, 0), RGB(9, 9, 9));
    EXPECT_EQ(canvas.Pixel(45, 0), RGB(9, 9, 9));
}

TEST_F(TextLabel, TransparentLabelShowsTheParentBetweenTheLetters)
{
    CTextLabelCtrl label;
    Make(label, L"Installation");
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    label.SetTextColor(RGB(255, 0, 0)).SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(20).SetFontBold(TRUE);
    auto opaque = Shown(label);
    EXPECT_GT(opaque->Count(face), 0);
    EXPECT_EQ(opaque->Count(kParent), 0);

    label.SetTransparent(TRUE);
    auto shown = Shown(label);
    int all = shown->Width() * shown->Height();
    int parent = shown->Count(kParent);
    EXPECT_EQ(shown->Count(face), 0);
    EXPECT_GT(parent, all / 2);
    EXPECT_LT(parent, all) << "the text is drawn too";
}

TEST_F(TextLabel, Text3DPassSitsOnePixelOff)
{
    CTextLabelCtrl label;
    Make(label, L"Wizard");
    label.SetBkColor(RGB(0, 0, 128)).SetTextColor(RGB(0, 0, 0)).SetFontName(L"Arial", ANSI_CHARSET).SetFontSize(20);
    label.SetText3D(TRUE, FALSE);
    RECT raised = Shown(label)->Bounds(RGB(255, 255, 255));
    label.SetText3D(TRUE, TRUE);
    RECT sunken = Shown(label)->Bounds(RGB(255, 255, 255));
    ASSERT_FALSE(::IsRectEmpty(&raised));
    ::OffsetRect(&raised, 2, 2);
    EXPECT_EQ(sunken, raised);
}

TEST_F(TextLabel, ClickNotifiesTheParent)
{
    CTextLabelCtrl label;
    Make(label, L"click me", SS_LEFT, 1002);
    label.SetLink(TRUE, TRUE);
    EXPECT_TRUE(label.GetStyle() & SS_NOTIFY);
    label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ASSERT_EQ(m_parent.m_notices.size(), 1u);
    EXPECT_EQ(m_parent.m_notices[0].code, 0x8200u);
    EXPECT_EQ(m_parent.m_notices[0].idFrom, 1002u);
    EXPECT_EQ(m_parent.m_notices[0].hwndFrom, label.m_hWnd);

    label.SetLink(FALSE, FALSE);
    EXPECT_FALSE(label.GetStyle() & SS_NOTIFY);
    label.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(m_parent.m_notices.size(), 1u);
}

// Name changes that a screen reader hears, collected by a hook on this thread.
static std::vector<HWND> g_nameChanges;

static void CALLBACK OnNameChange(HWINEVENTHOOK, DWORD, HWND hWnd, LONG idObject, LONG idChild, DWORD, DWORD)
{
    if (idChild == CHILDID_SELF && idObject == OBJID_CLIENT)
        g_nameChanges.push_back(hWnd);
}

TEST_F(TextLabel, NewTextTellsScreenReaders)
{
    CTextLabelCtrl label;
    Make(label, L"Ready");
    g_nameChanges.clear();
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, &OnNameChange,
                                           ::GetCurrentProcessId(), ::GetCurrentThreadId(), WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    label.SetText(L"Copying files...");
    PumpMessages();
    EXPECT_GE(std::count(g_nameChanges.begin(), g_nameChanges.end(), label.m_hWnd), 1);
    // The same text again is no news.
    g_nameChanges.clear();
    label.SetText(L"Copying files...");
    PumpMessages();
    EXPECT_EQ(std::count(g_nameChanges.begin(), g_nameChanges.end(), label.m_hWnd), 0);
    ::UnhookWinEvent(hook);
}

TEST_F(TextLabel, FlashingTextBlinksOnTimerTicks)
{
    const COLORREF yellow = RGB(255, 255, 0);
    CProbeLabel label;
    Make(label, L"WWWW");
    label.SetBkColor(RGB(0, 0, 255), 0, FALSE).SetTextColor(yellow).SetFontName(L"Arial", ANSI_CHARSET)
        .SetFontSize(20).SetFontBold(TRUE);
    label.SetFlashText(TRUE);
    EXPECT_EQ(label.FlashMode(), 1);
    EXPECT_FALSE(label.FlashPhase());
    EXPECT_GT(Shown(label)->Count(yellow), 0) << "switching on does not repaint";

    label.SendMessage(WM_TIMER, 1);   // 500 ms
    EXPECT_TRUE(label.FlashPhase());
    EXPECT_GT(Shown(label)->Count(yellow), 0);
    label.SendMessage(WM_TIMER, 1);   // 1000 ms
    EXPECT_FALSE(label.FlashPhase());
    EXPECT_EQ(Shown(label)->Count(yellow), 0);

    // Stopping through the background switch keeps the phase it stopped in.
    label.SetFlashBackground(FALSE);
    label.SetText3DColor(RGB(255, 255, 255));
    EXPECT_EQ(Shown(label)->Count(yellow), 0);
    label.SetFlashText(FALSE);
    label.SetText3DColor(RGB(255, 255, 255));
    EXPECT_GT(Shown(label)->Count(yellow), 0);
}

// The window procedure stops what a handler lets out and reports it to the top-level window;
// the label goes on working.
TEST_F(TextLabel, AFailedHandlerIsReportedToTheTopLevelWindow)
{
    CFailingLabel label;
    Make(label, L"Heading");
    const struct {
        WPARAM kind;
        const char* what;
    } rows[] = {{0, "the label failed"}, {1, "an exception of an unknown type"}};
    for (const auto& row : rows) {
        EXPECT_EQ(label.SendMessage(WM_APP, row.kind), 0);
        EXPECT_EQ(m_parent.m_failures.empty() ? "" : m_parent.m_failures.back(), row.what);
    }
    EXPECT_EQ(m_parent.m_failures.size(), 2u);
    label.SetText(L"Still here");
    CString text;
    label.GetWindowText(text);
    EXPECT_STREQ(text, L"Still here");
}

TEST(TextLabelWithoutWindow, SettersChangeNothingVisible)
{
    CTextLabelCtrl label;
    LOGFONTW lf{};
    lf.lfHeight = -12;
    CTextLabelCtrl& same = label.SetText(L"text").SetTextColor(RGB(1, 2, 3)).SetBkColor(RGB(4, 5, 6))
        .SetLogFont(lf).SetFontSize(10).SetTransparent(TRUE).SetLink(TRUE, FALSE).SetStaticEdge(TRUE);
    EXPECT_EQ(&same, &label);
    EXPECT_FALSE(label.IsWindow());
}
