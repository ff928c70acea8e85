// The wizard of the real setup program, driven from outside through Win32 as a user would.
// The cases share one Wine prefix and run in file order: the install and uninstall runs
// build on each other.
#include <gtest/gtest.h>
#include "tests/wizard/WizardDriver.h"
#include "app/SetupFlags.h"
#include "engine/SetupEngine.h"
#include "controls/TextLabelCtrl.h"
#include "framework/AfxDpi.h"
#include "lang/Languages.h"
#include "res/resource.h"
#include <commctrl.h>
#include <shlobj.h>
#include <cstdlib>
#include <vector>

namespace {

const wchar_t kInstallSuffix[] = L" - Installation Wizard";
const wchar_t kUninstallSuffix[] = L" - Uninstallation Wizard";
const wchar_t kAppName[] = L"Varelon VRX58Q RAID Manager";
const wchar_t kTurboAppName[] = L"Varelon TurboVolume RAID Manager";
const DWORD kExitMs = 15000;
const DWORD kRunMs = 90000;
// How long a change of the wizard's look may take to reach the screen.
const DWORD kPaintMs = 10000;

// The language the wizard is expected to speak: SETUP_EXPECT_LANG, else English.
std::wstring ExpectedLang()
{
    wchar_t buf[8] = {};
    if (::GetEnvironmentVariableW(L"SETUP_EXPECT_LANG", buf, 8) && buf[0])
        return buf;
    return L"ENU";
}

std::wstring Txt(const TestPackage& pkg, UINT nID)
{
    return LoadPackageText(pkg.folder, ExpectedLang().c_str(), nID);
}

std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += (c < 128) ? (char)c : '?';
    return out;
}

// The settings the engine uses for this package, with the flags setup.exe itself derives.
SetupConfig ConfigFor(const TestPackage& pkg, BOOL bTitleBitmap = FALSE)
{
    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();
    wchar_t lang[8] = {};
    g_bGermanUi = ::GetEnvironmentVariableW(L"SETUP_EXPECT_LANG", lang, 8) && wcscmp(lang, L"DEU") == 0;
    SetupConfig config{};
    ReadSetupConfig(pkg.folder.c_str(), &config, bTitleBitmap);
    return config;
}

std::wstring UninstallKey(const SetupConfig& config)
{
    std::wstring prefix = IsWow64() ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                                    : L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    return prefix + L"Uninstall\\" + config.AppFolderName;
}

BOOL KeyExists(const std::wstring& key)
{
    HKEY h;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return FALSE;
    ::RegCloseKey(h);
    return TRUE;
}

std::wstring SpecialFolder(int csidl)
{
    wchar_t buf[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE);
    return buf;
}

int CountStarts(const std::string& journal, const char* program)
{
    int n = 0;
    std::string needle = std::string("\t") + program + "\t";
    for (size_t pos = journal.find(needle); pos != std::string::npos; pos = journal.find(needle, pos + 1)) {
        size_t eol = journal.find('\n', pos);
        std::string line = journal.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
        if (line.find("\tstart\t") != std::string::npos)
            ++n;
    }
    return n;
}

// Closes the application's window and waits for its process to end.
void CloseRunningApplication(const wchar_t* appName)
{
    for (int i = 0; i < 50; ++i) {
        HWND h = ::FindWindowW(nullptr, appName);
        if (!h)
            return;
        DWORD pid = 0;
        ::GetWindowThreadProcessId(h, &pid);
        HANDLE hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
        ::PostMessageW(h, WM_CLOSE, 0, 0);
        if (hProcess) {
            ::WaitForSingleObject(hProcess, 10000);
            ::CloseHandle(hProcess);
        } else {
            ::Sleep(100);
        }
    }
}

void ExpectRect(const WizardProcess& w, int id, int x, int y, int cx, int cy)
{
    RECT rc = w.ItemRect(id);
    EXPECT_EQ(rc.left, x) << "control " << id;
    EXPECT_EQ(rc.top, y) << "control " << id;
    EXPECT_EQ(rc.right - rc.left, cx) << "control " << id;
    EXPECT_EQ(rc.bottom - rc.top, cy) << "control " << id;
}

// No control of the wizard shows the restart texts, which it never offers.
void ExpectNoRestartTexts(const WizardProcess& w, const TestPackage& pkg)
{
    const std::wstring restartNow = Txt(pkg, IDS_RESTART_NOW);
    const std::wstring restartLater = Txt(pkg, IDS_RESTART_LATER);
    for (int id : {IDOK, IDCANCEL, IDC_ACTION, IDC_HEADING, IDC_INFO, IDC_TITLE, IDC_LAUNCH}) {
        EXPECT_NE(w.Text(id), restartNow) << "control " << id;
        EXPECT_NE(w.Text(id), restartLater) << "control " << id;
    }
}

// The check box's mark on screen is the checked (143) or unchecked (142) picture.
bool CheckMarkShows(const WizardProcess& w, bool bChecked)
{
    RECT rc = w.ItemRect(IDC_LAUNCH);
    POINT pt = {rc.left, rc.top + (rc.bottom - rc.top) / 2 - 12};
    ::ClientToScreen(w.Wnd(), &pt);
    std::wstring art = WinePath(SETUP_BINARY_DIR) + (bChecked ? L"\\art\\chk143.bmp" : L"\\art\\chk142.bmp");
    return ScreenDifferenceFromBitmap(pt.x, pt.y, art) < 8.0;
}

