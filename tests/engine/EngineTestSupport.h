// Shared pieces of the engine tests: temporary packages, install clean-up, registry and link
// read-back, the journal of the stand-in tool, and a recorder for the engine's messages.
#pragma once
#include "engine/SetupEngine.h"
#include "engine/ProcessOps.h"
#include "engine/Shortcuts.h"
#include "engine/Platform.h"
#include "framework/AfxHandle.h"
#include <gtest/gtest.h>
#include <string>
#include "tests/WinePath.h"
#include <vector>

// Writes the whole file; a test assertion fails when it cannot.
void WriteTextFile(const std::wstring& path, const std::string& text);
// The file opened for reading, shared for reading only: another program that holds it.
CFileHandle HoldFile(const std::wstring& path);
// A new empty folder below the temporary folder; the result ends with a backslash.
std::wstring MakeTempFolder();

// A REG_SZ value below HKLM; found tells whether it exists.
std::wstring ReadHklmString(const std::wstring& key, const wchar_t* value, bool* found = nullptr);
std::wstring RegistryPrefix();
// The Program Files folder that the prefix's system gives a 32-bit program (g_bIsWow64).
std::wstring SystemProgramFiles();

// The lines of the stand-in tool's journal, waiting up to timeoutMs for at least `count`.
std::vector<std::wstring> ReadJournal(const std::wstring& file, size_t count, DWORD timeoutMs = 5000);
// The journal comes to hold exactly these lines.
void ExpectJournal(const std::wstring& file, const std::vector<std::wstring>& lines);

struct LinkInfo {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
};
LinkInfo ReadLink(const std::wstring& linkFile);
// The shortcut file loads and starts target with arguments (a fatal failure when it does not load).
void ExpectLink(const std::wstring& linkFile, const std::wstring& target, const std::wstring& arguments);
std::wstring DesktopLink(const std::wstring& name);
std::wstring ProgramsGroup(const std::wstring& group);

struct RecordedMessage {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
extern std::vector<RecordedMessage> g_recordedMessages;
// Whether a recorded message contains text.
bool HasMessage(const wchar_t* text);

struct PackageOptions {
    bool titleBitmap = false;   // Application\Lorvane.bmp
    bool titleAbout = false;    // Application\title_about.bmp
    bool serviceTool = false;   // Application\Kelvrin.exe (the journal tool)
    int launchInSilentMode = 0;
};

// Each test gets its own package folder and its own APPFolderName and AppName, so that the
// installed folder, registry key and shortcuts of one test never meet another's. The
// process-wide flags are saved and restored; the engine's messages are recorded.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the package (setup.ini, setup.exe, the seven language libraries and one more,
    // Application\...).
    void WritePackage(const PackageOptions& options = PackageOptions());
    SetupConfig ReadConfig(BOOL bTitleBitmap = FALSE) const;
    // Writes the package and reads its settings; the install they name is removed at the end.
    SetupConfig Prepare(const PackageOptions& options = PackageOptions());
    // Removes whatever an install of config may have left.
    void CleanUp(const SetupConfig& config);
    std::wstring Installed(const SetupConfig& config, const wchar_t* name) const;
    std::wstring UninstallKey(const SetupConfig& config) const;

    std::wstring m_package;     // ends with a backslash
    std::wstring m_folderName;  // APPFolderName
    std::wstring m_appName;     // AppName, with spaces
    std::vector<SetupConfig> m_cleanUp;

private:
    BOOL m_saved[4];   // the process-wide flags of kFlags
    ProgramFilesFolderFn m_pfnSavedProgramFiles = nullptr;
};

extern const wchar_t kAppFile[];

// What an install or uninstall could touch: the entries of the install folder, of its
// parent, of the desktop and the Programs folder, of the Uninstall registry key and the
// Run values. Two snapshots compare equal when nothing was created, changed or deleted.
std::vector<std::wstring> Snapshot(const SetupConfig& config);
