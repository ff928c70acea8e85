#include "EngineTestSupport.h"
#include <shlobj.h>
#include <objbase.h>
#include <utility>

std::vector<RecordedMessage> g_recordedMessages;
const wchar_t kAppFile[] = L"EngineTestApp.exe";

static int WINAPI RecordMessageBox(HWND hWnd, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_recordedMessages.push_back({ hWnd, text, caption, type });
    return IDOK;
}

void WriteTextFile(const std::wstring& path, const std::string& text)
{
    ASSERT_TRUE(WriteWholeFile(path, text)) << "cannot write " << Narrow(path);
}

CFileHandle HoldFile(const std::wstring& path)
{
    return CFileHandle(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::wstring MakeTempFolder()
{
    static int counter = 0;
    WCHAR temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        std::wstring folder = std::wstring(temp) + L"engt" + std::to_wstring(::GetCurrentProcessId()) + L"_"
            + std::to_wstring(++counter);
        if (::CreateDirectoryW(folder.c_str(), nullptr))
            return folder + L"\\";
    }
}

std::wstring SystemProgramFiles()
{
    return g_bIsWow64 ? L"C:\\Program Files (x86)" : L"C:\\Program Files";
}

bool HasMessage(const wchar_t* text)
{
    for (const RecordedMessage& m : g_recordedMessages)
        if (m.text.find(text) != std::wstring::npos)
            return true;
    return false;
}

std::wstring RegistryPrefix()
{
    return g_bIsWow64 ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                      : L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
}

std::wstring ReadHklmString(const std::wstring& key, const wchar_t* value, bool* found)
{
    if (found)
        *found = false;
    HKEY hKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return L"";
    WCHAR data[2048] = L"";
    DWORD cb = sizeof(data) - sizeof(WCHAR), type = 0;
    LONG status = ::RegQueryValueExW(hKey, value, nullptr, &type, (BYTE*)data, &cb);
    ::RegCloseKey(hKey);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return L"";
    if (found)
        *found = true;
    return data;
}

std::vector<std::wstring> ReadJournal(const std::wstring& file, size_t count, DWORD timeoutMs)
{
    std::vector<std::wstring> lines;
    DWORD start = ::GetTickCount();
    for (;;) {
        lines.clear();
        const std::string bytes = ReadWholeFile(file);
        WCHAR wide[16384];
        int n = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), wide, 16383);
        std::wstring text(wide, n > 0 ? n : 0);
        size_t pos = 0, end;
        while ((end = text.find(L"\r\n", pos)) != std::wstring::npos) {
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 2;
        }
        if (lines.size() >= count || ::GetTickCount() - start > timeoutMs)
            return lines;
        ::Sleep(50);
    }
}

void ExpectJournal(const std::wstring& file, const std::vector<std::wstring>& lines)
{
    EXPECT_EQ(lines, ReadJournal(file, lines.size())) << Narrow(file);
}

LinkInfo ReadLink(const std::wstring& linkFile)
{
    LinkInfo info;
    HRESULT hrInit = ::CoInitialize(nullptr);
    IShellLinkW* pLink = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&pLink))) {
        IPersistFile* pFile = nullptr;
        if (SUCCEEDED(pLink->QueryInterface(IID_IPersistFile, (void**)&pFile))) {
            if (SUCCEEDED(pFile->Load(linkFile.c_str(), STGM_READ))) {
                WCHAR path[MAX_PATH] = L"", args[MAX_PATH] = L"";
                pLink->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH);
                pLink->GetArguments(args, MAX_PATH);
                info.loaded = true;
                info.target = path;
                info.arguments = args;
            }
            pFile->Release();
        }
        pLink->Release();
    }
    if (SUCCEEDED(hrInit))
        ::CoUninitialize();
    return info;
}

void ExpectLink(const std::wstring& linkFile, const std::wstring& target, const std::wstring& arguments)
{
    const LinkInfo link = ReadLink(linkFile);
    ASSERT_TRUE(link.loaded) << Narrow(linkFile);
    EXPECT_EQ(target, link.target);
    EXPECT_EQ(arguments, link.arguments);
}

std::wstring DesktopLink(const std::wstring& name)
{
    return SpecialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\" + name + L".lnk";
}

std::wstring ProgramsGroup(const std::wstring& group)
{
    return SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + group;
}

static BOOL* const kFlags[] = { &g_bIsWow64, &g_bIsNt6, &g_bGermanUi, &g_bSpanishSystem };

void EngineFixture::SetUp()
{
    static int counter = 0;
    for (size_t i = 0; i < 4; ++i)
        m_saved[i] = std::exchange(*kFlags[i], FALSE);
    g_bIsWow64 = IsWow64();
    g_recordedMessages.clear();
    g_pfnEngineMessageBox = RecordMessageBox;
    m_pfnSavedProgramFiles = g_pfnGetProgramFilesFolder;

    std::wstring id = std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
    m_folderName = L"EngT" + id;
    m_appName = L"Engine Test " + id;
    m_package = MakeTempFolder();
}

void EngineFixture::TearDown()
{
    for (const SetupConfig& config : m_cleanUp)
        CleanUp(config);
    DeleteTree(m_package.substr(0, m_package.size() - 1));
    g_pfnEngineMessageBox = ::MessageBoxW;
    g_pfnGetProgramFilesFolder = m_pfnSavedProgramFiles;
    for (size_t i = 0; i < 4; ++i)
        *kFlags[i] = m_saved[i];
}