// Every visible control has a name for screen readers: its text; the close button's is text
// 21. The progress bar has none (it shows no text of its own).
void ExpectAccessibleNames(const WizardProcess& w, const TestPackage& pkg)
{
    for (int id : {IDC_TITLE, IDC_HEADING, IDC_INFO, IDC_LAUNCH, IDC_ACTION, IDOK, IDCANCEL, IDC_CLOSE}) {
        if (!w.Visible(id))
            continue;
        const std::wstring expected = id == IDC_CLOSE ? Txt(pkg, IDS_CLOSE) : w.Text(id);
        EXPECT_NE(expected, L"") << "control " << id;
        EXPECT_EQ(w.AccessibleName(id), expected) << "control " << id;
    }
    if (w.Visible(IDC_PROGRESS)) {
        EXPECT_EQ(w.AccessibleName(IDC_PROGRESS), L"");
    }
}

bool HasFocus(const WizardProcess& w, int id)
{
    return w.WaitFor([&] { return w.Focus() == w.Item(id); }, 2000);
}

bool IsRunning(const WizardProcess& w)
{
    return w.Visible(IDC_PROGRESS) && !w.Visible(IDOK);
}

bool IsEnded(const WizardProcess& w)
{
    return w.Visible(IDOK);
}

// The user clears the launch box of the Finish page and presses Finish: the wizard ends with 0.
void FinishWithoutLaunch(WizardProcess& w)
{
    w.ClickItem(IDC_LAUNCH);
    EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, false); }, kPaintMs));
    w.ClickItem(IDOK);
    DWORD code = 1;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(0u, code);
}

class WizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::CreateDirectoryW(L"C:\\wizard-tests", nullptr);
        ::SetEnvironmentVariableW(L"SETUP_TOOLS_JOURNAL", L"C:\\wizard-tests\\tools.log");
        SeeRealPixels();
        RemoveEarlierInstall();
    }

    // The prefix may hold an install of an earlier run: every case starts without one.
    static void RemoveEarlierInstall()
    {
        TestPackage pkg(L"cleanup");
        const SetupConfig config = ConfigFor(pkg);
        CloseRunningApplication(config.AppName);
        DeleteTree(config.InstallDir);
        std::wstring key = UninstallKey(config);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
        ::DeleteFileW((SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + config.AppName + L".lnk").c_str());
        DeleteTree(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + config.AppName);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Ready state

TEST_F(WizardTest, InstallModeOpensReadyWithItsTextsShapeAndLayout)
{
    TestPackage pkg(L"ready-install");
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));

    const std::wstring title = std::wstring(kAppName) + kInstallSuffix;
    EXPECT_EQ(w.Title(), title);
    EXPECT_EQ(w.Text(IDC_TITLE), title);
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_READY));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_INSTALL_READY_INFO));
    EXPECT_EQ(w.Text(IDC_ACTION), Txt(pkg, IDS_INSTALL));
    EXPECT_EQ(w.Text(IDOK), Txt(pkg, IDS_FINISH));
    EXPECT_EQ(w.Text(IDCANCEL), Txt(pkg, IDS_CANCEL));
    EXPECT_EQ(w.Text(IDC_LAUNCH), Txt(pkg, IDS_LAUNCH_APP));
    ExpectNoRestartTexts(w, pkg);

    // The picture's size, centred on the 1024 x 768 screen.
    RECT rc;
    ::GetWindowRect(w.Wnd(), &rc);
    EXPECT_EQ(rc.left, 220);
    EXPECT_EQ(rc.top, 179);
    EXPECT_EQ(rc.right - rc.left, 584);
    EXPECT_EQ(rc.bottom - rc.top, 411);

    // Curved corners: the magenta corner pixels are outside, everything else inside.
    HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(w.Wnd(), hRgn), ERROR);
    for (POINT pt : {POINT{0, 0}, POINT{5, 0}, POINT{583, 0}, POINT{0, 410}, POINT{583, 410}, POINT{0, 3}}) {
        EXPECT_FALSE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    }
    for (POINT pt : {POINT{6, 0}, POINT{577, 0}, POINT{0, 8}, POINT{292, 205}, POINT{583, 200}, POINT{292, 410}}) {
        EXPECT_TRUE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    }
    ::DeleteObject(hRgn);

    ExpectRect(w, IDC_TITLE, 14, 7, 524, 15);
    ExpectRect(w, IDC_HEADING, 35, 55, 514, 35);
    ExpectRect(w, IDC_INFO, 200, 170, 354, 60);
    ExpectRect(w, IDC_CLOSE, 552, 11, 20, 17);
    ExpectRect(w, IDC_ACTION, 312, 380, 111, 22);
    ExpectRect(w, IDOK, 312, 380, 111, 22);
    ExpectRect(w, IDCANCEL, 451, 380, 111, 22);
    ExpectRect(w, IDC_PROGRESS, 205, 235, 339, 30);
    RECT chk = w.ItemRect(IDC_LAUNCH);
    EXPECT_EQ(chk.left, 200);
    EXPECT_EQ(chk.top, 235);
    EXPECT_EQ(chk.bottom - chk.top, 24 + 4);

    EXPECT_TRUE(w.Visible(IDC_ACTION) && w.Enabled(IDC_ACTION));
    EXPECT_TRUE(w.Visible(IDCANCEL) && w.Enabled(IDCANCEL));
    EXPECT_TRUE(w.Visible(IDC_CLOSE) && w.Enabled(IDC_CLOSE));
    EXPECT_FALSE(w.Visible(IDOK));
    EXPECT_FALSE(w.Visible(IDC_LAUNCH));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    SaveScreenshot(w.Wnd(), ExpectedLang() == L"ENU" ? "install-ready" : "install-ready-DEU");

    // Cancel ends the wizard; no worker has run, so nothing was installed.
    w.ClickItem(IDCANCEL);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(4u, code);   // cancelled before anything started
    EXPECT_FALSE(FileExists(pkg.folder + L"Uninstall"));
    EXPECT_FALSE(KeyExists(UninstallKey(ConfigFor(pkg))));
}

