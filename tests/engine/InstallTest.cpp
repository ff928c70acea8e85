// InstallApplication, CopyFilesAndRegister and SilentInstall on a small package, into the
// real Program Files folder, registry and shortcut folders of the prefix.
#include "EngineTestSupport.h"
#include "engine/InstallTransaction.h"
#include "engine/JournalRecovery.h"
#include "engine/PackageCatalogue.h"
#include "engine/TestSeams.h"
#include <algorithm>
#include <new>

namespace {

class InstallTest : public EngineFixture {
protected:
    std::wstring Quoted(const SetupConfig& config, const wchar_t* name, const wchar_t* word) const
    {
        return L"\"" + Installed(config, name) + L"\"" + (word ? std::wstring(L" ") + word : L"");
    }
    // An installed package whose runtime library ("runtime") the package now has in a newer
    // version; the product's journal folder.
    struct RuntimeUpdate {
        SetupConfig config;
        std::wstring runtime, newer, journalFolder;
    };
    void PrepareRuntimeUpdate(RuntimeUpdate& update)
    {
        update.config = Prepare();
        ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), update.config));
        update.runtime = Installed(update.config, L"mingwm10.dll");
        update.newer = m_package + L"Application\\mingwm10.dll";
        WriteTextFile(update.newer, "runtime, version 2");
        ASSERT_TRUE(CInstallJournal::GetFolder(update.config.AppFolderName, update.journalFolder));
    }
    // Begins the update in transaction: its plan, its journal, the newer runtime copied.
    static void BeginRuntimeUpdate(CInstallTransaction& transaction, const RuntimeUpdate& update)
    {
        transaction.PlanFile(update.runtime.c_str());
        ASSERT_TRUE(transaction.Begin(update.config));
        ASSERT_TRUE(transaction.CopyFile(update.newer.c_str(), update.runtime.c_str()));
    }
};

TEST_F(InstallTest, FirstInstallBeforeVersion6CopiesRegistersAndLinks)
{
    SetupConfig config = Prepare({ false, true, true, 0 });
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    EXPECT_TRUE(g_recordedMessages.empty());

    EXPECT_TRUE(FileExists(Installed(config, L"mingwm10.dll")));
    EXPECT_TRUE(FileExists(Installed(config, kAppFile)));
    EXPECT_FALSE(FileExists(Installed(config, L"Lorvane.bmp")));
    EXPECT_FALSE(FileExists(Installed(config, L"title_about.bmp")));   // only with Lorvane.bmp
    EXPECT_FALSE(FileExists(Installed(config, L"Kelvrin.exe")));       // version 6 only
    for (const wchar_t* name : { L"setup.exe", L"setup.ini", L"setupENU.dll", L"setupDEU.dll" })
        EXPECT_TRUE(FileExists(Installed(config, L"Uninstall\\") + name)) << name;
    EXPECT_FALSE(FileExists(Installed(config, L"Uninstall\\setupITA.dll")));

    std::wstring key = UninstallKey(config);
    EXPECT_EQ(Quoted(config, L"Uninstall\\setup.exe", L"delpkg"), ReadHklmString(key, L"UninstallString"));
    EXPECT_EQ(m_appName, ReadHklmString(key, L"DisplayName"));
    EXPECT_EQ(L"Test Company", ReadHklmString(key, L"Publisher"));
    EXPECT_EQ(L"2.5.1", ReadHklmString(key, L"DisplayVersion"));
    EXPECT_EQ(Quoted(config, kAppFile, L"min"), ReadHklmString(RegistryPrefix() + L"Run", m_appName.c_str()));
    if (g_bIsWow64) {
        std::wstring native = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + m_folderName;
        EXPECT_TRUE(HklmKeyExists(native, KEY_WOW64_32KEY));
        EXPECT_FALSE(HklmKeyExists(native, KEY_WOW64_64KEY));
    }

    ASSERT_NO_FATAL_FAILURE(ExpectLink(DesktopLink(m_appName), Installed(config, kAppFile), L""));
    ASSERT_NO_FATAL_FAILURE(
        ExpectLink(ProgramsGroup(m_appName) + L"\\" + m_appName + L".lnk", Installed(config, kAppFile), L""));
    ASSERT_NO_FATAL_FAILURE(
        ExpectLink(ProgramsGroup(m_appName) + L"\\Uninstall.lnk", Installed(config, L"Uninstall\\setup.exe"), L"delpkg"));

    bool found = true;
    ReadCompatibilityValue(Installed(config, kAppFile), &found);
    EXPECT_FALSE(found);
}

