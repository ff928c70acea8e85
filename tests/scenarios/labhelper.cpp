// labhelper.exe: the Windows side of the scenario harness, run inside the test prefixes.
//
//   labhelper boxwatch OUTFILE STOPFILE [CAPTION [WINDOWSFILE PROGRAM]]
//       Until STOPFILE exists: finds each top-level window captioned CAPTION ("Fail" by
//       default), appends "<caption>\t<text>" (the box's static text, control 0xFFFF) as one
//       UTF-8 line to OUTFILE and presses its OK button. With WINDOWSFILE, also appends
//       "<class>\t<caption>" there for every top-level window, shown or not, of a process whose
//       program file is named PROGRAM, once per window; and for each of its shown windows with
//       a shown progress bar, "progress\t<position>\t<ids of its shown, enabled buttons>\t
//       <caption>" whenever that changes.
//   labhelper hold PATH READYFILE STOPFILE [exclusive | image]
//       Opens PATH for reading and denies others writing or deleting it (with "exclusive",
//       reading too) until STOPFILE exists; creates READYFILE once the file is held. With
//       "image", maps the program or library as the loader does for a running program or a
//       loaded library, which may then be renamed but whose deletion the system denies.
//   labhelper window CAPTION
//       Exit code 0 when a top-level window with that caption exists, else 1.
//   labhelper share PATH...
//       Gives each file or folder an access list that lets the Users group (standard users)
//       change it, as a file a standard user made or took over would have.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <wchar.h>
#include <map>
#include <set>
#include <string>