void EngineFixture::WritePackage(const PackageOptions& options)
{
    std::string folder(m_folderName.begin(), m_folderName.end());
    std::string name(m_appName.begin(), m_appName.end());
    WriteTextFile(m_package + L"setup.ini",
        "[Customized_Setting]\r\nAPPFolderName=" + folder + "\r\nAPPFileName=EngineTestApp.exe\r\nAppName=" + name
            + "\r\nLaunchAPInSilentMode=" + std::to_string(options.launchInSilentMode)
            + "\r\n[Startup]\r\nCompanyName=Test Company\r\nVersion=2.5.1\r\n");
    WriteTextFile(m_package + L"setup.exe", "setup program");
    for (const wchar_t* lang : kPackageLanguages)
        WriteTextFile(m_package + L"setup" + lang + L".dll", "texts");
    WriteTextFile(m_package + L"setupITA.dll", "not shipped");
    std::wstring app = m_package + L"Application";
    ::CreateDirectoryW(app.c_str(), nullptr);
    WriteTextFile(app + L"\\mingwm10.dll", "runtime");
    std::wstring tool = WinePath(ENGINE_JOURNAL_TOOL);
    ASSERT_TRUE(::CopyFileW(tool.c_str(), (app + L"\\" + kAppFile).c_str(), FALSE));
    if (options.titleBitmap)
        WriteTextFile(app + L"\\Lorvane.bmp", "title");
    if (options.titleAbout)
        WriteTextFile(app + L"\\title_about.bmp", "about");
    if (options.serviceTool) {
        ASSERT_TRUE(::CopyFileW(tool.c_str(), (app + L"\\Kelvrin.exe").c_str(), FALSE));
    }
}

SetupConfig EngineFixture::ReadConfig(BOOL bTitleBitmap) const
{
    SetupConfig config;
    ReadSetupConfig(m_package.c_str(), &config, bTitleBitmap);
    return config;
}

SetupConfig EngineFixture::Prepare(const PackageOptions& options)
{
    WritePackage(options);
    SetupConfig config = ReadConfig();
    m_cleanUp.push_back(config);
    return config;
}

std::wstring EngineFixture::Installed(const SetupConfig& config, const wchar_t* name) const
{
    return std::wstring(config.InstallDir) + L"\\" + name;
}

std::wstring EngineFixture::UninstallKey(const SetupConfig& config) const
{
    return RegistryPrefix() + L"Uninstall\\" + config.AppFolderName;
}

void EngineFixture::CleanUp(const SetupConfig& config)
{
    if (config.InstallDir[0] && config.AppFolderName[0])
        DeleteTree(config.InstallDir);
    CRegKey key;
    if (config.AppFolderName[0]
        && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (RegistryPrefix() + L"Uninstall").c_str(), 0, KEY_WRITE, key.Receive())
            == ERROR_SUCCESS)
        ::RegDeleteKeyW(key, config.AppFolderName);
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (RegistryPrefix() + L"Run").c_str(), 0, KEY_WRITE, key.Receive()) == ERROR_SUCCESS)
        ::RegDeleteValueW(key, config.AppName);
    if (config.AppName[0]) {
        ::DeleteFileW(DesktopLink(config.AppName).c_str());
        DeleteTree(ProgramsGroup(config.AppName));
    }
    DeleteCompatibilityValue(Installed(config, config.AppFileName));
}

static void ListFolder(const std::wstring& folder, std::vector<std::wstring>& out)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        // A folder's time changes when the install moves old files aside and back: files only.
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
            out.push_back(folder + L"\\" + fd.cFileName + L"\\");
        else if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
            out.push_back(folder + L"\\" + fd.cFileName + L" " + std::to_wstring(fd.nFileSizeLow) + L" "
                + std::to_wstring(fd.ftLastWriteTime.dwLowDateTime));
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

std::vector<std::wstring> Snapshot(const SetupConfig& config)
{
    std::vector<std::wstring> out;
    std::wstring dir = config.InstallDir;
    if (!dir.empty()) {
        ListFolder(dir, out);
        ListFolder(dir + L"\\Uninstall", out);
        ListFolder(dir.substr(0, dir.rfind(L'\\')), out);
    }
    ListFolder(SpecialFolder(CSIDL_DESKTOPDIRECTORY), out);
    ListFolder(SpecialFolder(CSIDL_COMMON_PROGRAMS), out);
    if (config.AppName[0] && FileExists(ProgramsGroup(config.AppName)))
        ListFolder(ProgramsGroup(config.AppName), out);

    HKEY hKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (RegistryPrefix() + L"Uninstall").c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        WCHAR name[512];
        for (DWORD i = 0;; ++i) {
            DWORD cch = 512;
            if (::RegEnumKeyExW(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            out.push_back(std::wstring(L"key ") + name);
        }
        ::RegCloseKey(hKey);
    }
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (RegistryPrefix() + L"Run").c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        WCHAR name[512];
        BYTE data[2048];
        for (DWORD i = 0;; ++i) {
            DWORD cch = 512, cb = sizeof(data) - 2;
            if (::RegEnumValueW(hKey, i, name, &cch, nullptr, nullptr, data, &cb) != ERROR_SUCCESS)
                break;
            data[cb] = data[cb + 1] = 0;
            out.push_back(std::wstring(L"run ") + name + L"=" + (const wchar_t*)data);
        }
        ::RegCloseKey(hKey);
    }
    return out;
}