TEST_F(WizardTest, UninstallModeOpensReadyWithRemoveTextsAndNoCheckBoxText)
{
    TestPackage pkg(L"ready-uninstall");
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe", L"delpkg"));
    EXPECT_EQ(w.Title(), std::wstring(kAppName) + kUninstallSuffix);
    EXPECT_EQ(w.Text(IDC_TITLE), std::wstring(kAppName) + kUninstallSuffix);
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_REMOVE_READY));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_REMOVE_READY_INFO));
    EXPECT_EQ(w.Text(IDC_ACTION), Txt(pkg, IDS_REMOVE));
    EXPECT_EQ(w.Text(IDC_LAUNCH), L"");
    EXPECT_FALSE(w.Visible(IDOK));
    EXPECT_FALSE(w.Visible(IDC_LAUNCH));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    ExpectNoRestartTexts(w, pkg);
    SaveScreenshot(w.Wnd(), "uninstall-ready");

    // The small close button ends the wizard in Ready.
    w.ClickItem(IDC_CLOSE);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(4u, code);
}

TEST_F(WizardTest, TitleComesFromTheTurboVolumeSectionWhenThePackageCarriesTheTitleBitmap)
{
    TestPackage pkg(L"ready-turbo", true);
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    EXPECT_EQ(w.Title(), std::wstring(kTurboAppName) + kInstallSuffix);
    EXPECT_EQ(w.Text(IDC_TITLE), std::wstring(kTurboAppName) + kInstallSuffix);
    SaveScreenshot(w.Wnd(), "install-ready-turbovolume");

    // Escape is the keyboard's Cancel.
    w.Key(VK_ESCAPE);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(4u, code);   // cancelled before anything started
}

// At a higher resolution the whole 96-dpi window scales by dpi / 96, each edge rounded on its
// own: the window, its curved corners, the labels and the buttons (whose pictures scale too).
TEST_F(WizardTest, ReadyWindowScalesWithTheResolution)
{
    struct Row {
        DWORD dpi;
        const char* shot;
    };
    const Row rows[] = {
        {120, "install-ready-125"},
        {144, "install-ready-150"},
        {192, "install-ready-200"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.dpi << " dpi");
        ScreenResolution resolution(row.dpi);
        TestPackage pkg(L"ready-dpi");
        WizardProcess w;
        ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
        auto S = [&](int n) { return ::MulDiv(n, (int)row.dpi, 96); };
        // A rectangle of the 96-dpi layout at this resolution.
        auto expectScaled = [&](int id, int x, int y, int cx, int cy) {
            ExpectRect(w, id, S(x), S(y), S(x + cx) - S(x), S(y + cy) - S(y));
        };

        const int W = S(584), H = S(411);
        RECT rc;
        ::GetWindowRect(w.Wnd(), &rc);
        EXPECT_EQ(rc.left, ::GetSystemMetrics(SM_CXSCREEN) / 2 - W / 2);
        EXPECT_EQ(rc.top, ::GetSystemMetrics(SM_CYSCREEN) / 2 - H / 2);
        EXPECT_EQ(rc.right - rc.left, W);
        EXPECT_EQ(rc.bottom - rc.top, H);

        HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(::GetWindowRgn(w.Wnd(), hRgn), ERROR);
        for (POINT pt : {POINT{0, 0}, POINT{S(4), 0}, POINT{0, S(3)}, POINT{W - 1, 0}, POINT{0, H - 1},
                         POINT{W - 1, H - 1}}) {
            EXPECT_FALSE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
        }
        for (POINT pt : {POINT{S(8), 0}, POINT{W - 1 - S(8), 0}, POINT{0, S(9)}, POINT{W / 2, H / 2},
                         POINT{W - 1, H / 2}, POINT{W / 2, H - 1}}) {
            EXPECT_TRUE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
        }
        ::DeleteObject(hRgn);

        expectScaled(IDC_TITLE, 14, 7, 524, 15);
        expectScaled(IDC_HEADING, 35, 55, 514, 35);
        expectScaled(IDC_INFO, 200, 170, 354, 60);
        expectScaled(IDC_PROGRESS, 205, 235, 339, 30);
        ExpectRect(w, IDC_CLOSE, S(552), S(11), S(20), S(17));
        ExpectRect(w, IDC_ACTION, S(312), S(380), S(111), S(22));
        ExpectRect(w, IDOK, S(312), S(380), S(111), S(22));
        ExpectRect(w, IDCANCEL, S(451), S(380), S(111), S(22));
        RECT chk = w.ItemRect(IDC_LAUNCH);
        EXPECT_EQ(chk.left, S(200));
        EXPECT_EQ(chk.top, S(235));
        EXPECT_EQ(chk.bottom - chk.top, S(24) + S(4));
        SaveScreenshot(w.Wnd(), row.shot);

        // Moved to a 96-dpi monitor, the window takes the 96-dpi layout where it stands (with
        // no suggested place, as the system always gives one).
        ::GetWindowRect(w.Wnd(), &rc);
        ::SendMessageW(w.Wnd(), WM_DPICHANGED, MAKEWPARAM(96, 96), 0);
        RECT moved;
        ::GetWindowRect(w.Wnd(), &moved);
        EXPECT_EQ(moved.right - moved.left, 584);
        EXPECT_EQ(moved.bottom - moved.top, 411);
        ExpectRect(w, IDC_HEADING, 35, 55, 514, 35);
        ExpectRect(w, IDC_CLOSE, 552, 11, 20, 17);
        ExpectRect(w, IDCANCEL, 451, 380, 111, 22);
        EXPECT_EQ(w.ItemRect(IDC_LAUNCH).bottom - w.ItemRect(IDC_LAUNCH).top, 24 + 4);

        w.ClickItem(IDCANCEL);
        DWORD code = 0;
        EXPECT_TRUE(w.WaitExit(kExitMs, &code));
        EXPECT_EQ(4u, code);
    }
}

