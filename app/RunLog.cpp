#include "app/RunLog.h"
#include "engine/Platform.h"
#include "engine/SetupEngine.h"
#include "engine/SetupLog.h"
#include "engine/TrustedFolder.h"
#include <stdio.h>

namespace {

// "major.minor.build.revision" from the program's own version resource.
void GetProgramVersion(LPWSTR lpszVersion, size_t cch)
{
    _snwprintf(lpszVersion, cch, L"?");
    HRSRC hRes = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    HGLOBAL hData = hRes ? ::LoadResource(nullptr, hRes) : nullptr;
    const BYTE* data = hData ? (const BYTE*)::LockResource(hData) : nullptr;
    DWORD size = hRes ? ::SizeofResource(nullptr, hRes) : 0;
    // The fixed part follows the block's header and key; find it by its signature.
    for (DWORD i = 0; data && i + sizeof(VS_FIXEDFILEINFO) <= size; i += 4) {
        const VS_FIXEDFILEINFO* info = (const VS_FIXEDFILEINFO*)(data + i);
        if (info->dwSignature == 0xFEEF04BD) {
            _snwprintf(lpszVersion, cch, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
            break;
        }
    }
    lpszVersion[cch - 1] = 0;
}

// The default log in the temporary folder, where others may have put something of that name
// first: a new file that this run makes, or one that its handle shows as a plain file with one
// name, not a link, owned by SYSTEM or the Administrators (as this program makes it). Anything
// else is left alone, and the run has no log.
void OpenDefaultLog(const std::wstring& path)
{
    const DWORD dwAccess = FILE_APPEND_DATA | READ_CONTROL | FILE_READ_ATTRIBUTES;
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    CAdminOnlySecurity owner(nullptr, FALSE);
    CFileHandle file(OpenNoFollow(path, dwAccess, dwShare, CREATE_NEW, owner.Get()));
    if (!file.IsValid() && ::GetLastError() == ERROR_FILE_EXISTS) {
        file.Attach(OpenNoFollow(path, dwAccess, dwShare, OPEN_EXISTING));
        std::wstring why;
        BY_HANDLE_FILE_INFORMATION info{};
        if (file.IsValid()
            && (!IsPlainAt(file, path, FALSE, why, &info) || info.nNumberOfLinks != 1 || !CheckSecurity(file, nullptr, FALSE, why)))
            file.Close();
    }
    if (file.IsValid())
        UseSetupLogFile(file.Detach());
}

} // namespace

void OpenRequestedLog(const CSetupCommandLineInfo& cmdInfo, LPCWSTR lpszAppFolderName)
{
    if (!cmdInfo.m_bLog || cmdInfo.m_bLogPathTooLong)
        return;
    // A path the caller names is the caller's choice.
    if (cmdInfo.m_szLogPath[0]) {
        OpenSetupLog(cmdInfo.m_szLogPath);
        return;
    }
    WCHAR szTemp[MAX_PATH], szPath[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    // A folder name that is no plain name must not steer the log elsewhere.
    LPCWSTR name = IsValidName(lpszAppFolderName) ? lpszAppFolderName : L"VRX58Q";
    if (n == 0 || n >= MAX_PATH || _snwprintf(szPath, MAX_PATH, L"%ls%ls-setup.log", szTemp, name) < 0)
        return;
    szPath[MAX_PATH - 1] = 0;
    OpenDefaultLog(szPath);
}

void LogRunHeader()
{
    if (!IsSetupLogOpen())
        return;
    WCHAR szVersion[64];
    GetProgramVersion(szVersion, 64);
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof(vi);
    ::GetVersionExW(&vi);

    typedef LANGID(WINAPI * GetLangFn)();
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    GetLangFn pUserUi = hKernel ? (GetLangFn)(void*)::GetProcAddress(hKernel, "GetUserDefaultUILanguage") : nullptr;
    LANGID wLang = pUserUi ? pUserUi() : ::GetUserDefaultLangID();
    WCHAR szAbbrev[8] = L"?";
    ::GetLocaleInfoW(MAKELCID(wLang, SORT_DEFAULT), LOCALE_SABBREVLANGNAME, szAbbrev, 8);

    SetupLog(L"==== setup %ls: %ls", szVersion, ::GetCommandLineW());
    SetupLog(L"Windows %lu.%lu build %lu %ls; WOW64 %ls; UI language %04X %ls", vi.dwMajorVersion, vi.dwMinorVersion,
             vi.dwBuildNumber, vi.szCSDVersion, g_bIsWow64 ? L"yes" : L"no", wLang, szAbbrev);
}
