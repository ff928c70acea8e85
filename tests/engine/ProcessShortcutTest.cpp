// RunProgram, LaunchApplication and the shortcut operations.
#include "EngineTestSupport.h"

namespace {

class ProcessShortcutTest : public EngineFixture {};

TEST_F(ProcessShortcutTest, RunProgramStartsAtNormalPriorityWithTheCommandLineAsGiven)
{
    std::wstring folder = m_package + L"with space";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring tool = folder + L"\\tool.exe";
    ASSERT_TRUE(::CopyFileW(WinePath(ENGINE_JOURNAL_TOOL).c_str(), tool.c_str(), FALSE));
    std::wstring commandLine = L"\"" + tool + L"\" -x \"two words\"";
    HANDLE hProcess = RunProgram(commandLine.c_str(), TRUE);
    ASSERT_NE(nullptr, hProcess);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hProcess, 10000));
    ::CloseHandle(hProcess);
    ExpectJournal(folder + L"\\journal.txt", { L"32|" + commandLine });

    EXPECT_EQ(nullptr, RunProgram((L"\"" + folder + L"\\missing.exe\"").c_str(), TRUE));
}

TEST_F(ProcessShortcutTest, LaunchApplicationReadsSetupIniWhenGivenNoRecord)
{
    SetupConfig config = Prepare();
    ASSERT_EQ(SetupSucceeded, CopyFilesAndRegister(m_package.c_str(), config));
    ASSERT_TRUE(LaunchApplication(m_package.c_str(), nullptr, FALSE));
    ExpectJournal(Installed(config, L"journal.txt"), { L"32|\"" + Installed(config, kAppFile) + L"\"" });

    SetupConfig unsafe = config;
    wcscpy(unsafe.AppFileName, L"..\\EngineTestApp.exe");
    EXPECT_FALSE(LaunchApplication(m_package.c_str(), &unsafe, FALSE));
}

TEST_F(ProcessShortcutTest, ProgramsShortcutReplacesAnOlderLinkAndKeepsTheGroup)
{
    std::wstring group = ProgramsGroup(m_appName);
    SetupConfig config = {};
    wcscpy(config.AppName, m_appName.c_str());
    m_cleanUp.push_back(config);

    ASSERT_TRUE(CreateProgramsShortcut(m_appName.c_str(), L"C:\\Old Place\\setup.exe", L"Uninstall", nullptr));
    WriteTextFile(group + L"\\Readme.txt", "user's file");
    ASSERT_TRUE(CreateProgramsShortcut(m_appName.c_str(), L"C:\\New Place\\setup.exe", L"Uninstall", L"delpkg"));
    ASSERT_NO_FATAL_FAILURE(ExpectLink(group + L"\\Uninstall.lnk", L"C:\\New Place\\setup.exe", L"delpkg"));

    DeleteProgramsShortcut(m_appName.c_str(), L"Uninstall", TRUE);
    EXPECT_FALSE(FileExists(group + L"\\Uninstall.lnk"));
    EXPECT_TRUE(FileExists(group));   // the user's file keeps it
    ::DeleteFileW((group + L"\\Readme.txt").c_str());
    DeleteProgramsShortcut(m_appName.c_str(), L"Uninstall", TRUE);
    EXPECT_FALSE(FileExists(group));
}

TEST_F(ProcessShortcutTest, DesktopShortcutReplacesAnOlderOne)
{
    SetupConfig config = {};
    wcscpy(config.AppName, m_appName.c_str());
    m_cleanUp.push_back(config);
    ASSERT_TRUE(CreateDesktopShortcut(L"C:\\Old Place\\app.exe", m_appName.c_str()));
    ASSERT_TRUE(CreateDesktopShortcut(L"C:\\New Place\\app.exe", m_appName.c_str()));
    ASSERT_NO_FATAL_FAILURE(ExpectLink(DesktopLink(m_appName), L"C:\\New Place\\app.exe", L""));
    DeleteDesktopShortcut(m_appName.c_str());
    EXPECT_FALSE(FileExists(DesktopLink(m_appName)));
}

} // namespace