TEST_F(WizardTest, PressOnTheBackgroundDragsTheWindow)
{
    TestPackage pkg(L"drag");
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    RECT before, after;
    ::GetWindowRect(w.Wnd(), &before);
    w.Drag(POINT{100, 300}, 40, 25);
    ::GetWindowRect(w.Wnd(), &after);
    EXPECT_EQ(after.left - before.left, 40);
    EXPECT_EQ(after.top - before.top, 25);
    EXPECT_EQ(after.right - after.left, 584);

    // The system's close command ends the wizard in Ready.
    ::PostMessageW(w.Wnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(w.WaitExit(kExitMs));
}

TEST_F(WizardTest, MissingBackgroundBitmapIsReportedAndTheWindowStaysUnshaped)
{
    WizardProcess w;
    ASSERT_TRUE(w.Launch(WinePath(NO_BACKGROUND_HOST)));
    HWND hBox = nullptr;
    ASSERT_TRUE(w.WaitFor([&] { return (hBox = w.FindMessageBox(L"Error loading bitmap")) != nullptr; }, 60000));
    ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(w.Attach());

    // No region: a rectangle of the layout's size, centred, so that every control is inside.
    HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(::GetWindowRgn(w.Wnd(), hRgn), ERROR);
    ::DeleteObject(hRgn);
    RECT rc;
    ::GetWindowRect(w.Wnd(), &rc);
    EXPECT_EQ(rc.left, 220);
    EXPECT_EQ(rc.top, 179);
    EXPECT_EQ(rc.right - rc.left, 584);
    EXPECT_EQ(rc.bottom - rc.top, 411);
    ExpectRect(w, IDCANCEL, 451, 380, 111, 22);
    // The wizard still works: Ready, and Cancel ends it.
    EXPECT_TRUE(w.Visible(IDC_ACTION) && w.Enabled(IDC_ACTION));
    EXPECT_FALSE(w.Visible(IDOK));
    SaveScreenshot(w.Wnd(), "no-background");
    w.ClickItem(IDCANCEL);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(code, (DWORD)IDCANCEL);
}

// ---------------------------------------------------------------------------------------------
// Install and uninstall runs

TEST_F(WizardTest, InstallFinishesWithTheLaunchBoxAndACleanBoxStartsNothing)
{
    TestPackage pkg(L"main");
    const SetupConfig config = ConfigFor(pkg);
    ClearJournal();
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    w.ClickItem(IDC_ACTION);
    // The action button is disabled by the press itself: no second worker.
    EXPECT_FALSE(w.Enabled(IDC_ACTION));

    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_DONE));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_FINISH_INFO));
    EXPECT_FALSE(w.Visible(IDC_PROGRESS));
    EXPECT_FALSE(w.Visible(IDC_ACTION));
    EXPECT_TRUE(w.Visible(IDC_LAUNCH));
    EXPECT_TRUE(w.Visible(IDOK) && w.Enabled(IDOK));
    EXPECT_TRUE(w.Visible(IDCANCEL) && !w.Enabled(IDCANCEL));
    EXPECT_TRUE(w.Enabled(IDC_CLOSE));
    ExpectNoRestartTexts(w, pkg);
    EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, true); }, kPaintMs));
    SaveScreenshot(w.Wnd(), "install-finished");

    // The user clears the box: Finish starts nothing.
    FinishWithoutLaunch(w);
    ::Sleep(1000);
    EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()), 0);
    EXPECT_TRUE(FileExists(std::wstring(config.InstallDir) + L"\\" + config.AppFileName));
    EXPECT_TRUE(KeyExists(UninstallKey(config)));
}