TEST_F(InstallTest, TitleBitmapsComeTogetherWithLorvane)
{
    SetupConfig config = Prepare({ true, true, false, 0 });
    ASSERT_EQ(SetupSucceeded, CopyFilesAndRegister(m_package.c_str(), config));
    EXPECT_TRUE(FileExists(Installed(config, L"Lorvane.bmp")));
    EXPECT_TRUE(FileExists(Installed(config, L"title_about.bmp")));
}

TEST_F(InstallTest, Version6RegistersTheServiceAndStopsTheOldOneFirst)
{
    g_bIsNt6 = TRUE;
    SetupConfig config = Prepare({ false, false, true, 0 });
    std::wstring journal = Installed(config, L"journal.txt");
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    EXPECT_TRUE(g_recordedMessages.empty());
    EXPECT_TRUE(FileExists(Installed(config, L"Kelvrin.exe")));
    // Normal priority, and the path with its spaces in quotes.
    const std::wstring install = L"32|" + Quoted(config, L"Kelvrin.exe", L"-i");
    ExpectJournal(journal, { install });
    bool found = false;
    EXPECT_EQ(L"", ReadHklmString(RegistryPrefix() + L"Run", m_appName.c_str(), &found));
    EXPECT_FALSE(found);
    EXPECT_EQ(1u, ReadCompatibilityValue(Installed(config, kAppFile), &found));
    EXPECT_TRUE(found);

    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    ExpectJournal(journal, { install, L"32|" + Quoted(config, L"Kelvrin.exe", L"-k"),
                             L"32|" + Quoted(config, L"Kelvrin.exe", L"-u"), install });
}

// A failed install puts everything back before it says why: the service tool that cannot
// start leaves no file, folder, value or link of the install behind.
TEST_F(InstallTest, ServiceToolThatCannotStartRollsTheInstallBack)
{
    g_bIsNt6 = TRUE;
    SetupConfig config = Prepare();
    WriteTextFile(m_package + L"Application\\Kelvrin.exe", "not a program");
    std::vector<std::wstring> before = Snapshot(config);
    EXPECT_EQ(SetupFailed, InstallApplication(m_package.c_str(), config));
    ASSERT_EQ(1u, g_recordedMessages.size());
    EXPECT_EQ(L"Fail to install the service!", g_recordedMessages[0].text);
    EXPECT_EQ(L"Fail", g_recordedMessages[0].caption);
    EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), g_recordedMessages[0].type);
    EXPECT_EQ(nullptr, g_recordedMessages[0].owner);
    EXPECT_FALSE(FileExists(config.InstallDir));
    EXPECT_FALSE(HklmKeyExists(UninstallKey(config)));
    EXPECT_EQ(before, Snapshot(config));
}

// Everything the install needs must be in the package; the title bitmaps stay optional.
TEST_F(InstallTest, IncompletePackageIsRefusedNamingTheMissingFile)
{
    g_bIsNt6 = TRUE;
    for (const wchar_t* missing : { L"setup.exe", L"setupENU.dll", L"Application\\mingwm10.dll",
                                    L"Application\\EngineTestApp.exe", L"Application\\Kelvrin.exe" }) {
        SetupConfig config = Prepare({ false, false, true, 0 });
        std::vector<std::wstring> before = Snapshot(config);
        ::DeleteFileW((m_package + missing).c_str());
        g_recordedMessages.clear();
        EXPECT_EQ(SetupRefused, InstallApplication(m_package.c_str(), config));
        std::wstring text = L"The package is incomplete: \"" + m_package + missing + L"\" is missing.";
        EXPECT_TRUE(HasMessage(text.c_str())) << g_recordedMessages.size();
        EXPECT_EQ(before, Snapshot(config));
    }
}

