// Command-line words, run modes and the title-bitmap file each mode tests.
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include "app/SetupApp.h"
#include "tests/WinePath.h"

namespace {

CSetupCommandLineInfo Parse(const std::wstring& words)
{
    CSetupCommandLineInfo info;
    CWinApp::ParseCommandLineWords((L"setup.exe " + words).c_str(), info);
    return info;
}

SetupRunMode Mode(const std::wstring& words, const wchar_t* folder, std::wstring* titleBitmap = nullptr)
{
    CSetupCommandLineInfo info = Parse(words);
    WCHAR out[MAX_PATH];
    SetupRunMode mode = DecideRunMode(info, folder, out);
    if (titleBitmap)
        *titleBitmap = out;
    return mode;
}

const wchar_t kPkg[] = L"C:\\Pkg\\";

// Every row's words, given to the program in the package folder kPkg, select its mode.
void ExpectModes(std::initializer_list<std::pair<const wchar_t*, SetupRunMode>> rows)
{
    for (const auto& row : rows)
        EXPECT_EQ(row.second, Mode(row.first, kPkg)) << Narrow(row.first);
}

}  // namespace

TEST(CommandLine, FlagWordsAreCaseInsensitiveWithOrWithoutPrefix)
{
    ExpectModes({{L"/DELPKG", RunUninstallWizard}, {L"-delpkg", RunUninstallWizard}, {L"DelPkg", RunUninstallWizard},
                 {L"-s", RunSilentInstall}, {L"/S", RunSilentInstall}, {L"s", RunSilentInstall}});
}

TEST(CommandLine, UninstallWinsOverSilentInstall)
{
    ExpectModes({{L"delpkg s", RunUninstallWizard}, {L"s delpkg", RunUninstallWizard}});
}

TEST(CommandLine, OtherWordsStartTheInstallWizardWithoutTitleBitmapTest)
{
    std::wstring bmp = L"unset";
    EXPECT_EQ(RunInstallWizard, Mode(L"min", kPkg, &bmp));
    EXPECT_EQ(L"", bmp);
    // "s" must be the whole word.
    EXPECT_EQ(0, Parse(L"ss").m_bSilentInstall);
    EXPECT_EQ(RunInstallWizard, Mode(L"ss", kPkg));
}

TEST(CommandLine, SilentDelAndQuietSelectTheSilentRuns)
{
    std::wstring bmp, installed;
    CSetupCommandLineInfo info = Parse(L"/silentdel");
    WCHAR out[MAX_PATH], installedOut[MAX_PATH];
    EXPECT_EQ(RunSilentUninstall, DecideRunMode(info, L"C:\\Program Files\\VRX58Q\\Uninstall\\", out, installedOut));
    EXPECT_STREQ(L"C:\\Program Files\\VRX58Q\\Uninstall\\Application\\Lorvane.bmp", out);
    EXPECT_STREQ(L"C:\\Program Files\\VRX58Q\\Lorvane.bmp", installedOut);
    ExpectModes({{L"-SILENTDEL quiet", RunSilentUninstall}, {L"s SilentDel", RunSilentUninstall}});
    EXPECT_EQ(RunSilentInstall, Mode(L"quiet", kPkg, &bmp));
    EXPECT_EQ(L"C:\\Pkg\\Application\\Lorvane.bmp", bmp);
    EXPECT_EQ(1, Parse(L"/Quiet").m_bQuiet);
    // "progress" only shows a silent run's progress: alone it selects no silent run.
    EXPECT_EQ(1, Parse(L"s /Progress").m_bProgress);
    // The wizard's word wins over every silent one.
    ExpectModes({{L"SilentDel progress", RunSilentUninstall}, {L"progress", RunInstallWizard},
                 {L"SilentDel delpkg quiet", RunUninstallWizard}});
}

TEST(CommandLine, LogWordNamesTheLogAndSelectsNoMode)
{
    std::wstring bmp;
    CSetupCommandLineInfo info = Parse(L"\"/LOG=C:\\logs\\setup run.log\"");
    EXPECT_EQ(1, info.m_bLog);
    EXPECT_STREQ(L"C:\\logs\\setup run.log", info.m_szLogPath);
    EXPECT_EQ(0, info.m_nParams);
    EXPECT_EQ(RunInstallWizard, Mode(L"-log=x.log", kPkg, &bmp));
    EXPECT_EQ(L"C:\\Pkg\\Application\\Lorvane.bmp", bmp);   // as with no words at all
    EXPECT_EQ(RunSilentInstall, Mode(L"log=x.log s", kPkg));
    info = Parse(L"s /log");
    EXPECT_EQ(1, info.m_bLog);
    EXPECT_STREQ(L"", info.m_szLogPath);
    // A path that does not fit asks for no log rather than for a different file.
    info = Parse(L"/log=C:\\" + std::wstring(300, L'x'));
    EXPECT_EQ(1, info.m_bLogPathTooLong);
    EXPECT_STREQ(L"", info.m_szLogPath);
    EXPECT_EQ(0, Parse(L"logfile").m_bLog);
}