TEST_F(WizardTest, ReinstallShowsRunningRefusesToCloseAndFinishStartsTheApplication)
{
    TestPackage pkg(L"main");
    const SetupConfig config = ConfigFor(pkg);
    const std::wstring installedApp = std::wstring(config.InstallDir) + L"\\" + config.AppFileName;
    ASSERT_TRUE(FileExists(installedApp)) << "needs the install of the case before";

    // The application runs: the install closes it first, which keeps Running long enough to
    // watch (as does the service tool's stop and removal over the earlier install).
    WizardProcess app;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring appCmd = L"\"" + installedApp + L"\"";
    ASSERT_TRUE(::CreateProcessW(nullptr, &appCmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &app.m_pi));
    ASSERT_TRUE(app.WaitFor([&] { return ::FindWindowW(nullptr, config.AppName) != nullptr; }, 30000));
    ClearJournal();

    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsRunning(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_RUNNING));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_INSTALL_RUNNING_INFO));
    EXPECT_TRUE(w.Visible(IDC_ACTION));
    EXPECT_FALSE(w.Enabled(IDC_ACTION));
    EXPECT_FALSE(w.Enabled(IDCANCEL));
    EXPECT_FALSE(w.Enabled(IDC_CLOSE));
    EXPECT_FALSE(w.Visible(IDC_LAUNCH));
    ExpectAccessibleNames(w, pkg);
    SaveScreenshot(w.Wnd(), "install-running");

    // No way of ending the wizard works while the worker runs.
    w.Key(VK_ESCAPE);
    w.Key(VK_F4, true);
    ::PostMessageW(w.Wnd(), WM_CLOSE, 0, 0);
    ::PostMessageW(w.Wnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ::PostMessageW(w.Wnd(), WM_COMMAND, IDCANCEL, 0);
    ::Sleep(200);
    EXPECT_EQ(::WaitForSingleObject(w.m_pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);
    ASSERT_TRUE(::IsWindow(w.Wnd()));

    // The bar steps by 5 every 200 ms and never passes 95 before the end.
    std::vector<int> seen;
    DWORD start = ::GetTickCount();
    while (IsRunning(w) && ::GetTickCount() - start < 600) {
        seen.push_back(w.ProgressPos());
        ::Sleep(50);
    }
    ASSERT_FALSE(seen.empty());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i] % 5, 0) << seen[i];
        EXPECT_LE(seen[i], 95);
        if (i) {
            EXPECT_GE(seen[i], seen[i - 1]);
        }
    }
    if (IsRunning(w)) {
        EXPECT_GT(seen.back(), seen.front()) << "the bar did not advance in 600 ms";
    }

    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_DONE));
    EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, true); }, kPaintMs));
    w.ClickItem(IDOK);
    EXPECT_TRUE(w.WaitExit(kExitMs));
    EXPECT_TRUE(w.WaitFor([&] { return CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()) == 1; }, 30000))
        << Narrow(std::wstring(JournalPath()));
    CloseRunningApplication(config.AppName);
}

TEST_F(WizardTest, UninstallKeepsTheBarAtHundredOffersNoBoxAndRemovesTheInstall)
{
    TestPackage pkg(L"main");
    const SetupConfig config = ConfigFor(pkg);
    const std::wstring dir = config.InstallDir;
    ASSERT_TRUE(FileExists(dir + L"\\Uninstall\\setup.exe")) << "needs the install of the cases before";
    ClearJournal();

    WizardProcess w;
    ASSERT_TRUE(w.Start(dir + L"\\Uninstall\\setup.exe", L"delpkg"));
    EXPECT_EQ(w.Title(), std::wstring(config.AppName) + kUninstallSuffix);
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w) || IsRunning(w); }, kRunMs));
    if (IsRunning(w)) {
        EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_REMOVE_RUNNING));
        EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_REMOVE_RUNNING_INFO));
        EXPECT_FALSE(w.Enabled(IDCANCEL));
        EXPECT_FALSE(w.Enabled(IDC_CLOSE));
        SaveScreenshot(w.Wnd(), "uninstall-running");
    }
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_TRUE(w.m_failBoxes.empty()) << Narrow(w.m_failBoxes.empty() ? L"" : w.m_failBoxes[0]);
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_REMOVE_DONE));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_FINISH_INFO));
    EXPECT_TRUE(w.Visible(IDC_PROGRESS));
    EXPECT_EQ(w.ProgressPos(), 100);
    EXPECT_FALSE(w.Visible(IDC_LAUNCH));
    EXPECT_FALSE(w.Visible(IDC_ACTION));
    EXPECT_TRUE(w.Enabled(IDC_CLOSE));
    ExpectNoRestartTexts(w, pkg);
    SaveScreenshot(w.Wnd(), "uninstall-finished");
    w.ClickItem(IDOK);
    DWORD code = 1;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(0u, code);

    // Once the wizard's temporary copy has ended too, nothing of the install is left.
    EXPECT_TRUE(w.WaitWizardExit(kExitMs));
    EXPECT_NE(w.m_dwWizardPid, w.m_pi.dwProcessId) << "the wizard ran from a temporary copy";
    EXPECT_FALSE(FileExists(dir));
    EXPECT_FALSE(KeyExists(UninstallKey(config)));
    EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + config.AppName + L".lnk"));
    EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + config.AppName));
    ::Sleep(500);
    EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()), 0);
}

// ---------------------------------------------------------------------------------------------
// Keyboard and screen readers