// The catalogue as setup.exe carries it: a SHA-256 and a name a line, up to the first NUL. Only
// the unfilled reservation (or none) means no catalogue; anything that is not a whole one is
// damaged and lists nothing, so that every file is refused. Files are hashed by the system.
TEST_F(InstallTest, CatalogueListsItsFilesAndADamagedOneListsNothing)
{
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";   // of "abc"
    const std::string good = "setup catalogue 1\n" + abc + " Application\\Kelvrin.exe\n" + abc + " setupENU.dll\n";
    const struct {
        std::string bytes;
        BOOL present, damaged;
        size_t count;
    } rows[] = {
        { std::string("setup catalogue unfilled\n\0\0", 27), FALSE, FALSE, 0 },
        { "", FALSE, FALSE, 0 },
        { good + std::string(8, '\0') + "after the end", TRUE, FALSE, 2 },
        { "setup catalogue 1\n", TRUE, FALSE, 0 },
        { "setup catalogue 2\n" + abc + " x\n", TRUE, TRUE, 0 },
        { good + abc.substr(1) + " x\n", TRUE, TRUE, 0 },
        { good + "BA" + abc.substr(2) + " x\n", TRUE, TRUE, 0 },
        { good + abc + " \n", TRUE, TRUE, 0 },
        { good + abc + " x", TRUE, TRUE, 0 },
        { good + abc + " \xff\n", TRUE, TRUE, 0 },
    };
    for (const auto& row : rows) {
        CPackageCatalogue catalogue;
        catalogue.Parse(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(row.present, catalogue.IsPresent()) << row.bytes;
        EXPECT_EQ(row.damaged, catalogue.IsDamaged()) << row.bytes;
        EXPECT_EQ(row.count, catalogue.GetCount()) << row.bytes;
    }

    CPackageCatalogue catalogue;
    catalogue.Parse(good.data(), good.size());
    const Sha256Digest* listed = catalogue.Find(L"application\\KELVRIN.exe");
    ASSERT_NE(nullptr, listed);
    EXPECT_EQ(std::wstring(abc.begin(), abc.end()), listed->Text());
    EXPECT_EQ(nullptr, catalogue.Find(L"Kelvrin.exe"));
    // From the file's start, wherever its handle stands.
    WriteTextFile(m_package + L"abc.txt", "abc");
    CFileHandle file(OpenFileForCheck((m_package + L"abc.txt").c_str()));
    ASSERT_TRUE(file.IsValid());
    for (int i = 0; i < 2; ++i) {
        Sha256Digest digest;
        ASSERT_TRUE(HashFile(file, digest));
        EXPECT_TRUE(*listed == digest) << i;
    }
}

// setup.ini (the defaults then apply) and every language but English may be missing: the
// install copies what there is, and an earlier install's setup.ini does not outlive it.
TEST_F(InstallTest, PackageMayLackSetupIniAndEveryLanguageButEnglish)
{
    SetupConfig config = Prepare();
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    ASSERT_TRUE(FileExists(Installed(config, L"Uninstall\\setup.ini")));
    for (const wchar_t* name : { L"setup.ini", L"setupCHT.dll", L"setupCHS.dll", L"setupJPN.dll", L"setupKOR.dll",
                                 L"setupFRA.dll", L"setupDEU.dll" })
        ::DeleteFileW((m_package + name).c_str());
    EXPECT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    for (const RecordedMessage& m : g_recordedMessages)
        ADD_FAILURE() << "message: " << std::wstring(m.text);
    EXPECT_TRUE(FileExists(Installed(config, L"Uninstall\\setup.exe")));
    EXPECT_TRUE(FileExists(Installed(config, L"Uninstall\\setupENU.dll")));
    EXPECT_FALSE(FileExists(Installed(config, L"Uninstall\\setup.ini")));
    EXPECT_TRUE(FileExists(Installed(config, kAppFile)));
}

LRESULT CALLBACK CloseOnRequestProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        ++*(int*)::GetWindowLongPtrW(hWnd, GWLP_USERDATA);
        ::DestroyWindow(hWnd);
        return 0;
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

TEST_F(InstallTest, RunningApplicationIsAskedToClose)
{
    SetupConfig config = Prepare();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CloseOnRequestProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"EngineTestAppWindow";
    ::RegisterClassW(&wc);
    HWND hWnd = ::CreateWindowW(wc.lpszClassName, m_appName.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hWnd);
    int closes = 0;
    ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, (LONG_PTR)&closes);
    EXPECT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    EXPECT_EQ(1, closes);
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST_F(InstallTest, SilentInstallStartsTheApplicationWhenAsked)
{
    SetupConfig config = Prepare({ false, false, false, 1 });
    ASSERT_EQ(SetupSucceeded, SilentInstall(m_package.c_str(), FALSE));
    ExpectJournal(Installed(config, L"journal.txt"), { L"32|" + Quoted(config, kAppFile, nullptr) });
}

// A file of the old version held open: the copy fails half way and every file written before
// gets its old bytes back; nothing is started.
TEST_F(InstallTest, LockedExecutableFailsTheInstallPutsBackTheOldFilesAndStartsNothing)
{
    SetupConfig config = Prepare({ false, false, false, 1 });
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    WriteTextFile(m_package + L"Application\\mingwm10.dll", "runtime, version 2");
    WriteTextFile(m_package + L"setup.exe", "setup program, version 2");
    std::vector<std::wstring> before = Snapshot(config);
    CFileHandle hLock = HoldFile(Installed(config, kAppFile));
    ASSERT_TRUE(hLock.IsValid());
    EXPECT_EQ(SetupFileBusy, InstallApplication(m_package.c_str(), config));
    EXPECT_EQ(SetupFileBusy, SilentInstall(m_package.c_str(), FALSE));
    hLock.Close();
    ASSERT_EQ(2u, g_recordedMessages.size());
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(L"Fail to copy"));
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(Installed(config, kAppFile)));
    EXPECT_EQ(before, Snapshot(config));
    EXPECT_EQ("runtime", ReadWholeFile(Installed(config, L"mingwm10.dll")));
    EXPECT_EQ("setup program", ReadWholeFile(Installed(config, L"Uninstall\\setup.exe")));
    EXPECT_TRUE(ReadJournal(Installed(config, L"journal.txt"), 1, 1000).empty());
}

