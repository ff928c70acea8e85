// labhelper.exe: the Windows side of the scenario harness, run inside the test prefixes.
//
//   labhelper boxwatch OUTFILE STOPFILE [CAPTION]
//       Until STOPFILE exists: finds each top-level window captioned CAPTION ("Fail" by
//       default), appends "<caption>\t<text>" (the box's static text, control 0xFFFF) as one
//       UTF-8 line to OUTFILE and presses its OK button.
//   labhelper hold PATH READYFILE STOPFILE [exclusive]
//       Opens PATH for reading and denies others writing or deleting it (with "exclusive",
//       reading too) until STOPFILE exists; creates READYFILE once the file is held.
//   labhelper uninstall FOLDER
//       The engine's uninstall on the installed copy whose "Uninstall" folder is FOLDER, with
//       the platform and language flags and the configuration section that the uninstall
//       wizard started from there would use.
//   labhelper window CAPTION
//       Exit code 0 when a top-level window with that caption exists, else 1.
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "app/LanguageLibrary.h"
#include "app/SetupFlags.h"
#include "engine/SetupEngine.h"

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

int WatchBoxes(LPCWSTR lpszOut, LPCWSTR lpszStop, LPCWSTR lpszCaption)
{
    while (!FileExists(lpszStop)) {
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

int HoldFile(LPCWSTR lpszPath, LPCWSTR lpszReady, LPCWSTR lpszStop, DWORD dwShare)
{
    HANDLE hFile = ::CreateFileW(lpszPath, GENERIC_READ, dwShare, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot open %ls: error %lu\n", lpszPath, ::GetLastError());
        return 1;
    }
    HANDLE hReady = ::CreateFileW(lpszReady, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hReady != INVALID_HANDLE_VALUE)
        ::CloseHandle(hReady);
    while (!FileExists(lpszStop))
        ::Sleep(100);
    ::CloseHandle(hFile);
    return 0;
}

int Uninstall(LPCWSTR lpszFolder)
{
    WCHAR szFolder[MAX_PATH];
    int len = _snwprintf(szFolder, MAX_PATH, L"%ls", lpszFolder);
    if (len <= 0 || len >= MAX_PATH - 1)
        return 2;
    if (szFolder[len - 1] != L'\\') {
        szFolder[len++] = L'\\';
        szFolder[len] = 0;
    }
    g_bIsWow64 = IsWow64();
    g_bIsNt6 = IsWindowsNt6();

    // The language flags come from the installed setup.exe's path, as the wizard sets them.
    WCHAR szExe[MAX_PATH];
    _snwprintf(szExe, MAX_PATH, L"%lssetup.exe", szFolder);
    szExe[MAX_PATH - 1] = 0;
    for (LPWSTR p = szExe; *p; ++p)
        if (*p >= L'A' && *p <= L'Z')
            *p += L'a' - L'A';
    HMODULE hLang = LoadLanguageLibrary(szExe);

    // The title bitmap lies in the folder above "Uninstall".
    BOOL bTitleBitmap = FALSE;
    LPCWSTR cut = wcsstr(szFolder, L"Uninstall");
    if (cut) {
        WCHAR szBitmap[MAX_PATH];
        _snwprintf(szBitmap, MAX_PATH, L"%.*lsLorvane.bmp", (int)(cut - szFolder), szFolder);
        szBitmap[MAX_PATH - 1] = 0;
        bTitleBitmap = FileExists(szBitmap);
    }

    SetupConfig config;
    ReadSetupConfig(szFolder, &config, bTitleBitmap);
    SetupOutcome outcome = UninstallApplication(config);
    if (hLang)
        ::FreeLibrary(hLang);
    wprintf(L"uninstall of %ls: %d\n", config.InstallDir, (int)outcome);
    return (int)outcome;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 4 && !wcscmp(argv[1], L"boxwatch"))
        return WatchBoxes(argv[2], argv[3], argc >= 5 ? argv[4] : L"Fail");
    if ((argc == 5 || argc == 6) && !wcscmp(argv[1], L"hold"))
        return HoldFile(argv[2], argv[3], argv[4], argc == 6 && !wcscmp(argv[5], L"exclusive") ? 0 : FILE_SHARE_READ);
    if (argc == 3 && !wcscmp(argv[1], L"uninstall"))
        return Uninstall(argv[2]);
    if (argc == 3 && !wcscmp(argv[1], L"window"))
        return ::FindWindowW(nullptr, argv[2]) ? 0 : 1;
    fwprintf(stderr, L"usage: labhelper boxwatch OUT STOP [CAPTION] | hold PATH READY STOP [exclusive] | uninstall FOLDER | "
                     L"window CAPTION\n");
    return 2;
}