TEST_F(WizardTest, KeyboardAloneInstallsAndRemovesAndEveryControlIsNamed)
{
    TestPackage pkg(L"keyboard");
    const SetupConfig config = ConfigFor(pkg);
    const std::wstring dir = config.InstallDir;
    ClearJournal();
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    ExpectAccessibleNames(w, pkg);

    // The focus starts on Install, with no cue until the keyboard is used: the look is the
    // one Install has without the focus, once the wizard has painted it.
    EXPECT_TRUE(HasFocus(w, IDC_ACTION));
    const std::vector<DWORD> plain = w.PaintedItemPixels(IDC_ACTION, kPaintMs);
    ASSERT_FALSE(plain.empty()) << "Install was never painted";
    SaveScreenshot(w.Wnd(), "keyboard-start");

    // Tab and Shift+Tab follow the picture: Install, Cancel, the close button, round again.
    for (int id : {IDCANCEL, IDC_CLOSE, IDC_ACTION, IDCANCEL}) {
        w.Key(VK_TAB);
        EXPECT_TRUE(HasFocus(w, id)) << "control " << id;
    }
    EXPECT_TRUE(w.WaitFor([&] { return w.ItemPixels(IDC_ACTION) == plain; }, kPaintMs)) << "a cue without the focus";
    w.Key(VK_TAB, false, true);
    EXPECT_TRUE(HasFocus(w, IDC_ACTION));
    EXPECT_TRUE(w.WaitFor([&] { return w.ItemPixels(IDC_ACTION) != plain; }, kPaintMs)) << "no focus cue";
    SaveScreenshot(w.Wnd(), "keyboard-ready");

    // Enter presses the focused button: Install. The keyboard continues on Finish.
    w.Key(VK_RETURN);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_DONE));
    ExpectAccessibleNames(w, pkg);
    EXPECT_TRUE(HasFocus(w, IDOK));
    EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, true); }, kPaintMs));
    SaveScreenshot(w.Wnd(), "keyboard-finished");
    // Cancel is disabled: Tab passes it, and Escape does nothing.
    for (int id : {IDC_CLOSE, IDC_LAUNCH}) {
        w.Key(VK_TAB);
        EXPECT_TRUE(HasFocus(w, id)) << "control " << id;
    }
    SaveScreenshot(w.Wnd(), "keyboard-finished-check-box");
    w.Key(VK_SPACE);
    EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, false); }, kPaintMs));
    w.Key(VK_ESCAPE);
    EXPECT_EQ(::WaitForSingleObject(w.m_pi.hProcess, 300), (DWORD)WAIT_TIMEOUT);
    w.Key(VK_TAB);
    EXPECT_TRUE(HasFocus(w, IDOK));
    w.Key(VK_RETURN);
    DWORD code = 1;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(FileExists(dir + L"\\" + config.AppFileName));
    ::Sleep(1000);
    EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()), 0);

    // The removal: Enter on Remove, where the focus starts; Alt+F4 acts as the close button
    // on the finished page.
    WizardProcess u;
    ASSERT_TRUE(u.Start(dir + L"\\Uninstall\\setup.exe", L"delpkg"));
    ExpectAccessibleNames(u, pkg);
    EXPECT_TRUE(HasFocus(u, IDC_ACTION));
    u.Key(VK_RETURN);
    ASSERT_TRUE(u.WaitFor([&] { return IsEnded(u); }, kRunMs));
    EXPECT_EQ(u.Text(IDC_HEADING), Txt(pkg, IDS_REMOVE_DONE));
    ExpectAccessibleNames(u, pkg);
    EXPECT_TRUE(HasFocus(u, IDOK));
    u.Key(VK_F4, true);
    code = 1;
    EXPECT_TRUE(u.WaitExit(kExitMs, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(u.WaitWizardExit(kExitMs));
    EXPECT_FALSE(FileExists(dir));
}

// A library made before text 21, as a vendor may still ship one: string block 2 (ids 16 to
// 31) rewritten with ids 16 to 20 only.
BOOL RemoveCloseText(const std::wstring& library, LANGID langId)
{
    std::vector<WORD> block;
    HMODULE hLib = ::LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hLib)
        return FALSE;
    for (UINT id = 16; id < 32; ++id) {
        const wchar_t* text = nullptr;
        int length = id < IDS_CLOSE ? ::LoadStringW(hLib, id, (LPWSTR)&text, 0) : 0;
        block.push_back((WORD)length);
        block.insert(block.end(), text, text + length);
    }
    ::FreeLibrary(hLib);
    HANDLE hUpdate = ::BeginUpdateResourceW(library.c_str(), FALSE);
    return hUpdate && ::UpdateResourceW(hUpdate, RT_STRING, MAKEINTRESOURCEW(2), langId, block.data(),
                                        (DWORD)(block.size() * sizeof(WORD)))
        && ::EndUpdateResourceW(hUpdate, FALSE);
}

TEST_F(WizardTest, OlderLanguageLibraryNamesTheCloseButtonInEnglish)
{
    TestPackage pkg(L"older-library");
    ASSERT_TRUE(pkg.UseProgramWithoutCatalogue());
    ASSERT_TRUE(RemoveCloseText(pkg.folder + L"setupENU.dll", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    ASSERT_EQ(Txt(pkg, IDS_CLOSE), L"");
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_READY));
    EXPECT_EQ(w.AccessibleName(IDC_CLOSE), L"Close");
    w.Key(VK_ESCAPE);
    EXPECT_TRUE(w.WaitExit(kExitMs));
}