TEST(CommandLine, FlagWordsAreStoredWithADash)
{
    CSetupCommandLineInfo info = Parse(L"/DelPkg plain -s");
    ASSERT_EQ(3, info.m_nParams);
    EXPECT_STREQ(L"-DelPkg", info.m_szParams[0]);
    EXPECT_STREQ(L"plain", info.m_szParams[1]);
    EXPECT_STREQ(L"-s", info.m_szParams[2]);
}

TEST(CommandLine, EveryWordIsRecognisedButOnlyFourAreStored)
{
    CSetupCommandLineInfo info = Parse(L"a b c d e f g s");
    EXPECT_EQ(8, info.m_nParams);
    EXPECT_EQ(1, info.m_bSilentInstall);
    EXPECT_STREQ(L"d", info.m_szParams[3]);
    EXPECT_EQ(RunUninstallWizard, Mode(L"1 2 3 4 5 6 7 8 9 10 delpkg", kPkg));
}

TEST(CommandLine, OverlongWordsAreCutInsideTheirSlot)
{
    std::wstring longWord(400, L'x');
    CSetupCommandLineInfo info = Parse(longWord + L" /" + longWord + L" after");
    ASSERT_EQ(3, info.m_nParams);
    EXPECT_EQ(259u, wcslen(info.m_szParams[0]));
    EXPECT_EQ(259u, wcslen(info.m_szParams[1]));
    EXPECT_EQ(L'-', info.m_szParams[1][0]);
    EXPECT_STREQ(L"after", info.m_szParams[2]);   // the neighbour slot is untouched
}

TEST(RunMode, InstallModesTestThePackagesTitleBitmap)
{
    std::wstring bmp;
    EXPECT_EQ(RunInstallWizard, Mode(L"", kPkg, &bmp));
    EXPECT_EQ(L"C:\\Pkg\\Application\\Lorvane.bmp", bmp);
    EXPECT_EQ(RunSilentInstall, Mode(L"s", kPkg, &bmp));
    EXPECT_EQ(L"C:\\Pkg\\Application\\Lorvane.bmp", bmp);
}

TEST(RunMode, UninstallTestsTheBitmapBesideItsUninstallFolder)
{
    const struct {
        const wchar_t* folder;
        const wchar_t* bmp;
    } rows[] = {
        {L"C:\\Program Files\\VRX58Q\\Uninstall\\", L"C:\\Program Files\\VRX58Q\\Lorvane.bmp"},
        // The last component named exactly "Uninstall" counts, not the first occurrence.
        {L"C:\\Uninstall\\Pkgs\\VRX58Q\\Uninstall\\", L"C:\\Uninstall\\Pkgs\\VRX58Q\\Lorvane.bmp"},
        {L"C:\\UninstallData\\VRX58Q\\", L""},
        {L"C:\\VRX58Q\\uninstall\\", L""},
        {L"C:\\Pkg\\", L""},
    };
    for (const auto& row : rows) {
        std::wstring bmp = L"unset";
        EXPECT_EQ(RunUninstallWizard, Mode(L"delpkg", row.folder, &bmp)) << Narrow(row.folder);
        EXPECT_EQ(row.bmp, bmp) << Narrow(row.folder);
    }
}

TEST(RunMode, ATitleBitmapPathThatWouldNotFitIsNotTested)
{
    std::wstring folder = L"C:\\" + std::wstring(240, L'p') + L"\\";
    std::wstring bmp = L"unset";
    EXPECT_EQ(RunInstallWizard, Mode(L"", folder.c_str(), &bmp));
    EXPECT_EQ(L"", bmp);
}

TEST(PathFolder, KeepsEverythingUpToTheLastBackslash)
{
    WCHAR out[MAX_PATH];
    EXPECT_TRUE(GetPathFolder(L"C:\\Pkg\\Sub\\setup.exe", out));
    EXPECT_STREQ(L"C:\\Pkg\\Sub\\", out);
    EXPECT_TRUE(GetPathFolder(L"setup.exe", out));
    EXPECT_STREQ(L"", out);
    std::wstring tooLong = L"C:\\" + std::wstring(300, L'a') + L"\\x.exe";
    EXPECT_FALSE(GetPathFolder(tooLong.c_str(), out));
    EXPECT_STREQ(L"", out);
}
