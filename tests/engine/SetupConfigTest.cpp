// ReadSetupConfig on real setup.ini files.
#include "EngineTestSupport.h"

namespace {

class SetupConfigTest : public EngineFixture {
protected:
    void WriteIni(const std::string& text) { WriteTextFile(m_package + L"setup.ini", text); }
    SetupConfig Read(BOOL bTitleBitmap = FALSE) { return ReadConfig(bTitleBitmap); }
    static std::wstring Drive()
    {
        WCHAR windows[MAX_PATH];
        ::GetWindowsDirectoryW(windows, MAX_PATH);
        return std::wstring(windows, wcschr(windows, L'\\') + 1);
    }
};

TEST_F(SetupConfigTest, MissingFileGivesEveryDefault)
{
    SetupConfig config = Read();
    EXPECT_EQ(SystemProgramFiles() + L"\\VRX58Q", config.InstallDir);
    EXPECT_STREQ(L"VRX58QRaidSetup.exe", config.AppFileName);
    EXPECT_STREQ(L"Varelon VRX58Q RAID Manager", config.AppName);
    EXPECT_STREQ(L"Varelon Technology Corp.", config.CompanyName);
    EXPECT_STREQ(L"VRX58Q", config.AppFolderName);
    EXPECT_STREQ(L"1.00.00", config.Version);
    EXPECT_EQ(0u, config.LaunchAppInSilentMode);
}

// The system names Program Files: a German Windows after XP calls it "Program Files" too.
TEST_F(SetupConfigTest, ProgramFilesFolderComesFromTheSystem)
{
    WriteIni("[Customized_Setting]\r\nAPPFolderName=Target\r\n");
    g_bGermanUi = TRUE;
    EXPECT_EQ(SystemProgramFiles() + L"\\Target", Read().InstallDir);
    g_bGermanUi = FALSE;
    g_bSpanishSystem = TRUE;
    EXPECT_EQ(SystemProgramFiles() + L"\\Target", Read().InstallDir);
}

BOOL SystemCannotSay(LPWSTR)
{
    return FALSE;
}

TEST_F(SetupConfigTest, WhereTheSystemCannotSayTheFolderFollowsLanguageAndPlatform)
{
    g_pfnGetProgramFilesFolder = SystemCannotSay;
    struct Row {
        BOOL german, spanish, nt6, wow64;
        const wchar_t* folder;
    } rows[] = {
        { 1, 0, 0, 1, L"Program Files (x86)" },   { 1, 1, 1, 1, L"Program Files (x86)" },
        { 1, 0, 0, 0, L"Programme" },             { 1, 1, 1, 0, L"Programme" },
        { 0, 1, 1, 0, L"Program Files" },         { 0, 1, 1, 1, L"Program Files" },
        { 0, 1, 0, 1, L"Program Files" },         { 0, 1, 0, 0, L"Archivos de programa" },
        { 0, 0, 0, 1, L"Program Files (x86)" },   { 0, 0, 1, 1, L"Program Files (x86)" },
        { 0, 0, 0, 0, L"Program Files" },         { 0, 0, 1, 0, L"Program Files" },
    };
    WriteIni("[Customized_Setting]\r\nAPPFolderName=Target\r\n");
    for (const Row& row : rows) {
        g_bGermanUi = row.german;
        g_bSpanishSystem = row.spanish;
        g_bIsNt6 = row.nt6;
        g_bIsWow64 = row.wow64;
        EXPECT_EQ(Drive() + row.folder + L"\\Target", Read().InstallDir)
            << "german " << row.german << " spanish " << row.spanish << " nt6 " << row.nt6 << " wow64 " << row.wow64;
    }
}

// An installed copy keeps its folder, as its uninstall entry names it, when that folder holds
// the installed executable; otherwise the Program Files folder counts.
TEST_F(SetupConfigTest, InstalledCopyKeepsTheFolderItsUninstallEntryNames)
{
    WriteIni("[Customized_Setting]\r\nAPPFolderName=" + std::string(m_folderName.begin(), m_folderName.end())
             + "\r\nAPPFileName=App.exe\r\n");
    const std::wstring base = MakeTempFolder() + L"Archivos de programa";
    const std::wstring other = base + L"\\" + m_folderName, empty = MakeTempFolder() + m_folderName;
    const std::wstring renamed = base + L"\\Renamed", system = SystemProgramFiles() + L"\\" + m_folderName;
    for (const std::wstring& folder : { base, other, empty, renamed })
        ::CreateDirectoryW(folder.c_str(), nullptr);
    WriteTextFile(other + L"\\App.exe", "app");
    WriteTextFile(renamed + L"\\App.exe", "app");
    const std::wstring key = RegistryPrefix() + L"Uninstall\\" + m_folderName;
    struct Row {
        std::wstring location, uninstall;   // empty: the value is missing
        std::wstring expected;
    } rows[] = {
        { other, L"\"" + system + L"\\Uninstall\\setup.exe\" delpkg", other },
        { other + L"\\", L"", other },
        { L"", L"\"" + other + L"\\Uninstall\\setup.exe\" delpkg", other },
        { L"", other + L"\\Uninstall\\setup.exe delpkg", other },             // earlier versions: unquoted
        { empty, other + L"\\Uninstall\\setup.exe delpkg", other },           // no executable there
        { empty, L"\"" + empty + L"\\Uninstall\\setup.exe\" delpkg", system },
        { renamed, L"", system },                                               // another product's folder
        { base + L"\\..\\Archivos de programa\\" + m_folderName, L"", system },  // not a plain full path
        { L"App", L"App\\Uninstall\\setup.exe", system },
        { L"", L"", system },
    };
    for (const Row& row : rows) {
        HKEY hKey;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                                   &hKey, nullptr));
        for (auto value : { std::make_pair(L"InstallLocation", &row.location),
                            std::make_pair(L"UninstallString", &row.uninstall) }) {
            ::RegDeleteValueW(hKey, value.first);
            if (!value.second->empty())
                ::RegSetValueExW(hKey, value.first, 0, REG_SZ, (const BYTE*)value.second->c_str(),
                                 (DWORD)(value.second->size() + 1) * sizeof(WCHAR));
        }
        ::RegCloseKey(hKey);
        EXPECT_EQ(row.expected, Read().InstallDir) << row.location << L" | " << row.uninstall;
    }
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    EXPECT_EQ(system, Read().InstallDir);
    DeleteTree(base);
    DeleteTree(empty);
}