TEST_F(WizardTest, LockedApplicationExecutableGivesFailedAndNoLaunch)
{
    TestPackage pkg(L"locked");
    const SetupConfig config = ConfigFor(pkg);
    const std::wstring dir = config.InstallDir;
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring target = dir + L"\\" + config.AppFileName;
    ::CopyFileW((pkg.folder + L"Application\\" + config.AppFileName).c_str(), target.c_str(), FALSE);
    HANDLE hLock = ::CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
    ClearJournal();

    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_FAILED));
    EXPECT_EQ(w.Text(IDC_INFO), Txt(pkg, IDS_FINISH_INFO));
    EXPECT_TRUE(w.Visible(IDC_PROGRESS));
    EXPECT_LE(w.ProgressPos(), 95);
    EXPECT_FALSE(w.Visible(IDC_LAUNCH));
    EXPECT_FALSE(w.Enabled(IDCANCEL));
    EXPECT_TRUE(w.Enabled(IDC_CLOSE));
    ExpectAccessibleNames(w, pkg);
    SaveScreenshot(w.Wnd(), "install-failed");
    ASSERT_EQ(1u, w.m_failBoxes.size());
    EXPECT_EQ(0u, w.m_failBoxes[0].find(L"Fail to copy"));
    w.ClickItem(IDOK);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(7u, code);   // a file held by another program
    ::Sleep(1000);
    EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()), 0);
    ::CloseHandle(hLock);
    // The failed install put back what it had made; what was there before stays.
    EXPECT_FALSE(FileExists(dir + L"\\Uninstall"));
    EXPECT_TRUE(FileExists(target));
}

// A file of the package changed after the build, here the service tool: the install finds
// it changed where it copied it to, puts everything back and names the file; nothing of the
// package ran. A changed language library is not used: the wizard cannot open without one.
TEST_F(WizardTest, ChangedPackageFileGivesFailedAndNothingOfThePackageRuns)
{
    RemoveEarlierInstall();
    TestPackage pkg(L"changed");
    const SetupConfig config = ConfigFor(pkg);
    ASSERT_TRUE(pkg.ChangeOneByte(L"Application\\Kelvrin.exe"));
    ClearJournal();
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_FAILED));
    ASSERT_EQ(1u, w.m_failBoxes.size());
    EXPECT_EQ(w.m_failBoxes[0], L"\"" + pkg.folder + L"Application\\Kelvrin.exe\" was changed after the package was "
                                L"built; get the package again from the vendor.");
    w.ClickItem(IDOK);
    DWORD code = 0;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(2u, code);   // the package is refused
    EXPECT_EQ(ReadJournal(), "");
    EXPECT_FALSE(FileExists(config.InstallDir));

    ASSERT_TRUE(pkg.ChangeOneByte(L"setupENU.dll"));
    WizardProcess again;
    ASSERT_TRUE(again.Launch(pkg.folder + L"setup.exe"));
    code = 0;
    EXPECT_TRUE(again.WaitExit(kExitMs, &code));
    EXPECT_EQ(2u, code);
}

// A silent install killed after its sixth change (a power cut for the program) is rolled
// back by the next run, here the wizard, which then installs in full; nothing of the killed
// run is kept.
TEST_F(WizardTest, WizardRollsBackAKilledInstallThenInstalls)
{
    TestPackage pkg(L"killed");
    const SetupConfig config = ConfigFor(pkg);
    const std::wstring log = L"C:\\wizard-tests\\killed.log";
    ::DeleteFileW(log.c_str());
    {
        WizardProcess killed;
        ::SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_AFTER_STEP", L"6");
        BOOL bLaunched = killed.Launch(pkg.folder + L"setup.exe", L"s /log=" + log);
        ::SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_AFTER_STEP", nullptr);
        ASSERT_TRUE(bLaunched);
        ASSERT_TRUE(killed.WaitFor(
            [&] { return ReadWholeFile(log).find("test: paused after change 6") != std::string::npos; }, kRunMs));
        killed.Kill();
    }
    ASSERT_TRUE(FileExists(std::wstring(config.InstallDir) + L"\\Uninstall\\setup.exe"));

    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe", L"/log=" + log));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_DONE));
    FinishWithoutLaunch(w);
    const std::string text = ReadWholeFile(log);
    EXPECT_NE(std::string::npos, text.find("recovery: the interrupted install was rolled back"));
    EXPECT_LT(text.find("recovery: the interrupted install was rolled back"), text.find("result: installed"));
    EXPECT_TRUE(FileExists(std::wstring(config.InstallDir) + L"\\" + config.AppFileName));
    EXPECT_TRUE(KeyExists(UninstallKey(config)));
    EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\" + config.AppFolderName + L" setup"));
    RemoveEarlierInstall();
}

TEST_F(WizardTest, CloseButtonEndsTheWizardAfterARun)
{
    // In Finished and Failed Cancel is disabled and the close button enabled: the close
    // button still ends the wizard, without starting the application.
    TestPackage pkg(L"close-after");
    const SetupConfig config = ConfigFor(pkg);
    ClearJournal();
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe"));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    ASSERT_TRUE(w.Visible(IDC_LAUNCH));
    w.ClickItem(IDC_CLOSE);
    DWORD code = 1;
    EXPECT_TRUE(w.WaitExit(kExitMs, &code));
    EXPECT_EQ(0u, code);   // the install was done
    ::Sleep(1000);
    EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName).c_str()), 0);
}

// ---------------------------------------------------------------------------------------------
// Libraries beside the program

