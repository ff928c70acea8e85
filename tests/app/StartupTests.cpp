// The real setup.exe at start: platform flags, the Compatibility Assistant value and the
// single-instance guard. Runs in prefixes of its own (win32 and win64), since it switches
// the Windows version that the prefix reports for setup.exe.
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include "app/SetupApp.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

void SetWindowsVersionFor(const wchar_t* exeName, const wchar_t* version)
{
    std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + exeName;
    HKEY h;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr));
    RegSetValueExW(h, L"Version", 0, REG_SZ, (const BYTE*)version, (DWORD)(wcslen(version) + 1) * 2);
    RegCloseKey(h);
}

// A package folder holding only setup.exe (no language library: nothing is shown).
struct BareSetup {
    TempDir dir{L"Startup"};
    std::wstring exe = dir.Path() + L"Setup.exe";
    BareSetup() { EXPECT_TRUE(CopyTo(PackageDir() + L"setup.exe", exe)); }
};

}  // namespace

TEST(Startup, DetectsA32BitProcessOn64BitWindows)
{
    const char* expect = getenv("SETUP_EXPECT_WOW64");
    ASSERT_NE(nullptr, expect) << "set by the test registration";
    EXPECT_EQ(atoi(expect), IsWow64());
}

TEST(Startup, WindowsVersion6AndLaterWriteTheCompatibilityAssistantValue)
{
    BareSetup pkg;
    std::wstring valueName = Lower(pkg.exe);
    // Wine reports 6.2 for win8 and win81, and 10.0 for win10 to setup.exe, whose manifest
    // declares Windows 10.
    const struct {
        const wchar_t* version;
        bool written;
    } rows[] = {
        {L"win7", true}, {L"win8", true}, {L"win81", true}, {L"win10", true}, {L"winxp", false},
    };
    for (const auto& row : rows) {
        DeleteCompatibilityValue(valueName);
        SetWindowsVersionFor(L"setup.exe", row.version);
        EXPECT_EQ(2, RunAndWait(L"\"" + pkg.exe + L"\" nowizard"));   // no language library: refused at once
        bool found = false;
        const bool bWritten = ReadCompatibilityValue(valueName, &found) == 1 && found;
        EXPECT_EQ(row.written, bWritten) << row.version;
    }
    DeleteCompatibilityValue(valueName);
    SetWindowsVersionFor(L"setup.exe", L"win7");
}

TEST(Startup, EveryNtVersionFrom6OnIsVersion6)
{
    // This test program runs with the prefix's default version, Windows 7.
    EXPECT_TRUE(IsWindowsNt6());
    const struct {
        DWORD platform, major;
        BOOL nt6;
    } rows[] = {
        {VER_PLATFORM_WIN32_NT, 5, FALSE},        // 2000, XP, Server 2003
        {VER_PLATFORM_WIN32_NT, 6, TRUE},         // Vista to 8.1, and 10 and 11 without a manifest
        {VER_PLATFORM_WIN32_NT, 10, TRUE},        // 10 and 11 with a manifest that names them
        {VER_PLATFORM_WIN32_NT, 11, TRUE},
        {VER_PLATFORM_WIN32_WINDOWS, 6, FALSE},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.nt6, IsNt6OrLater(row.platform, row.major)) << row.platform << " " << row.major;
}

TEST(Startup, ASecondInstanceEndsAtOnceAndDoesNothing)
{
    BareSetup pkg;
    WriteWholeFile(pkg.dir.Path() + L"setup.ini",
                  "[Customized_Setting]\r\nAPPFolderName=SecondInstanceProbe\r\n");
    HANDLE first = CreateMutexW(nullptr, FALSE, SETUP_MUTEX_NAME);
    ASSERT_NE(nullptr, first);
    DWORD start = GetTickCount();
    EXPECT_EQ(3, RunAndWait(L"\"" + pkg.exe + L"\" s", 30000));   // busy: try again later
    EXPECT_LT(GetTickCount() - start, 20000u);
    CloseHandle(first);
    EXPECT_FALSE(FileExists(L"C:\\Program Files\\SecondInstanceProbe"));
    EXPECT_FALSE(FileExists(L"C:\\Program Files (x86)\\SecondInstanceProbe"));
}

// The temporary uninstall copy's words count only in the copy's own temporary folder: from a
// package folder, even naming this very process as the starter while another setup holds the
// guard, they make no copy, and nothing beside the program is deleted.
TEST(Startup, CopyWordsOutsideTheCopysFolderDeleteNothing)
{
    BareSetup pkg;
    WriteWholeFile(pkg.dir.Path() + L"setup.ini", "[Customized_Setting]\r\nAPPFolderName=CopyWordsProbe\r\n");
    WriteWholeFile(pkg.dir.Path() + L"readme.txt", "the package's own file");
    HANDLE guard = CreateMutexW(nullptr, FALSE, SETUP_MUTEX_NAME);
    ASSERT_NE(nullptr, guard);
    std::wstring folder = pkg.dir.Path().substr(0, pkg.dir.Path().size() - 1);
    // 4294967295: the current-process pseudo-handle, as the system reads a handle's low 32 bits.
    for (const wchar_t* words : { L" SilentDel quiet", L" delpkg", L" s" })
        EXPECT_EQ(3, RunAndWait(L"\"" + pkg.exe + L"\"" + words + L" \"/from=" + folder
                                + L"\" /parent=4294967295 /result=4", 30000)) << words;
    CloseHandle(guard);
    EXPECT_TRUE(FileExists(pkg.exe));
    EXPECT_TRUE(FileExists(pkg.dir.Path() + L"readme.txt"));
    EXPECT_TRUE(FileExists(pkg.dir.Path() + L"setup.ini"));
}

TEST(Startup, OneInstanceTakesAndReleasesTheMutex)
{
    HANDLE h1 = nullptr, h2 = nullptr;
    ASSERT_TRUE(AcquireSingleInstanceMutex(L"VRX58Q_INSTALL_TEST", &h1));
    EXPECT_FALSE(AcquireSingleInstanceMutex(L"VRX58Q_INSTALL_TEST", &h2));
    EXPECT_EQ(nullptr, h2);
    CloseHandle(h1);
    ASSERT_TRUE(AcquireSingleInstanceMutex(L"VRX58Q_INSTALL_TEST", &h2));
    CloseHandle(h2);
}