TEST_F(SetupConfigTest, SectionChoiceSelectsProductKeysWhileStartupIsShared)
{
    WriteIni("[Customized_Setting]\r\nAPPFolderName=Plain\r\nAPPFileName=plain.exe\r\nAppName=Plain Name\r\n"
             "LaunchAPInSilentMode=1\r\n"
             "[TURBOVOLUME_Customized_Setting]\r\nAppName=Turbo Name\r\n"
             "[Startup]\r\nCompanyName=Maker\r\nVersion=3.2.1\r\n");
    SetupConfig plain = Read(FALSE);
    EXPECT_EQ(SystemProgramFiles() + L"\\Plain", plain.InstallDir);
    EXPECT_STREQ(L"plain.exe", plain.AppFileName);
    EXPECT_STREQ(L"Plain Name", plain.AppName);
    EXPECT_STREQ(L"Maker", plain.CompanyName);
    EXPECT_STREQ(L"3.2.1", plain.Version);
    EXPECT_EQ(1u, plain.LaunchAppInSilentMode);

    // Keys missing from the chosen section take the defaults, not the other section's values.
    SetupConfig turbo = Read(TRUE);
    EXPECT_STREQ(L"Turbo Name", turbo.AppName);
    EXPECT_STREQ(L"VRX58Q", turbo.AppFolderName);
    EXPECT_STREQ(L"VRX58QRaidSetup.exe", turbo.AppFileName);
    EXPECT_EQ(0u, turbo.LaunchAppInSilentMode);
    EXPECT_STREQ(L"Maker", turbo.CompanyName);
}

TEST_F(SetupConfigTest, EmptyValuesLeaveFieldsEmpty)
{
    WriteIni("[Customized_Setting]\r\nAPPFolderName=\r\nAPPFileName=\r\nAppName=\r\n"
             "[Startup]\r\nCompanyName=\r\nVersion=\r\n");
    SetupConfig config = Read();
    EXPECT_STREQ(L"", config.AppFolderName);
    EXPECT_STREQ(L"", config.InstallDir);
    EXPECT_STREQ(L"", config.AppFileName);
    EXPECT_STREQ(L"", config.AppName);
    EXPECT_STREQ(L"", config.CompanyName);
    EXPECT_STREQ(L"", config.Version);
}

TEST_F(SetupConfigTest, LongValuesAreCutAt259Units)
{
    std::string longName(300, 'n');
    WriteIni("[Customized_Setting]\r\nAPPFileName=" + longName + "\r\nAppName=" + longName
             + "\r\n[Startup]\r\nVersion=" + longName + "\r\n");
    SetupConfig config = Read();
    EXPECT_EQ(std::wstring(259, L'n'), config.AppFileName);
    EXPECT_EQ(std::wstring(259, L'n'), config.AppName);
    EXPECT_EQ(std::wstring(259, L'n'), config.Version);
}

TEST_F(SetupConfigTest, InstallFolderThatWouldNotFitStaysEmpty)
{
    WriteIni("[Customized_Setting]\r\nAPPFolderName=" + std::string(250, 'f') + "\r\n");
    SetupConfig config = Read();
    EXPECT_EQ(std::wstring(250, L'f'), config.AppFolderName);
    EXPECT_STREQ(L"", config.InstallDir);
}

TEST_F(SetupConfigTest, LaunchKeyIsAFlag)
{
    WriteIni("[Customized_Setting]\r\nLaunchAPInSilentMode=5\r\n");
    EXPECT_EQ(1u, Read().LaunchAppInSilentMode);
    WriteIni("[Customized_Setting]\r\nLaunchAPInSilentMode=yes\r\n");
    EXPECT_EQ(0u, Read().LaunchAppInSilentMode);
    WriteIni("[Customized_Setting]\r\nLaunchAPInSilentMode=0\r\n");
    EXPECT_EQ(0u, Read().LaunchAppInSilentMode);
}

} // namespace