// The next run undoes what a dead install's journal names, and only within the install: a
// file elsewhere that the journal names stays. While the journal's process runs, that is a
// second setup at work, and nothing is done.
TEST_F(InstallTest, InterruptedInstallIsRolledBackWithinTheInstallOnly)
{
    SetupConfig config = Prepare();
    const std::wstring inside = Installed(config, L"mingwm10.dll"), outside = m_package + L"outside.txt";
    ASSERT_TRUE(::CreateDirectoryW(config.InstallDir, nullptr));
    WriteTextFile(inside, "written by the dead install");
    WriteTextFile(outside, "not the install's");
    {
        CInstallJournal journal;
        BOOL bBusy = FALSE;
        ASSERT_TRUE(journal.Create(config, &bBusy));
        ASSERT_TRUE(journal.Write({ { JournalStep::FolderCreated, config.InstallDir },
                                    { JournalStep::FileWritten, inside }, { JournalStep::FileWritten, outside } },
                                  TRUE));
        EXPECT_EQ(SetupBusy, RecoverInterruptedInstall(config));
        EXPECT_TRUE(FileExists(inside));
        journal.Close();
    }
    // The journal as a process that has ended left it.
    std::wstring folder;
    ASSERT_TRUE(CInstallJournal::GetFolder(config.AppFolderName, folder));
    std::string text = ReadWholeFile(folder + L"journal.txt");
    size_t pid = text.find("process\t") + 8;
    text.replace(pid, text.find('\t', pid) - pid, "4000000");
    ASSERT_NO_FATAL_FAILURE(WriteTextFile(folder + L"journal.txt", text));

    EXPECT_EQ(SetupSucceeded, RecoverInterruptedInstall(config));
    EXPECT_FALSE(FileExists(inside));
    EXPECT_FALSE(FileExists(config.InstallDir));
    EXPECT_EQ("not the install's", ReadWholeFile(outside));
    EXPECT_FALSE(FileExists(folder));
}

