// UninstallApplication and DeleteFilesAndUnregister after a real install.
#include "EngineTestSupport.h"

namespace {

class UninstallTest : public EngineFixture {
protected:
    SetupConfig InstallPackage(const PackageOptions& options)
    {
        SetupConfig config = Prepare(options);
        EXPECT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
        return config;
    }
};

TEST_F(UninstallTest, RemovesExactlyTheInstalledItemsAndKeepsTheRest)
{
    SetupConfig config = InstallPackage({ true, true, false, 0 });
    WriteTextFile(Installed(config, L"VL.cfg"), "settings");
    WriteTextFile(Installed(config, L"notes.txt"), "other");
    std::wstring group = ProgramsGroup(m_appName);
    WriteTextFile(group + L"\\Readme.txt", "user's file");

    EXPECT_EQ(SetupSucceeded, UninstallApplication(config));
    EXPECT_TRUE(g_recordedMessages.empty());
    // Everything the install put there goes; the user's file keeps the install folder.
    for (const wchar_t* gone : { L"mingwm10.dll", kAppFile, L"Lorvane.bmp", L"VL.cfg", L"title_about.bmp",
                                 L"Uninstall\\setup.exe", L"Uninstall\\setup.ini", L"Uninstall\\setupENU.dll",
                                 L"Uninstall" })
        EXPECT_FALSE(FileExists(Installed(config, gone))) << gone;
    EXPECT_TRUE(FileExists(Installed(config, L"notes.txt")));
    EXPECT_FALSE(HklmKeyExists(UninstallKey(config)));
    bool found = true;
    ReadHklmString(RegistryPrefix() + L"Run", m_appName.c_str(), &found);
    EXPECT_FALSE(found);
    EXPECT_FALSE(FileExists(DesktopLink(m_appName)));
    EXPECT_FALSE(FileExists(group + L"\\" + m_appName + L".lnk"));
    EXPECT_FALSE(FileExists(group + L"\\Uninstall.lnk"));
    EXPECT_TRUE(FileExists(group + L"\\Readme.txt"));

    // A second uninstall finds nothing and passes quietly; without the user's file the
    // install folder goes too.
    ::DeleteFileW(Installed(config, L"notes.txt").c_str());
    EXPECT_EQ(SetupSucceeded, UninstallApplication(config));
    EXPECT_TRUE(g_recordedMessages.empty());
    EXPECT_FALSE(FileExists(config.InstallDir));
}

TEST_F(UninstallTest, Version6StopsTheServiceAndLeavesRunValuesAlone)
{
    g_bIsNt6 = TRUE;
    SetupConfig config = InstallPackage({ false, false, true, 0 });
    std::wstring journal = Installed(config, L"journal.txt");
    ASSERT_EQ(1u, ReadJournal(journal, 1).size());
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (RegistryPrefix() + L"Run").c_str(), 0, KEY_WRITE, &hKey));
    ::RegSetValueExW(hKey, m_appName.c_str(), 0, REG_SZ, (const BYTE*)L"x", 4);
    ::RegCloseKey(hKey);

    EXPECT_EQ(SetupSucceeded, UninstallApplication(config));
    std::wstring tool = L"32|\"" + Installed(config, L"Kelvrin.exe") + L"\"";
    ExpectJournal(journal, { tool + L" -i", tool + L" -k", tool + L" -u" });
    EXPECT_FALSE(FileExists(Installed(config, L"Kelvrin.exe")));
    EXPECT_EQ(L"x", ReadHklmString(RegistryPrefix() + L"Run", m_appName.c_str()));
    EXPECT_FALSE(FileExists(ProgramsGroup(m_appName)));   // empty, so removed
}

// While the executable cannot be deleted nothing else goes either: the install stays whole,
// with the entry that runs the uninstall again.
TEST_F(UninstallTest, ExecutableThatCannotBeDeletedFailsTheUninstallAndKeepsTheInstall)
{
    SetupConfig config = InstallPackage(PackageOptions());
    std::vector<std::wstring> before = Snapshot(config);
    CFileHandle hLock = HoldFile(Installed(config, kAppFile));
    ASSERT_TRUE(hLock.IsValid());
    EXPECT_EQ(SetupFileBusy, DeleteFilesAndUnregister(config));
    EXPECT_EQ(SetupFileBusy, UninstallApplication(config));
    hLock.Close();
    EXPECT_EQ(before, Snapshot(config));
    EXPECT_TRUE(FileExists(Installed(config, L"mingwm10.dll")));
    EXPECT_TRUE(HklmKeyExists(UninstallKey(config)));
    ASSERT_EQ(2u, g_recordedMessages.size());
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(L"Fail to remove \"" + Installed(config, kAppFile)));
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(L"in use by another program"));
    // A folder in the executable's place is denied as a file in use is, but no later try would help.
    const std::wstring exe = Installed(config, kAppFile);
    ASSERT_TRUE(::MoveFileW(exe.c_str(), (exe + L".aside").c_str()));
    ASSERT_TRUE(::CreateDirectoryW(exe.c_str(), nullptr));
    EXPECT_EQ(SetupFailed, UninstallApplication(config));
    ASSERT_EQ(3u, g_recordedMessages.size());
    EXPECT_EQ(std::wstring::npos, g_recordedMessages[2].text.find(L"in use"));
    ASSERT_TRUE(::RemoveDirectoryW(exe.c_str()) && ::MoveFileW((exe + L".aside").c_str(), exe.c_str()));
    // A read-only executable, as a package copied from read-only media installs it, goes all the same.
    ASSERT_TRUE(::SetFileAttributesW(exe.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(SetupSucceeded, UninstallApplication(config));
    EXPECT_FALSE(FileExists(exe));
    EXPECT_FALSE(HklmKeyExists(UninstallKey(config)));
}

// The title bitmap selects the product section of setup.ini: while the entry stays because a
// file is held, the bitmap stays with it, and the next uninstall removes the same product.
TEST_F(UninstallTest, HeldRuntimeKeepsTheEntryAndTheTitleBitmap)
{
    SetupConfig config = InstallPackage({ true, true, false, 0 });
    CFileHandle hLock = HoldFile(Installed(config, L"mingwm10.dll"));
    ASSERT_TRUE(hLock.IsValid());
    EXPECT_EQ(SetupFileBusy, UninstallApplication(config));
    hLock.Close();
    EXPECT_TRUE(FileExists(Installed(config, L"Lorvane.bmp")));
    EXPECT_TRUE(HklmKeyExists(UninstallKey(config)));
    EXPECT_EQ(SetupSucceeded, UninstallApplication(config));
    EXPECT_FALSE(FileExists(Installed(config, L"Lorvane.bmp")));
    EXPECT_FALSE(HklmKeyExists(UninstallKey(config)));
}

} // namespace
