// ReadSetupConfig on real setup.ini files.
#include "EngineTestSupport.h"
#include <iterator>
#include <optional>

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

// What ReadSetupConfig gives for a setup.ini (none for a null text), with or without the
// title bitmap; a field left empty is not looked at. "<PF>" stands for the system's Program
// Files folder.
struct ConfigRead {
    const char* ini;
    BOOL bTitleBitmap;
    std::optional<std::wstring> installDir, appFileName, appName, companyName, appFolderName, version;
    std::optional<DWORD> launch;
};
struct ConfigCase {
    const char* name;
    std::vector<ConfigRead> reads;
};

const std::string kSections = "[Customized_Setting]\r\nAPPFolderName=Plain\r\nAPPFileName=plain.exe\r\n"
                              "AppName=Plain Name\r\nLaunchAPInSilentMode=1\r\n"
                              "[TURBOVOLUME_Customized_Setting]\r\nAppName=Turbo Name\r\n"
                              "[Startup]\r\nCompanyName=Maker\r\nVersion=3.2.1\r\n";
const std::string kLong = "[Customized_Setting]\r\nAPPFileName=" + std::string(300, 'n') + "\r\nAppName="
    + std::string(300, 'n') + "\r\n[Startup]\r\nVersion=" + std::string(300, 'n') + "\r\n";
const std::string kLongFolder = "[Customized_Setting]\r\nAPPFolderName=" + std::string(250, 'f') + "\r\n";
const std::wstring k259(259, L'n');

const ConfigCase kSetupConfigTestCases[] = {
    {"MissingFileGivesEveryDefault",
     {{nullptr, FALSE, L"<PF>\\VRX58Q", L"VRX58QRaidSetup.exe", L"Varelon VRX58Q RAID Manager",
       L"Varelon Technology Corp.", L"VRX58Q", L"1.00.00", 0}}},
    // Keys missing from the chosen section take the defaults, not the other section's values.
    {"SectionChoiceSelectsProductKeysWhileStartupIsShared",
     {{kSections.c_str(), FALSE, L"<PF>\\Plain", L"plain.exe", L"Plain Name", L"Maker", {}, L"3.2.1", 1},
      {kSections.c_str(), TRUE, {}, L"VRX58QRaidSetup.exe", L"Turbo Name", L"Maker", L"VRX58Q", {}, 0}}},
    {"EmptyValuesLeaveFieldsEmpty",
     {{"[Customized_Setting]\r\nAPPFolderName=\r\nAPPFileName=\r\nAppName=\r\n[Startup]\r\nCompanyName=\r\nVersion=\r\n",
       FALSE, L"", L"", L"", L"", L"", L""}}},
    {"LongValuesAreCutAt259Units", {{kLong.c_str(), FALSE, {}, k259, k259, {}, {}, k259}}},
    {"InstallFolderThatWouldNotFitStaysEmpty",
     {{kLongFolder.c_str(), FALSE, L"", {}, {}, {}, std::wstring(250, L'f')}}},
    {"LaunchKeyIsAFlag",
     {{"[Customized_Setting]\r\nLaunchAPInSilentMode=5\r\n", FALSE, {}, {}, {}, {}, {}, {}, 1},
      {"[Customized_Setting]\r\nLaunchAPInSilentMode=yes\r\n", FALSE, {}, {}, {}, {}, {}, {}, 0},
      {"[Customized_Setting]\r\nLaunchAPInSilentMode=0\r\n", FALSE, {}, {}, {}, {}, {}, {}, 0}}},
};

class SetupConfigRow : public SetupConfigTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(SetupConfigRow, Reads)
{
    for (const ConfigRead& r : kSetupConfigTestCases[GetParam()].reads) {
        SCOPED_TRACE(r.ini ? r.ini : "no setup.ini");
        if (r.ini)
            WriteIni(r.ini);
        const SetupConfig config = Read(r.bTitleBitmap);
        auto expect = [](const std::optional<std::wstring>& expected, const wchar_t* actual, const char* field) {
            if (!expected)
                return;
            std::wstring value = *expected;
            if (value.compare(0, 4, L"<PF>") == 0)
                value = SystemProgramFiles() + value.substr(4);
            EXPECT_EQ(value, actual) << field;
        };
        expect(r.installDir, config.InstallDir, "InstallDir");
        expect(r.appFileName, config.AppFileName, "AppFileName");
        expect(r.appName, config.AppName, "AppName");
        expect(r.companyName, config.CompanyName, "CompanyName");
        expect(r.appFolderName, config.AppFolderName, "AppFolderName");
        expect(r.version, config.Version, "Version");
        if (r.launch) {
            EXPECT_EQ(*r.launch, config.LaunchAppInSilentMode);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, SetupConfigRow, ::testing::Range<size_t>(0, std::size(kSetupConfigTestCases)),
                         [](const ::testing::TestParamInfo<size_t>& info) { return kSetupConfigTestCases[info.param].name; });

} // namespace