// A rollback that cannot put an old file back (another program holds the new one there) keeps
// the journal and the kept old file; the next run, once the file is free, puts it back.
TEST_F(InstallTest, RollbackThatCannotPutAnOldFileBackLeavesItToTheNextRun)
{
    RuntimeUpdate update;
    ASSERT_NO_FATAL_FAILURE(PrepareRuntimeUpdate(update));
    const std::wstring &runtime = update.runtime, &folder = update.journalFolder;
    {
        CInstallTransaction transaction;
        ASSERT_NO_FATAL_FAILURE(BeginRuntimeUpdate(transaction, update));
        CFileHandle hHeld = HoldFile(runtime);
        ASSERT_TRUE(hHeld.IsValid());
        transaction.Fail(L"a failure after the copy");
        transaction.Rollback();
        hHeld.Close();
        EXPECT_FALSE(transaction.IsRolledBack());
        EXPECT_NE(std::wstring::npos, std::wstring(transaction.GetRollbackProblem()).find(runtime));
    }
    EXPECT_EQ("runtime, version 2", ReadWholeFile(runtime));
    EXPECT_TRUE(FileExists(folder + L"journal.txt"));
    EXPECT_EQ(SetupSucceeded, RecoverInterruptedInstall(update.config));
    EXPECT_EQ("runtime", ReadWholeFile(runtime));
    EXPECT_FALSE(FileExists(folder));
}

// An exception (out of memory) that unwinds an install puts back what it changed, as its
// transaction goes, and leaves no journal.
TEST_F(InstallTest, ExceptionUnwindingAnInstallRollsItBack)
{
    RuntimeUpdate update;
    ASSERT_NO_FATAL_FAILURE(PrepareRuntimeUpdate(update));
    EXPECT_THROW({
        CInstallTransaction transaction;
        ASSERT_NO_FATAL_FAILURE(BeginRuntimeUpdate(transaction, update));
        throw std::bad_alloc();
    }, std::bad_alloc);
    EXPECT_EQ("runtime", ReadWholeFile(update.runtime));
    EXPECT_FALSE(FileExists(update.journalFolder));
}

// At its end an install deletes the journal and the kept files it names, and nothing else of
// the journal folder: a file it did not put there stays, and with it the folder.
TEST_F(InstallTest, CommitDeletesOnlyWhatItsJournalNames)
{
    RuntimeUpdate update;
    ASSERT_NO_FATAL_FAILURE(PrepareRuntimeUpdate(update));
    const std::wstring& folder = update.journalFolder;
    CInstallTransaction transaction;
    ASSERT_NO_FATAL_FAILURE(BeginRuntimeUpdate(transaction, update));
    WriteTextFile(folder + L"1.old", "not this install's");
    transaction.Commit();
    EXPECT_EQ("runtime, version 2", ReadWholeFile(update.runtime));
    EXPECT_FALSE(FileExists(folder + L"journal.txt"));
    EXPECT_EQ("not this install's", ReadWholeFile(folder + L"1.old"));
    DeleteTree(folder.substr(0, folder.size() - 1));
}