namespace {

BOOL FileExists(LPCWSTR lpszPath)
{
    return ::GetFileAttributesW(lpszPath) != INVALID_FILE_ATTRIBUTES;
}

void AppendUtf8Line(LPCWSTR lpszFile, LPCWSTR lpszLine)
{
    int cb = ::WideCharToMultiByte(CP_UTF8, 0, lpszLine, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return;
    char* utf8 = new char[cb + 1];
    ::WideCharToMultiByte(CP_UTF8, 0, lpszLine, -1, utf8, cb, nullptr, nullptr);
    utf8[cb - 1] = '\n';
    HANDLE hFile = ::CreateFileW(lpszFile, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(hFile, utf8, (DWORD)cb, &written, nullptr);
        ::CloseHandle(hFile);
    }
    delete[] utf8;
}

// Line breaks of a message box text would split the record; they become " / ".
void FlattenText(LPCWSTR lpszIn, LPWSTR lpszOut, size_t cch)
{
    size_t n = 0;
    for (; *lpszIn && n + 4 < cch; ++lpszIn) {
        if (*lpszIn == L'\r')
            continue;
        if (*lpszIn == L'\n' || *lpszIn == L'\t') {
            lpszOut[n++] = L' ';
            continue;
        }
        lpszOut[n++] = *lpszIn;
    }
    lpszOut[n] = 0;
}

struct ProgramWindows {
    std::set<DWORD> pids;
    std::set<HWND>* seen;
    std::map<HWND, std::wstring>* states;
    LPCWSTR out;
};

// "progress\t<position>\t<ids>\t<caption>" of a shown window with a shown progress bar: what
// the bar reads and which buttons could be pressed; empty for any other window, and for one
// that went while it was read.
std::wstring ProgressState(HWND hWnd)
{
    if (!::IsWindowVisible(hWnd))
        return L"";
    std::wstring buttons;
    DWORD_PTR pos = 0;
    bool bBar = false;
    for (HWND h = ::GetWindow(hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        WCHAR szClass[64] = L"";
        ::GetClassNameW(h, szClass, 64);
        if (!::IsWindowVisible(h))
            continue;
        if (!_wcsicmp(szClass, L"msctls_progress32"))
            bBar = ::SendMessageTimeoutW(h, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &pos) != 0;
        else if (!_wcsicmp(szClass, L"Button") && ::IsWindowEnabled(h))
            buttons += (buttons.empty() ? L"" : L",") + std::to_wstring(::GetDlgCtrlID(h));
    }
    WCHAR szTitle[512] = L"";
    ::GetWindowTextW(hWnd, szTitle, 512);
    if (!bBar || !::IsWindowVisible(hWnd))
        return L"";
    return L"progress\t" + std::to_wstring(pos) + L"\t" + buttons + L"\t" + szTitle;
}

BOOL CALLBACK RecordProgramWindow(HWND hWnd, LPARAM lParam)
{
    auto* data = reinterpret_cast<ProgramWindows*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (!data->pids.count(pid))
        return TRUE;
    std::wstring state = ProgressState(hWnd);
    if (!state.empty() && (*data->states)[hWnd] != state) {
        (*data->states)[hWnd] = state;
        AppendUtf8Line(data->out, state.c_str());
    }
    if (!data->seen->insert(hWnd).second)
        return TRUE;
    WCHAR szClass[128] = L"", szTitle[512] = L"", szLine[700];
    ::GetClassNameW(hWnd, szClass, 128);
    ::GetWindowTextW(hWnd, szTitle, 512);
    _snwprintf(szLine, 700, L"%ls\t%ls", szClass, szTitle);
    szLine[699] = 0;
    AppendUtf8Line(data->out, szLine);
    return TRUE;
}

// Records every top-level window of the processes whose program file is lpszProgram.
void RecordWindowsOf(LPCWSTR lpszProgram, LPCWSTR lpszOut, std::set<HWND>& seen, std::map<HWND, std::wstring>& states)
{
    ProgramWindows data{ {}, &seen, &states, lpszOut };
    HANDLE hSnap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof(pe);
    for (BOOL more = hSnap != INVALID_HANDLE_VALUE && ::Process32FirstW(hSnap, &pe); more;
         more = ::Process32NextW(hSnap, &pe))
        if (!_wcsicmp(pe.szExeFile, lpszProgram))
            data.pids.insert(pe.th32ProcessID);
    if (hSnap != INVALID_HANDLE_VALUE)
        ::CloseHandle(hSnap);
    if (!data.pids.empty())
        ::EnumWindows(&RecordProgramWindow, (LPARAM)&data);
}

int WatchBoxes(LPCWSTR lpszOut, LPCWSTR lpszStop, LPCWSTR lpszCaption, LPCWSTR lpszWindowsOut, LPCWSTR lpszProgram)
{
    std::set<HWND> seen;
    std::map<HWND, std::wstring> states;
    while (!FileExists(lpszStop)) {
        if (lpszWindowsOut)
            RecordWindowsOf(lpszProgram, lpszWindowsOut, seen, states);
        HWND hBox = ::FindWindowW(nullptr, lpszCaption);
        if (!hBox || !::IsWindowVisible(hBox)) {
            ::Sleep(100);
            continue;
        }
        WCHAR szText[2048] = L"", szFlat[2048], szLine[2400];
        ::GetDlgItemTextW(hBox, 0xFFFF, szText, 2048);
        FlattenText(szText, szFlat, 2048);
        _snwprintf(szLine, 2400, L"%ls\t%ls", lpszCaption, szFlat);
        szLine[2399] = 0;
        AppendUtf8Line(lpszOut, szLine);
        HWND hOk = ::GetDlgItem(hBox, IDOK);
        ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)hOk);
        // Wait for this box to go, so that it is recorded once.
        for (int i = 0; i < 50 && ::IsWindow(hBox); ++i)
            ::Sleep(100);
    }
    return 0;
}

int HoldFile(LPCWSTR lpszPath, LPCWSTR lpszReady, LPCWSTR lpszStop, LPCWSTR lpszMode)
{
    const bool bImage = !wcscmp(lpszMode, L"image");
    const DWORD dwShare = !wcscmp(lpszMode, L"exclusive") ? 0 : FILE_SHARE_READ;
    HMODULE hImage = bImage ? ::LoadLibraryExW(lpszPath, nullptr, DONT_RESOLVE_DLL_REFERENCES) : nullptr;
    HANDLE hFile = bImage ? INVALID_HANDLE_VALUE : ::CreateFileW(lpszPath, GENERIC_READ, dwShare, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (bImage ? !hImage : hFile == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot open %ls: error %lu\n", lpszPath, ::GetLastError());
        return 1;
    }
    HANDLE hReady = ::CreateFileW(lpszReady, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hReady != INVALID_HANDLE_VALUE)
        ::CloseHandle(hReady);
    while (!FileExists(lpszStop))
        ::Sleep(100);
    if (hImage)
        ::FreeLibrary(hImage);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    return 0;
}

int ShareWithUsers(int count, wchar_t** paths)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID users = nullptr;
    BYTE acl[256];
    SECURITY_DESCRIPTOR sd;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users)
        || !::InitializeAcl((PACL)acl, sizeof(acl), ACL_REVISION)
        || !::AddAccessAllowedAce((PACL)acl, ACL_REVISION, FILE_ALL_ACCESS, users)
        || !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION)
        || !::SetSecurityDescriptorDacl(&sd, TRUE, (PACL)acl, FALSE))
        return 1;
    int failures = 0;
    for (int i = 0; i < count; ++i)
        if (!::SetFileSecurityW(paths[i], DACL_SECURITY_INFORMATION, &sd)) {
            fwprintf(stderr, L"cannot share %ls: error %lu\n", paths[i], ::GetLastError());
            ++failures;
        }
    ::FreeSid(users);
    return failures ? 1 : 0;
}

// The commands: name, least and most words after it, and what runs them.
const struct Command {
    LPCWSTR pszName;
    int nLeast, nMost;
    int (*pfnRun)(int n, wchar_t** words);
} kCommands[] = {
    { L"boxwatch", 2, 1000, [](int n, wchar_t** w) {
        return WatchBoxes(w[0], w[1], n >= 3 ? w[2] : L"Fail", n >= 5 ? w[3] : nullptr, n >= 5 ? w[4] : nullptr); } },
    { L"hold", 3, 4, [](int n, wchar_t** w) { return HoldFile(w[0], w[1], w[2], n == 4 ? w[3] : L""); } },
    { L"window", 1, 1, [](int, wchar_t** w) { return ::FindWindowW(nullptr, w[0]) ? 0 : 1; } },
    { L"share", 1, 1000, &ShareWithUsers },
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    for (const Command& command : kCommands)
        if (argc >= 2 && !wcscmp(argv[1], command.pszName) && argc - 2 >= command.nLeast && argc - 2 <= command.nMost)
            return command.pfnRun(argc - 2, argv + 2);
    fwprintf(stderr, L"usage: labhelper boxwatch OUT STOP [CAPTION [WINDOWS PROGRAM]] | "
                     L"hold PATH READY STOP [exclusive|image] | window CAPTION | share PATH...\n");
    return 2;
}