// The package lies in a downloads folder among other files: marker libraries under the names
// of DLLs that setup.exe imported or that the system loads on demand never run, and the
// wizard still installs. The known DLLs among its imports lie there too.
TEST_F(WizardTest, LibrariesBesideTheProgramNeverRunAndTheWizardStillInstalls)
{
    TestPackage pkg(L"planted");
    const SetupConfig config = ConfigFor(pkg);
    PlantedLibraries planted(pkg.folder, {L"comctl32", L"uxtheme", L"dwmapi", L"msimg32", L"winmm", L"propsys"},
                             {L"advapi32", L"gdi32", L"kernel32", L"msvcrt", L"ole32", L"shell32", L"user32"});
    WizardProcess w;
    ASSERT_TRUE(w.Start(pkg.folder + L"setup.exe")) << planted.Ran();
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_READY));
    w.ClickItem(IDC_ACTION);
    ASSERT_TRUE(w.WaitFor([&] { return IsEnded(w); }, kRunMs));
    EXPECT_EQ(w.Text(IDC_HEADING), Txt(pkg, IDS_INSTALL_DONE));
    w.ClickItem(IDC_CLOSE);
    EXPECT_TRUE(w.WaitExit(kExitMs));
    EXPECT_EQ(planted.Ran(), "");
    EXPECT_TRUE(FileExists(std::wstring(config.InstallDir) + L"\\" + config.AppFileName));
}

// ---------------------------------------------------------------------------------------------
// Texts in every language

// The labels' fonts as the wizard makes them: "Arial", bold, in the character set of the
// library's language.
static BOOL CALLBACK TakeFirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD wLanguage, LONG_PTR lParam)
{
    *reinterpret_cast<LANGID*>(lParam) = wLanguage;
    return FALSE;
}

HFONT LabelFont(HMODULE hLib, int nPoints, int dpi)
{
    LANGID langId = 0;
    ::EnumResourceLanguagesW(hLib, (LPCWSTR)RT_STRING, MAKEINTRESOURCEW(1), &TakeFirstLanguage, (LONG_PTR)&langId);
    wchar_t cp[8] = {};
    ::GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, cp, 8);
    CHARSETINFO csi{};
    BYTE charset = ANSI_CHARSET;
    if (::TranslateCharsetInfo((DWORD*)(UINT_PTR)wcstoul(cp, nullptr, 10), &csi, TCI_SRCCODEPAGE))
        charset = (BYTE)csi.ciCharset;
    // The 96-dpi height, scaled to the resolution.
    LOGFONTW lf{};
    lf.lfHeight = -::MulDiv(::MulDiv(nPoints, 96, 72), dpi, 96);
    lf.lfWeight = FW_BOLD;
    lf.lfCharSet = charset;
    wcscpy(lf.lfFaceName, L"Arial");
    return ::CreateFontIndirectW(&lf);
}

TEST(WizardTexts, EveryTranslationFitsInsideItsLabel)
{
    struct Label {
        int x, y, cx, cy, points;
        std::vector<UINT> ids;
    };
    const Label labels[] = {
        {35, 55, 514, 35, 10, {IDS_INSTALL_READY, IDS_INSTALL_DONE, IDS_INSTALL_FAILED, IDS_REMOVE_READY, IDS_REMOVE_FAILED,
                       IDS_REMOVE_DONE, IDS_INSTALL_RUNNING, IDS_REMOVE_RUNNING}},
        {200, 170, 354, 60, 9, {IDS_INSTALL_READY_INFO, IDS_INSTALL_RUNNING_INFO, IDS_FINISH_INFO, IDS_REMOVE_READY_INFO,
                      IDS_REMOVE_RUNNING_INFO}},
    };
    const std::wstring pkg = WinePath(SETUP_PACKAGE_DIR) + L"\\";
    HDC hdc = ::CreateCompatibleDC(nullptr);
    for (int dpi : {96, 120, 144, 192}) {
        // The label's rectangle at this resolution, each edge scaled on its own.
        auto S = [dpi](int n) { return ::MulDiv(n, dpi, 96); };
        for (const wchar_t* lang : {L"ENU", L"CHT", L"CHS", L"JPN", L"KOR", L"FRA", L"DEU"}) {
            HMODULE hLib = ::LoadLibraryExW((pkg + L"setup" + lang + L".dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
            ASSERT_TRUE(hLib) << Narrow(lang);
            for (const Label& label : labels) {
                const int cx = S(label.x + label.cx) - S(label.x), cy = S(label.y + label.cy) - S(label.y);
                HFONT hFont = LabelFont(hLib, label.points, dpi);
                HGDIOBJ old = ::SelectObject(hdc, hFont);
                for (UINT id : label.ids) {
                    wchar_t text[1024] = {};
                    ::LoadStringW(hLib, id, text, 1024);
                    RECT rc = {0, 0, cx, 0};
                    UINT format = CTextLabelCtrl::GetTextFormat(WS_CHILD | WS_VISIBLE | SS_LEFT, text);
                    ::DrawTextW(hdc, text, -1, &rc, (format & ~(DT_VCENTER | DT_SINGLELINE)) | DT_CALCRECT | DT_WORDBREAK);
                    EXPECT_LE(rc.right, cx) << Narrow(lang) << " text " << id << " at " << dpi << " dpi";
                    EXPECT_LE(rc.bottom, cy) << Narrow(lang) << " text " << id << " at " << dpi << " dpi";
                }
                ::SelectObject(hdc, old);
                ::DeleteObject(hFont);
            }
            ::FreeLibrary(hLib);
        }
    }
    ::DeleteDC(hdc);
}