// The tests' free-space figure can only lower what the disk check sees: with none free the
// install is refused before anything is touched; a figure above the real one counts for nothing.
TEST_F(InstallTest, TestFreeSpaceFigureOnlyLowersTheRealOne)
{
    SetupConfig config = Prepare();
    std::vector<std::wstring> before = Snapshot(config);
    ::SetEnvironmentVariableW(L"SETUP_TEST_FREE_SPACE_MB", L"0");
    EXPECT_EQ(SetupDiskFull, InstallApplication(m_package.c_str(), config));
    ::SetEnvironmentVariableW(L"SETUP_TEST_FREE_SPACE_MB", L"999999");
    EXPECT_EQ(12345ULL, TestFreeSpaceLimit(12345));
    ::SetEnvironmentVariableW(L"SETUP_TEST_FREE_SPACE_MB", nullptr);
    EXPECT_EQ(before, Snapshot(config));
    ASSERT_EQ(1u, g_recordedMessages.size());
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(L"MB are free"));
}

BOOL MissingProgramFiles(LPWSTR lpszFolder)
{
    wcscpy(lpszFolder, L"C:\\No Such Program Files");
    return TRUE;
}

TEST_F(InstallTest, MissingParentFolderFailsBeforeRegistryAndLinks)
{
    g_pfnGetProgramFilesFolder = MissingProgramFiles;
    SetupConfig config = Prepare();
    EXPECT_EQ(SetupFailed, InstallApplication(m_package.c_str(), config));
    EXPECT_FALSE(HklmKeyExists(UninstallKey(config)));
    EXPECT_FALSE(FileExists(DesktopLink(m_appName)));
    ASSERT_EQ(1u, g_recordedMessages.size());
    EXPECT_NE(std::wstring::npos, g_recordedMessages[0].text.find(L"Fail to create the folder"));
}

// Settings that would reach outside the install folder, or leave it empty, are refused with
// one message before anything is touched, by the install and by the uninstall.
TEST_F(InstallTest, UnsafeSettingsAreRefusedWithOneMessage)
{
    SetupConfig good = Prepare({ true, true, false, 0 });
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), good));
    struct Case {
        const char* ini;
        const wchar_t* key;
    } cases[] = {
        { "APPFolderName=", L"\"APPFolderName\" in setup.ini is empty." },
        { "APPFolderName=..", L"\"APPFolderName\"" },
        { "APPFolderName=.", L"\"APPFolderName\"" },
        { "APPFolderName=Sub\\Dir", L"\"APPFolderName\"" },
        { "APPFolderName=C:Evil", L"\"APPFolderName\"" },
        { "APPFileName=..\\evil.exe", L"\"APPFileName\"" },
        { "APPFileName=a/b.exe", L"\"APPFileName\"" },
        { "APPFileName=", L"\"APPFileName\" in setup.ini is empty." },
        { "AppName=..\\..\\Elsewhere", L"\"AppName\"" },
        { "AppName=", L"\"AppName\"" },
        { nullptr, L"install folder" },   // a folder name too long for the path
        // Names the file system would not keep as given.
        { "APPFolderName=\"Turbo \"", L"ends with a space" },
        { "APPFolderName=...", L"ends with a dot" },
        { "APPFolderName=CON", L"device name \"CON\"" },
        { "APPFolderName=a*b", L"'*'" },
        { "APPFileName=lpt1.exe", L"device name \"lpt1\"" },
        { "APPFileName=mingwm10.dll", L"another file" },
        { "AppName=\" Leading\"", L"starts with a space" },
        { "AppName=a|b", L"'|'" },
        { "AppName=uninstall", L"uninstall shortcut" },
    };
    std::vector<std::wstring> before = Snapshot(good);
    for (const Case& c : cases) {
        std::string folder(m_folderName.begin(), m_folderName.end());
        std::string name(m_appName.begin(), m_appName.end());
        std::string ini = c.ini ? c.ini : "APPFolderName=" + std::string(250, 'x');
        std::string key = ini.substr(0, ini.find('=') + 1);
        std::string text = "[Customized_Setting]\r\n" + ini + "\r\n";
        if (key != "APPFolderName=")
            text += "APPFolderName=" + folder + "\r\n";
        if (key != "AppName=")
            text += "AppName=" + name + "\r\n";
        if (key != "APPFileName=")
            text += "APPFileName=EngineTestApp.exe\r\n";
        WriteTextFile(m_package + L"setup.ini", text);
        SetupConfig bad = ReadConfig();
        g_recordedMessages.clear();
        EXPECT_EQ(SetupRefused, InstallApplication(m_package.c_str(), bad)) << ini;
        EXPECT_EQ(SetupRefused, UninstallApplication(bad)) << ini;
        EXPECT_EQ(SetupRefused, SilentInstall(m_package.c_str(), FALSE)) << ini;
        ASSERT_EQ(3u, g_recordedMessages.size()) << ini;
        for (const RecordedMessage& m : g_recordedMessages) {
            EXPECT_EQ(nullptr, m.owner);
            EXPECT_EQ(L"Fail", m.caption);
            EXPECT_EQ((UINT)(MB_ICONWARNING | MB_OK), m.type);
            EXPECT_NE(std::wstring::npos, m.text.find(c.key)) << ini << " gave: " << std::string(m.text.begin(), m.text.end());
        }
        EXPECT_EQ(before, Snapshot(good)) << ini;
    }
}

