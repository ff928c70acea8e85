// The wizard of the real setup program, driven from outside through Win32 as a user would.
// Every case is a row of kWizardTestCases: the package, the program's words, what the user does,
// and the pages, texts, focus and exit code that must follow; one driver runs them all. The
// rows share one Wine prefix and run in table order: the install and uninstall runs build on
// each other.
#include <gtest/gtest.h>
#include "tests/wizard/WizardDriver.h"
#include "engine/Platform.h"
#include "engine/SetupEngine.h"
#include "controls/TextLabelCtrl.h"
#include "framework/AfxDpi.h"
#include "framework/AfxHandle.h"
#include "lang/Languages.h"
#include "res/resource.h"
#include <commctrl.h>
#include <shlobj.h>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

namespace {

const wchar_t kInstallSuffix[] = L" - Installation Wizard";
const wchar_t kUninstallSuffix[] = L" - Uninstallation Wizard";
const wchar_t kAppName[] = L"Varelon VRX58Q RAID Manager";
const wchar_t kTurboAppName[] = L"Varelon TurboVolume RAID Manager";
const wchar_t kKilledLog[] = L"C:\\wizard-tests\\killed.log";
const DWORD kExitMs = 15000;
const DWORD kRunMs = 90000;
// How long a change of the wizard's look may take to reach the screen.
const DWORD kPaintMs = 10000;
// A run whose exit code the case does not look at.
const DWORD kAnyExit = 0xFFFFFFFF;
// The dialog result of the test host without the background bitmap, which is no setup outcome.
const DWORD kHostCancelled = IDCANCEL;

// The name of an exit code, for failure messages.
const char* ExitName(DWORD code)
{
    static const char* const names[] = {"SetupSucceeded", "SetupFailed",       "SetupRefused",  "SetupBusy",
                                        "SetupCancelled", "SetupStillRunning", "SetupDiskFull", "SetupFileBusy"};
    return code < 8 ? names[code] : "no setup outcome";
}

// The language the wizard is expected to speak: SETUP_EXPECT_LANG, else English.
std::wstring ExpectedLang()
{
    wchar_t buf[8] = {};
    if (::GetEnvironmentVariableW(L"SETUP_EXPECT_LANG", buf, 8) && buf[0])
        return buf;
    return L"ENU";
}

// The settings the engine uses for this package, with the flags setup.exe itself derives.
SetupConfig ConfigFor(const TestPackage& pkg, BOOL bTitleBitmap = FALSE)
{
    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();
    g_bGermanUi = ExpectedLang() == L"DEU";
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

// How often the tools journal records a start of program: lines naming it, then "start".
int CountStarts(const std::string& journal, const std::string& program)
{
    int n = 0;
    std::istringstream lines(journal);
    for (std::string line; std::getline(lines, line);) {
        const size_t pos = line.find("\t" + program + "\t");
        n += pos != std::string::npos && line.find("\tstart\t", pos) != std::string::npos;
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
        CKernelHandle hProcess(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        ::PostMessageW(h, WM_CLOSE, 0, 0);
        if (hProcess)
            ::WaitForSingleObject(hProcess, 10000);
        else
            ::Sleep(100);
    }
}

// The prefix may hold an install of an earlier run or row: removes it with its shortcuts.
void RemoveEarlierInstall()
{
    TestPackage pkg(L"cleanup");
    const SetupConfig config = ConfigFor(pkg);
    CloseRunningApplication(config.AppName);
    DeleteTree(config.InstallDir);
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, UninstallKey(config).c_str());
    ::DeleteFileW((SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + config.AppName + L".lnk").c_str());
    DeleteTree(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + config.AppName);
}

// ---------------------------------------------------------------------------------------------
// What a row holds

// What one row's runs share: its copy of the package, the settings the engine reads from it,
// the wizard of the current run, and what the row's preparation keeps for its checks.
struct Ctx {
    Ctx(const wchar_t* package, bool bTitleBitmap) : pkg(package, bTitleBitmap), config(ConfigFor(pkg)) {}
    std::wstring Txt(UINT nID) const { return nID ? LoadPackageText(pkg.folder, ExpectedLang().c_str(), nID) : L""; }
    std::wstring Dir() const { return config.InstallDir; }
    std::wstring AppPath() const { return Dir() + L"\\" + config.AppFileName; }
    // The journal records no start of the application, ms after the run.
    void ExpectNoStart(DWORD ms) const
    {
        ::Sleep(ms);
        EXPECT_EQ(CountStarts(ReadJournal(), Narrow(config.AppFileName)), 0);
    }

    TestPackage pkg;
    SetupConfig config;
    WizardProcess w;
    DWORD dpi = 96;
    WizardProcess app;                 // the installed application, started by the row
    CFileHandle hold;                  // a file the row keeps open without sharing
    std::unique_ptr<PlantedLibraries> planted;
    std::vector<DWORD> plain;          // the Install button's look without a focus cue
};
using Check = std::function<void(Ctx&)>;

// What the user does: nothing, a mouse click on a control, a key (with Alt or Shift), or a
// system command posted to the wizard.
struct Input {
    enum Kind { None, Click, Key, SysCommand } kind = None;
    int code = 0;
    bool bAlt = false, bShift = false;
};
Input Click(int id) { return {Input::Click, id}; }
Input Key(WORD vk) { return {Input::Key, vk}; }
Input AltKey(WORD vk) { return {Input::Key, vk, true}; }
Input ShiftKey(WORD vk) { return {Input::Key, vk, false, true}; }
Input SysCommand(int sc) { return {Input::SysCommand, sc}; }

// The wizard's state a step waits for after its input (Same: none, the checks follow at once).
enum class Page { Same, Running, Ended, RunningOrEnded };

// One user action and what must hold after it, checked in the order of the fields. A step is
// built in one expression: On(input) (none: check at once), then what must follow.
struct Step {
    Input input;
    Page page = Page::Same;
    std::vector<std::pair<int, UINT>> texts;   // control, text id of the library (0: no text)
    std::vector<int> shown, hidden, enabled, disabled;
    int focus = 0;               // the control that must get the keyboard focus
    int mark = -1;               // the launch box's mark on screen: 1 checked, 0 clear
    bool bNamed = false;         // every visible control has its name for screen readers
    bool bNoRestart = false;     // no control offers a restart, which the wizard never does
    Check check;                 // whatever else the step must show
    const char* shot = nullptr;  // a screenshot of the wizard, taken last

    Step& Waits(Page p) { page = p; return *this; }
    Step& Ends() { return Waits(Page::Ended); }
    Step& Says(UINT heading) { return Text(IDC_HEADING, heading); }
    Step& Says(UINT heading, UINT info) { return Says(heading).Text(IDC_INFO, info); }
    Step& Text(int id, UINT nID) { texts.push_back({id, nID}); return *this; }
    Step& Shows(std::vector<int> ids) { shown = std::move(ids); return *this; }
    Step& Hides(std::vector<int> ids) { hidden = std::move(ids); return *this; }
    Step& Enables(std::vector<int> ids) { enabled = std::move(ids); return *this; }
    Step& Disables(std::vector<int> ids) { disabled = std::move(ids); return *this; }
    Step& Focus(int id) { focus = id; return *this; }
    Step& Mark(bool bChecked) { mark = bChecked; return *this; }
    Step& Named() { bNamed = true; return *this; }
    Step& NoRestart() { bNoRestart = true; return *this; }
    Step& Then(Check c) { check = std::move(c); return *this; }
    Step& Shot(const char* name) { shot = name; return *this; }
};
Step On(Input in = {}) { Step s; s.input = in; return s; }

// Which program a run starts.
enum class Program { Package, Installed, NoBackground };

// One start of a program: its words and resolution, the steps of its wizard (none: the
// program ends without one), its exit code and what must hold once it has ended.
struct WizardRun {
    Program program = Program::Package;
    const wchar_t* words = L"";
    DWORD dpi = 96;
    std::vector<Step> steps;
    DWORD exit = kAnyExit;   // a SetupOutcome, kHostCancelled or kAnyExit
    Check after;
};

struct WizardCase {
    const char* name;
    const wchar_t* package;   // the folder name of the row's copy of the package
    bool bTitleBitmap;        // the customised package with the title bitmaps
    Check prepare;
    std::vector<WizardRun> runs;
};

// ---------------------------------------------------------------------------------------------
// Checks that several rows share

// A control (in client coordinates) or, for id 0, the window (on the screen) has this place and size.
void ExpectRect(const WizardProcess& w, int id, int x, int y, int cx, int cy)
{
    RECT rc = {};
    if (id)
        rc = w.ItemRect(id);
    else
        ::GetWindowRect(w.Wnd(), &rc);
    EXPECT_EQ(rc.left, x) << "control " << id;
    EXPECT_EQ(rc.top, y) << "control " << id;
    EXPECT_EQ(rc.right - rc.left, cx) << "control " << id;
    EXPECT_EQ(rc.bottom - rc.top, cy) << "control " << id;
}

void ExpectTitle(const WizardProcess& w, const std::wstring& title)
{
    EXPECT_EQ(w.Title(), title);
    EXPECT_EQ(w.Text(IDC_TITLE), title);
}

// The 96-dpi layout at dpi: the labels and the progress bar with each edge scaled on its own,
// the buttons by their scaled size.
void ExpectLayout(const WizardProcess& w, DWORD dpi)
{
    auto S = [dpi](int n) { return ::MulDiv(n, (int)dpi, 96); };
    const struct {
        int id, x, y, cx, cy;
        bool bEdges;
    } layout[] = {
        {IDC_TITLE, 14, 7, 524, 15, true},       {IDC_HEADING, 35, 55, 514, 35, true},
        {IDC_INFO, 200, 170, 354, 60, true},     {IDC_PROGRESS, 205, 235, 339, 30, true},
        {IDC_CLOSE, 552, 11, 20, 17, false},     {IDC_ACTION, 312, 380, 111, 22, false},
        {IDOK, 312, 380, 111, 22, false},        {IDCANCEL, 451, 380, 111, 22, false},
    };
    for (const auto& c : layout)
        ExpectRect(w, c.id, S(c.x), S(c.y), c.bEdges ? S(c.x + c.cx) - S(c.x) : S(c.cx),
                   c.bEdges ? S(c.y + c.cy) - S(c.y) : S(c.cy));
    RECT chk = w.ItemRect(IDC_LAUNCH);
    EXPECT_EQ(chk.left, S(200));
    EXPECT_EQ(chk.top, S(235));
    EXPECT_EQ(chk.bottom - chk.top, S(24) + S(4));
}

// The window's curved corners: the points outside are cut off, those inside kept.
void ExpectShape(const WizardProcess& w, const std::vector<POINT>& outside, const std::vector<POINT>& inside)
{
    HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(w.Wnd(), hRgn), ERROR);
    for (POINT pt : outside)
        EXPECT_FALSE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    for (POINT pt : inside)
        EXPECT_TRUE(::PtInRegion(hRgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    ::DeleteObject(hRgn);
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
void ExpectAccessibleNames(const Ctx& c)
{
    for (int id : {IDC_TITLE, IDC_HEADING, IDC_INFO, IDC_LAUNCH, IDC_ACTION, IDOK, IDCANCEL, IDC_CLOSE}) {
        if (!c.w.Visible(id))
            continue;
        const std::wstring expected = id == IDC_CLOSE ? c.Txt(IDS_CLOSE) : c.w.Text(id);
        EXPECT_NE(expected, L"") << "control " << id;
        EXPECT_EQ(c.w.AccessibleName(id), expected) << "control " << id;
    }
    if (c.w.Visible(IDC_PROGRESS)) {
        EXPECT_EQ(c.w.AccessibleName(IDC_PROGRESS), L"");
    }
}

bool IsRunning(const WizardProcess& w)
{
    return w.Visible(IDC_PROGRESS) && !w.Visible(IDOK);
}

bool IsEnded(const WizardProcess& w)
{
    return w.Visible(IDOK);
}

// The wizard at dpi: centred, shaped and laid out at that scale; moved to a 96-dpi monitor it
// takes the 96-dpi layout where it stands (with no suggested place, as the system always gives
// one); Cancel ends it.
WizardRun ScaledReady(DWORD dpi, const char* shot)
{
    const Check ready = [](Ctx& c) {
        auto S = [&](int n) { return ::MulDiv(n, (int)c.dpi, 96); };
        const int W = S(584), H = S(411);
        ExpectRect(c.w, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2 - W / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2 - H / 2,
                         W, H);
        ExpectShape(c.w, {{0, 0}, {S(4), 0}, {0, S(3)}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}},
                    {{S(8), 0}, {W - 1 - S(8), 0}, {0, S(9)}, {W / 2, H / 2}, {W - 1, H / 2}, {W / 2, H - 1}});
        ExpectLayout(c.w, c.dpi);
    };
    const Check moved = [](Ctx& c) {
        ::SendMessageW(c.w.Wnd(), WM_DPICHANGED, MAKEWPARAM(96, 96), 0);
        RECT rc;
        ::GetWindowRect(c.w.Wnd(), &rc);
        EXPECT_EQ(rc.right - rc.left, 584);
        EXPECT_EQ(rc.bottom - rc.top, 411);
        ExpectRect(c.w, IDC_HEADING, 35, 55, 514, 35);
        ExpectRect(c.w, IDC_CLOSE, 552, 11, 20, 17);
        ExpectRect(c.w, IDCANCEL, 451, 380, 111, 22);
        EXPECT_EQ(c.w.ItemRect(IDC_LAUNCH).bottom - c.w.ItemRect(IDC_LAUNCH).top, 24 + 4);
    };
    return {.dpi = dpi, .steps = {On().Then(ready).Shot(shot), On().Then(moved), On(Click(IDCANCEL))}, .exit = SetupCancelled};
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

// The user clears the launch box of the Finish page and presses Finish.
const Step kClearLaunchBox = On(Click(IDC_LAUNCH)).Mark(false);
const Step kPressFinish = On(Click(IDOK));
const Check kClearJournal = [](Ctx&) { ClearJournal(); };

// ---------------------------------------------------------------------------------------------
// The cases

const std::vector<WizardCase> kWizardTestCases = {
    // Ready state
    {"InstallModeOpensReadyWithItsTextsShapeAndLayout", L"ready-install", false, nullptr,
     {{.steps = {On().Says(IDS_INSTALL_READY, IDS_INSTALL_READY_INFO).Text(IDC_ACTION, IDS_INSTALL).Text(IDOK, IDS_FINISH)
                     .Text(IDCANCEL, IDS_CANCEL).Text(IDC_LAUNCH, IDS_LAUNCH_APP).Shows({IDC_ACTION, IDCANCEL, IDC_CLOSE})
                     .Hides({IDOK, IDC_LAUNCH, IDC_PROGRESS}).Enables({IDC_ACTION, IDCANCEL, IDC_CLOSE}).NoRestart()
                     .Then([](Ctx& c) {
                         ExpectTitle(c.w, std::wstring(kAppName) + kInstallSuffix);
                         // The picture's size, centred on the 1024 x 768 screen, with the magenta
                         // corner pixels outside.
                         ExpectRect(c.w, 0, 220, 179, 584, 411);
                         ExpectShape(c.w, {{0, 0}, {5, 0}, {583, 0}, {0, 410}, {583, 410}, {0, 3}},
                                     {{6, 0}, {577, 0}, {0, 8}, {292, 205}, {583, 200}, {292, 410}});
                         ExpectLayout(c.w, 96);
                     }).Shot("install-ready"),
                 // Cancel ends the wizard; no worker has run, so nothing was installed.
                 On(Click(IDCANCEL))},
       .exit = SetupCancelled,
       .after = [](Ctx& c) {
           EXPECT_FALSE(FileExists(c.pkg.folder + L"Uninstall"));
           EXPECT_FALSE(HklmKeyExists(UninstallKey(c.config)));
       }}}},
    {"UninstallModeOpensReadyWithRemoveTextsAndNoCheckBoxText", L"ready-uninstall", false, nullptr,
     {{.words = L"delpkg",
       .steps = {On().Says(IDS_REMOVE_READY, IDS_REMOVE_READY_INFO).Text(IDC_ACTION, IDS_REMOVE).Text(IDC_LAUNCH, 0)
                     .Hides({IDOK, IDC_LAUNCH, IDC_PROGRESS}).NoRestart().Shot("uninstall-ready")
                     .Then([](Ctx& c) { ExpectTitle(c.w, std::wstring(kAppName) + kUninstallSuffix); }),
                 On(Click(IDC_CLOSE))},   // the small close button ends the wizard in Ready
       .exit = SetupCancelled}}},
    {"TitleComesFromTheTurboVolumeSectionWhenThePackageCarriesTheTitleBitmap", L"ready-turbo", true, nullptr,
     {{.steps = {On().Then([](Ctx& c) { ExpectTitle(c.w, std::wstring(kTurboAppName) + kInstallSuffix); })
                     .Shot("install-ready-turbovolume"),
                 On(Key(VK_ESCAPE))},   // Escape is the keyboard's Cancel
       .exit = SetupCancelled}}},
    // At a higher resolution the whole 96-dpi window scales by dpi / 96, each edge rounded on its
    // own: the window, its curved corners, the labels and the buttons (whose pictures scale too).
    {"ReadyWindowScalesWithTheResolution", L"ready-dpi", false, nullptr,
     {ScaledReady(120, "install-ready-125"), ScaledReady(144, "install-ready-150"),
      ScaledReady(192, "install-ready-200")}},
    {"PressOnTheBackgroundDragsTheWindow", L"drag", false, nullptr,
     {{.steps = {On().Then([](Ctx& c) {
                     RECT before, after;
                     ::GetWindowRect(c.w.Wnd(), &before);
                     c.w.Drag(POINT{100, 300}, 40, 25);
                     ::GetWindowRect(c.w.Wnd(), &after);
                     EXPECT_EQ(after.left - before.left, 40);
                     EXPECT_EQ(after.top - before.top, 25);
                     EXPECT_EQ(after.right - after.left, 584);
                 }),
                 On(SysCommand(SC_CLOSE))}}}},   // the system's close command ends the wizard in Ready
    // The host reports the missing bitmap; without a region the window is a rectangle of the
    // layout's size, centred, so that every control is inside, and the wizard still works.
    {"MissingBackgroundBitmapIsReportedAndTheWindowStaysUnshaped", L"no-background", false, nullptr,
     {{.program = Program::NoBackground,
       .steps = {On().Shows({IDC_ACTION}).Hides({IDOK}).Enables({IDC_ACTION}).Shot("no-background").Then([](Ctx& c) {
                     HRGN hRgn = ::CreateRectRgn(0, 0, 0, 0);
                     EXPECT_EQ(::GetWindowRgn(c.w.Wnd(), hRgn), ERROR);
                     ::DeleteObject(hRgn);
                     ExpectRect(c.w, 0, 220, 179, 584, 411);
                     ExpectRect(c.w, IDCANCEL, 451, 380, 111, 22);
                 }),
                 On(Click(IDCANCEL))},
       .exit = kHostCancelled}}},

    // Install and uninstall runs
    {"InstallFinishesWithTheLaunchBoxAndACleanBoxStartsNothing", L"main", false, kClearJournal,
     // The action button is disabled by the press itself: no second worker. The user clears the
     // launch box: Finish starts nothing.
     {{.steps = {On(Click(IDC_ACTION)).Disables({IDC_ACTION}),
                 On().Ends().Says(IDS_INSTALL_DONE, IDS_FINISH_INFO).Shows({IDC_LAUNCH, IDOK, IDCANCEL})
                     .Hides({IDC_PROGRESS, IDC_ACTION}).Enables({IDOK, IDC_CLOSE}).Disables({IDCANCEL}).Mark(true)
                     .NoRestart().Shot("install-finished"),
                 kClearLaunchBox, kPressFinish},
       .exit = SetupSucceeded,
       .after = [](Ctx& c) {
           c.ExpectNoStart(1000);
           EXPECT_TRUE(FileExists(c.AppPath()));
           EXPECT_TRUE(HklmKeyExists(UninstallKey(c.config)));
       }}}},
    // The application runs: the install closes it first, which keeps Running long enough to
    // watch (as does the service tool's stop and removal over the earlier install).
    {"ReinstallShowsRunningRefusesToCloseAndFinishStartsTheApplication", L"main", false,
     [](Ctx& c) {
         ASSERT_TRUE(FileExists(c.AppPath())) << "needs the install of the case before";
         ASSERT_TRUE(c.app.Launch(c.AppPath()));
         ASSERT_TRUE(c.app.WaitFor([&] { return ::FindWindowW(nullptr, c.config.AppName) != nullptr; }, 30000));
         ClearJournal();
     },
     {{.steps = {On(Click(IDC_ACTION)).Waits(Page::Running).Says(IDS_INSTALL_RUNNING, IDS_INSTALL_RUNNING_INFO)
                     .Shows({IDC_ACTION}).Hides({IDC_LAUNCH}).Disables({IDC_ACTION, IDCANCEL, IDC_CLOSE}).Named()
                     .Shot("install-running"),
                 On().Then([](Ctx& c) {
                     // No way of ending the wizard works while the worker runs.
                     c.w.Key(VK_ESCAPE);
                     c.w.Key(VK_F4, true);
                     for (auto [msg, wParam] : {std::pair<UINT, WPARAM>{WM_CLOSE, 0}, {WM_SYSCOMMAND, SC_CLOSE},
                                                {WM_COMMAND, IDCANCEL}})
                         ::PostMessageW(c.w.Wnd(), msg, wParam, 0);
                     ::Sleep(200);
                     EXPECT_EQ(::WaitForSingleObject(c.w.m_pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);
                     ASSERT_TRUE(::IsWindow(c.w.Wnd()));
                     // The bar steps by 5 every 200 ms and never passes 95 before the end.
                     std::vector<int> seen;
                     for (DWORD start = ::GetTickCount(); IsRunning(c.w) && ::GetTickCount() - start < 600; ::Sleep(50))
                         seen.push_back(c.w.ProgressPos());
                     ASSERT_FALSE(seen.empty());
                     for (size_t i = 0; i < seen.size(); ++i) {
                         EXPECT_EQ(seen[i] % 5, 0) << seen[i];
                         EXPECT_LE(seen[i], 95);
                         EXPECT_GE(seen[i], seen[i ? i - 1 : 0]);
                     }
                     if (IsRunning(c.w)) {
                         EXPECT_GT(seen.back(), seen.front()) << "the bar did not advance in 600 ms";
                     }
                 }),
                 On().Ends().Says(IDS_INSTALL_DONE).Mark(true), kPressFinish},
       .after = [](Ctx& c) {
           EXPECT_TRUE(c.w.WaitFor([&] { return CountStarts(ReadJournal(), Narrow(c.config.AppFileName)) == 1; },
                                   30000))
               << Narrow(JournalPath());
           CloseRunningApplication(c.config.AppName);
       }}}},
    // Once the wizard's temporary copy has ended too, nothing of the install is left.
    {"UninstallKeepsTheBarAtHundredOffersNoBoxAndRemovesTheInstall", L"main", false,
     [](Ctx& c) {
         ASSERT_TRUE(FileExists(c.Dir() + L"\\Uninstall\\setup.exe")) << "needs the install of the cases before";
         ClearJournal();
     },
     {{.program = Program::Installed, .words = L"delpkg",
       .steps = {On().Then([](Ctx& c) { EXPECT_EQ(c.w.Title(), std::wstring(c.config.AppName) + kUninstallSuffix); }),
                 On(Click(IDC_ACTION)).Waits(Page::RunningOrEnded).Then([](Ctx& c) {
                     if (!IsRunning(c.w))
                         return;
                     EXPECT_EQ(c.w.Text(IDC_HEADING), c.Txt(IDS_REMOVE_RUNNING));
                     EXPECT_EQ(c.w.Text(IDC_INFO), c.Txt(IDS_REMOVE_RUNNING_INFO));
                     EXPECT_FALSE(c.w.Enabled(IDCANCEL));
                     EXPECT_FALSE(c.w.Enabled(IDC_CLOSE));
                     SaveScreenshot(c.w.Wnd(), "uninstall-running");
                 }),
                 On().Ends().Says(IDS_REMOVE_DONE, IDS_FINISH_INFO).Shows({IDC_PROGRESS}).Hides({IDC_LAUNCH, IDC_ACTION})
                     .Enables({IDC_CLOSE}).NoRestart().Shot("uninstall-finished").Then([](Ctx& c) {
                         EXPECT_TRUE(c.w.m_failBoxes.empty()) << Narrow(c.w.m_failBoxes.empty() ? L"" : c.w.m_failBoxes[0]);
                         EXPECT_EQ(c.w.ProgressPos(), 100);
                     }),
                 kPressFinish},
       .exit = SetupSucceeded,
       .after = [](Ctx& c) {
           EXPECT_TRUE(c.w.WaitWizardExit(kExitMs));
           EXPECT_NE(c.w.m_dwWizardPid, c.w.m_pi.dwProcessId) << "the wizard ran from a temporary copy";
           EXPECT_FALSE(FileExists(c.Dir()));
           EXPECT_FALSE(HklmKeyExists(UninstallKey(c.config)));
           EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + c.config.AppName + L".lnk"));
           EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + c.config.AppName));
           c.ExpectNoStart(500);
       }}}},

    // Keyboard and screen readers
    {"KeyboardAloneInstallsAndRemovesAndEveryControlIsNamed", L"keyboard", false, kClearJournal,
     {{.steps = {// The focus starts on Install, with no cue until the keyboard is used: the look is
                 // the one Install has without the focus, once the wizard has painted it.
                 On().Focus(IDC_ACTION).Named().Shot("keyboard-start").Then([](Ctx& c) {
                     c.plain = c.w.PaintedItemPixels(IDC_ACTION, kPaintMs);
                     ASSERT_FALSE(c.plain.empty()) << "Install was never painted";
                 }),
                 // Tab and Shift+Tab follow the picture: Install, Cancel, the close button, round again.
                 On(Key(VK_TAB)).Focus(IDCANCEL), On(Key(VK_TAB)).Focus(IDC_CLOSE), On(Key(VK_TAB)).Focus(IDC_ACTION),
                 On(Key(VK_TAB)).Focus(IDCANCEL).Then([](Ctx& c) {
                     EXPECT_TRUE(c.w.WaitFor([&] { return c.w.ItemPixels(IDC_ACTION) == c.plain; }, kPaintMs))
                         << "a cue without the focus";
                 }),
                 On(ShiftKey(VK_TAB)).Focus(IDC_ACTION).Shot("keyboard-ready").Then([](Ctx& c) {
                     EXPECT_TRUE(c.w.WaitFor([&] { return c.w.ItemPixels(IDC_ACTION) != c.plain; }, kPaintMs))
                         << "no focus cue";
                 }),
                 // Enter presses the focused button: Install. The keyboard continues on Finish.
                 On(Key(VK_RETURN)).Ends().Says(IDS_INSTALL_DONE).Focus(IDOK).Mark(true).Named().Shot("keyboard-finished"),
                 // Cancel is disabled: Tab passes it, and Escape does nothing.
                 On(Key(VK_TAB)).Focus(IDC_CLOSE), On(Key(VK_TAB)).Focus(IDC_LAUNCH).Shot("keyboard-finished-check-box"),
                 On(Key(VK_SPACE)).Mark(false),
                 On(Key(VK_ESCAPE)).Then([](Ctx& c) {
                     EXPECT_EQ(::WaitForSingleObject(c.w.m_pi.hProcess, 300), (DWORD)WAIT_TIMEOUT);
                 }),
                 On(Key(VK_TAB)).Focus(IDOK), On(Key(VK_RETURN))},
       .exit = SetupSucceeded,
       .after = [](Ctx& c) {
           EXPECT_TRUE(FileExists(c.AppPath()));
           c.ExpectNoStart(1000);
       }},
      // The removal: Enter on Remove, where the focus starts; Alt+F4 acts as the close button on
      // the finished page.
      {.program = Program::Installed, .words = L"delpkg",
       .steps = {On().Focus(IDC_ACTION).Named(), On(Key(VK_RETURN)).Ends().Says(IDS_REMOVE_DONE).Focus(IDOK).Named(),
                 On(AltKey(VK_F4))},
       .exit = SetupSucceeded,
       .after = [](Ctx& c) {
           EXPECT_TRUE(c.w.WaitWizardExit(kExitMs));
           EXPECT_FALSE(FileExists(c.Dir()));
       }}}},
    {"OlderLanguageLibraryNamesTheCloseButtonInEnglish", L"older-library", false,
     [](Ctx& c) {
         ASSERT_TRUE(c.pkg.UseProgramWithoutCatalogue());
         ASSERT_TRUE(RemoveCloseText(c.pkg.folder + L"setupENU.dll", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
         ASSERT_EQ(c.Txt(IDS_CLOSE), L"");
     },
     {{.steps = {On().Says(IDS_INSTALL_READY).Then([](Ctx& c) { EXPECT_EQ(c.w.AccessibleName(IDC_CLOSE), L"Close"); }),
                 On(Key(VK_ESCAPE))}}}},
    // The failed install puts back what it had made; what was there before stays.
    {"LockedApplicationExecutableGivesFailedAndNoLaunch", L"locked", false,
     [](Ctx& c) {
         ::CreateDirectoryW(c.Dir().c_str(), nullptr);
         ::CopyFileW((c.pkg.folder + L"Application\\" + c.config.AppFileName).c_str(), c.AppPath().c_str(), FALSE);
         c.hold.Attach(::CreateFileW(c.AppPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
         ASSERT_TRUE(c.hold.IsValid());
         ClearJournal();
     },
     {{.steps = {On(Click(IDC_ACTION)).Ends().Says(IDS_INSTALL_FAILED, IDS_FINISH_INFO).Shows({IDC_PROGRESS})
                     .Hides({IDC_LAUNCH}).Enables({IDC_CLOSE}).Disables({IDCANCEL}).Named().Shot("install-failed")
                     .Then([](Ctx& c) {
                         EXPECT_LE(c.w.ProgressPos(), 95);
                         ASSERT_EQ(1u, c.w.m_failBoxes.size());
                         EXPECT_EQ(0u, c.w.m_failBoxes[0].find(L"Fail to copy"));
                     }),
                 kPressFinish},
       .exit = SetupFileBusy,
       .after = [](Ctx& c) {
           c.ExpectNoStart(1000);
           c.hold.Close();
           EXPECT_FALSE(FileExists(c.Dir() + L"\\Uninstall"));
           EXPECT_TRUE(FileExists(c.AppPath()));
       }}}},
    // A file of the package changed after the build, here the service tool: the install finds
    // it changed where it copied it to, puts everything back and names the file; nothing of the
    // package ran. A changed language library is not used: the wizard cannot open without one.
    {"ChangedPackageFileGivesFailedAndNothingOfThePackageRuns", L"changed", false,
     [](Ctx& c) {
         RemoveEarlierInstall();
         ASSERT_TRUE(c.pkg.ChangeOneByte(L"Application\\Kelvrin.exe"));
         ClearJournal();
     },
     {{.steps = {On(Click(IDC_ACTION)).Ends().Says(IDS_INSTALL_FAILED).Then([](Ctx& c) {
                     ASSERT_EQ(1u, c.w.m_failBoxes.size());
                     EXPECT_EQ(c.w.m_failBoxes[0], L"\"" + c.pkg.folder + L"Application\\Kelvrin.exe\" was changed "
                                                   L"after the package was built; get the package again from the "
                                                   L"vendor.");
                 }),
                 kPressFinish},
       .exit = SetupRefused,
       .after = [](Ctx& c) {
           EXPECT_EQ(ReadJournal(), "");
           EXPECT_FALSE(FileExists(c.Dir()));
           ASSERT_TRUE(c.pkg.ChangeOneByte(L"setupENU.dll"));
       }},
      {.exit = SetupRefused}}},
    // A silent install killed after its sixth change (a power cut for the program) is rolled
    // back by the next run, here the wizard, which then installs in full; nothing of the killed
    // run is kept.
    {"WizardRollsBackAKilledInstallThenInstalls", L"killed", false,
     [](Ctx& c) {
         ::DeleteFileW(kKilledLog);
         WizardProcess killed;
         ::SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_AFTER_STEP", L"6");
         BOOL bLaunched = killed.Launch(c.pkg.folder + L"setup.exe", std::wstring(L"s /log=") + kKilledLog);
         ::SetEnvironmentVariableW(L"SETUP_TEST_PAUSE_AFTER_STEP", nullptr);
         ASSERT_TRUE(bLaunched);
         ASSERT_TRUE(killed.WaitFor(
             [&] { return ReadWholeFile(kKilledLog).find("test: paused after change 6") != std::string::npos; },
             kRunMs));
         killed.Kill();
         ASSERT_TRUE(FileExists(c.Dir() + L"\\Uninstall\\setup.exe"));
     },
     {{.words = L"/log=C:\\wizard-tests\\killed.log",
       .steps = {On(Click(IDC_ACTION)).Ends().Says(IDS_INSTALL_DONE), kClearLaunchBox, kPressFinish},
       .exit = SetupSucceeded,
       .after = [](Ctx& c) {
           const std::string text = ReadWholeFile(kKilledLog);
           EXPECT_NE(std::string::npos, text.find("recovery: the interrupted install was rolled back"));
           EXPECT_LT(text.find("recovery: the interrupted install was rolled back"), text.find("result: installed"));
           EXPECT_TRUE(FileExists(c.AppPath()));
           EXPECT_TRUE(HklmKeyExists(UninstallKey(c.config)));
           EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\" + c.config.AppFolderName + L" setup"));
           RemoveEarlierInstall();
       }}}},
    // In Finished and Failed Cancel is disabled and the close button enabled: the close button
    // still ends the wizard, without starting the application.
    {"CloseButtonEndsTheWizardAfterARun", L"close-after", false, kClearJournal,
     {{.steps = {On(Click(IDC_ACTION)).Ends().Then([](Ctx& c) { ASSERT_TRUE(c.w.Visible(IDC_LAUNCH)); }),
                 On(Click(IDC_CLOSE))},
       .exit = SetupSucceeded,   // the install was done
       .after = [](Ctx& c) { c.ExpectNoStart(1000); }}}},

    // Libraries beside the program: the package lies in a downloads folder among other files:
    // marker libraries under the names of DLLs that setup.exe imported or that the system loads
    // on demand never run, and the wizard still installs. The known DLLs among its imports lie
    // there too.
    {"LibrariesBesideTheProgramNeverRunAndTheWizardStillInstalls", L"planted", false,
     [](Ctx& c) {
         c.planted = std::make_unique<PlantedLibraries>(
             c.pkg.folder, std::vector<std::wstring>{L"comctl32", L"uxtheme", L"dwmapi", L"msimg32", L"winmm", L"propsys"},
             std::vector<std::wstring>{L"advapi32", L"gdi32", L"kernel32", L"msvcrt", L"ole32", L"shell32", L"user32"});
     },
     {{.steps = {On().Says(IDS_INSTALL_READY), On(Click(IDC_ACTION)).Ends().Says(IDS_INSTALL_DONE), On(Click(IDC_CLOSE))},
       .after = [](Ctx& c) {
           EXPECT_EQ(c.planted->Ran(), "");
           EXPECT_TRUE(FileExists(c.AppPath()));
       }}}},
};

// ---------------------------------------------------------------------------------------------
// The driver

void Do(const WizardProcess& w, const Input& in)
{
    if (in.kind == Input::Click)
        w.ClickItem(in.code);
    else if (in.kind == Input::Key)
        w.Key((WORD)in.code, in.bAlt, in.bShift);
    else if (in.kind == Input::SysCommand)
        ::PostMessageW(w.Wnd(), WM_SYSCOMMAND, in.code, 0);
}

void RunStep(Ctx& c, const Step& s)
{
    WizardProcess& w = c.w;
    Do(w, s.input);
    if (s.page != Page::Same) {
        ASSERT_TRUE(w.WaitFor([&] { return (s.page != Page::Running && IsEnded(w)) || (s.page != Page::Ended && IsRunning(w)); },
                              kRunMs));
    }
    for (const auto& t : s.texts)
        EXPECT_EQ(w.Text(t.first), c.Txt(t.second)) << "control " << t.first;
    for (int id : s.shown)
        EXPECT_TRUE(w.Visible(id)) << "control " << id << " hidden";
    for (int id : s.hidden)
        EXPECT_FALSE(w.Visible(id)) << "control " << id << " shown";
    for (int id : s.enabled)
        EXPECT_TRUE(w.Enabled(id)) << "control " << id << " disabled";
    for (int id : s.disabled)
        EXPECT_FALSE(w.Enabled(id)) << "control " << id << " enabled";
    if (s.focus) {
        EXPECT_TRUE(w.WaitFor([&] { return w.Focus() == w.Item(s.focus); }, 2000)) << "focus not on " << s.focus;
    }
    if (s.mark >= 0) {
        EXPECT_TRUE(w.WaitFor([&] { return CheckMarkShows(w, s.mark == 1); }, kPaintMs)) << "launch box mark";
    }
    if (s.bNamed)
        ExpectAccessibleNames(c);
    if (s.bNoRestart) {
        for (int id : {IDOK, IDCANCEL, IDC_ACTION, IDC_HEADING, IDC_INFO, IDC_TITLE, IDC_LAUNCH}) {
            EXPECT_NE(w.Text(id), c.Txt(IDS_RESTART_NOW)) << "control " << id;
            EXPECT_NE(w.Text(id), c.Txt(IDS_RESTART_LATER)) << "control " << id;
        }
    }
    if (s.check)
        s.check(c);
    if (s.shot)
        SaveScreenshot(w.Wnd(), ExpectedLang() == L"ENU" ? s.shot : (std::string(s.shot) + "-" + Narrow(ExpectedLang())).c_str());
}

// Starts the run's program (and gets its wizard when the run has steps), takes the steps, and
// checks how the program ended.
void RunProgram(Ctx& c, const WizardRun& run)
{
    std::optional<ScreenResolution> resolution;
    if (run.dpi != 96)
        resolution.emplace(run.dpi);
    SCOPED_TRACE(::testing::Message() << run.dpi << " dpi");
    c.dpi = run.dpi;
    c.w.Kill();
    c.w.m_hWnd = nullptr;
    c.w.m_dwWizardPid = 0;
    c.w.m_failBoxes.clear();
    if (run.program == Program::NoBackground) {
        ASSERT_TRUE(c.w.Launch(WinePath(NO_BACKGROUND_HOST)));
        HWND hBox = nullptr;
        ASSERT_TRUE(c.w.WaitFor([&] { return (hBox = c.w.FindMessageBox(L"Error loading bitmap")) != nullptr; }, 60000));
        ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
    } else {
        const std::wstring exe = run.program == Program::Installed ? c.Dir() + L"\\Uninstall\\setup.exe"
                                                                   : c.pkg.folder + L"setup.exe";
        ASSERT_TRUE(c.w.Launch(exe, run.words));
    }
    if (!run.steps.empty()) {
        ASSERT_TRUE(c.w.Attach()) << (c.planted ? c.planted->Ran() : "");
    }
    for (const Step& s : run.steps) {
        RunStep(c, s);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    DWORD code = kAnyExit;
    EXPECT_TRUE(c.w.WaitExit(kExitMs, &code));
    if (run.exit != kAnyExit) {
        EXPECT_EQ(code, run.exit) << ExitName(code) << " instead of " << ExitName(run.exit);
    }
    if (run.after)
        run.after(c);
}

class WizardTest : public ::testing::TestWithParam<size_t> {
protected:
    static void SetUpTestSuite()
    {
        ::CreateDirectoryW(L"C:\\wizard-tests", nullptr);
        ::SetEnvironmentVariableW(L"SETUP_TOOLS_JOURNAL", L"C:\\wizard-tests\\tools.log");
        SeeRealPixels();
        // The prefix may hold an install of an earlier run: every case starts without one.
        RemoveEarlierInstall();
    }
};

} // namespace

TEST_P(WizardTest, Case)
{
    const WizardCase& row = kWizardTestCases[GetParam()];
    Ctx c(row.package, row.bTitleBitmap);
    if (row.prepare)
        row.prepare(c);
    for (const WizardRun& run : row.runs) {
        if (HasFatalFailure())
            return;
        RunProgram(c, run);
    }
}

INSTANTIATE_TEST_SUITE_P(Wizard, WizardTest, ::testing::Range<size_t>(0, kWizardTestCases.size()),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kWizardTestCases[info.param].name; });

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
        for (const wchar_t* lang : kPackageLanguages) {
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