TEST_F(InstallTest, PathsBeyond259UnitsAreRefusedNamingTheSetting)
{
    SetupConfig config = Prepare();
    ASSERT_EQ(SetupSucceeded, InstallApplication(m_package.c_str(), config));
    std::vector<std::wstring> before = Snapshot(config);

    size_t room = MAX_PATH - 1 - wcslen(config.InstallDir) - 1;   // units left for a file name
    SetupConfig longFile = config;
    wcscpy(longFile.AppFileName, (std::wstring(room - 3, L'a') + L".exe").c_str());
    SetupConfig longName = config;   // the desktop link and the Programs group grow with it
    wcscpy(longName.AppName, std::wstring(250, L'n').c_str());
    EXPECT_EQ(SetupRefused, CopyFilesAndRegister(m_package.c_str(), longFile));
    for (const SetupConfig& bad : { longFile, longName }) {
        EXPECT_EQ(SetupRefused, InstallApplication(m_package.c_str(), bad));
        EXPECT_EQ(SetupRefused, UninstallApplication(bad));
    }
    EXPECT_EQ(before, Snapshot(config));
    ASSERT_EQ(5u, g_recordedMessages.size());
    for (size_t i = 0; i < 5; ++i) {
        const wchar_t* setting = i < 3 ? L"The setting \"APPFileName\" in setup.ini is too long"
                                       : L"The setting \"AppName\" in setup.ini is too long";
        EXPECT_NE(std::wstring::npos, g_recordedMessages[i].text.find(setting)) << i;
    }

    // A name that fits both in the package and in the install folder is installed.
    size_t packageRoom = MAX_PATH - 1 - m_package.size() - wcslen(L"Application\\");
    SetupConfig fits = config;
    wcscpy(fits.AppFileName, (std::wstring(std::min(room, packageRoom) - 4, L'a') + L".exe").c_str());
    WriteTextFile(m_package + L"Application\\" + fits.AppFileName, "app");
    EXPECT_EQ(SetupSucceeded, CopyFilesAndRegister(m_package.c_str(), fits));
    EXPECT_TRUE(FileExists(Installed(fits, fits.AppFileName)));
}

} // namespace
