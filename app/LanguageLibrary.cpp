#include "app/LanguageLibrary.h"
#include "engine/Platform.h"
#include "framework/AfxHandle.h"
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The libraries loaded after a check, each with the file that stays open while it is mapped.
struct CheckedLibrary {
    HMODULE hModule;
    CFileHandle file;
};
std::vector<CheckedLibrary> g_checkedLibraries;
// The files a check refused: the next languages' attempts do not check them again.
std::vector<std::wstring> g_refusedLibraries;

// Loads lpszPath when pfnCheck, if any, accepts it.
HMODULE LoadCheckedLibrary(LPCWSTR lpszPath, LanguageLibraryCheckFn pfnCheck)
{
    if (!pfnCheck)
        return LoadResourceLibrary(lpszPath);
    for (const std::wstring& refused : g_refusedLibraries)
        if (!lstrcmpiW(refused.c_str(), lpszPath))
            return nullptr;
    // Read sharing only: the file cannot change between the check and the mapping, nor after.
    CFileHandle file(::CreateFileW(lpszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid())
        return nullptr;
    if (!pfnCheck(lpszPath, file)) {
        g_refusedLibraries.push_back(lpszPath);
        return nullptr;
    }
    CLibrary library(LoadResourceLibrary(lpszPath));
    if (!library.IsValid())
        return nullptr;
    g_checkedLibraries.push_back({ library.Get(), std::move(file) });
    return library.Detach();
}

} // namespace

#ifndef LOAD_LIBRARY_AS_IMAGE_RESOURCE
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#endif
HMODULE LoadResourceLibrary(LPCWSTR lpszPath)
{
    // Image-resource mapping exists from Windows Vista on; XP refuses the flag.
    HMODULE h = ::LoadLibraryExW(lpszPath, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!h && ::GetLastError() == ERROR_INVALID_PARAMETER)
        h = ::LoadLibraryExW(lpszPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return h;
}

HMODULE TryLoadLanguageLibrary(LPCWSTR lpszExePath, LANGID wLangId, LanguageLibraryCheckFn pfnCheck)
{
    WCHAR szAbbrev[4] = {};
    if (::GetLocaleInfoW(MAKELCID(wLangId, SORT_DEFAULT), LOCALE_SABBREVLANGNAME, szAbbrev, 4) == 0)
        return nullptr;
    if (::lstrcmpiW(szAbbrev, L"DEU") == 0)
        g_bGermanUi = TRUE;
    if ((::GetSystemDefaultLangID() & 0xFF) == LANG_SPANISH)
        g_bSpanishSystem = TRUE;

    // The stem is the path without its own ".exe" ending (the path is lower-cased).
    size_t len = wcslen(lpszExePath);
    if (len < 4 || wcscmp(lpszExePath + len - 4, L".exe") != 0)
        return nullptr;
    size_t stemLen = len - 4;
    if (stemLen + 3 + 4 >= MAX_PATH)   // the candidate would not fit: no truncated path is tried
        return nullptr;

    WCHAR szCandidate[MAX_PATH];
    wmemcpy(szCandidate, lpszExePath, stemLen);
    wsprintfW(szCandidate + stemLen, L"%s.DLL", szAbbrev);
    // The language's own library when it can be used; a damaged or refused one leaves English.
    if (FileExists(szCandidate)) {
        if (HMODULE h = LoadCheckedLibrary(szCandidate, pfnCheck))
            return h;
    }
    wsprintfW(szCandidate + stemLen, L"ENU.DLL");
    return LoadCheckedLibrary(szCandidate, pfnCheck);
}

HMODULE LoadLanguageLibrary(LPCWSTR lpszExePath, LanguageLibraryCheckFn pfnCheck)
{
    typedef LANGID(WINAPI * GetLangFn)();
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    GetLangFn pUserUi = hKernel ? (GetLangFn)(void*)::GetProcAddress(hKernel, "GetUserDefaultUILanguage") : nullptr;
    GetLangFn pSystemUi = hKernel ? (GetLangFn)(void*)::GetProcAddress(hKernel, "GetSystemDefaultUILanguage") : nullptr;

    HMODULE h = nullptr;
    if (pUserUi) {
        h = TryLoadLanguageLibrary(lpszExePath, pUserUi(), pfnCheck);
        if (!h && pSystemUi)
            h = TryLoadLanguageLibrary(lpszExePath, pSystemUi(), pfnCheck);
    }
    if (!h)
        h = TryLoadLanguageLibrary(lpszExePath, ::GetUserDefaultLangID(), pfnCheck);
    if (!h)
        h = TryLoadLanguageLibrary(lpszExePath, ::GetSystemDefaultLangID(), pfnCheck);
    return h;
}

void FreeLanguageLibrary(HMODULE hModule)
{
    if (!hModule)
        return;
    // The load gave the library to its caller (g_hLangResource, which ExitInstance frees):
    // this is its one release.
    ::FreeLibrary(hModule);
    for (auto it = g_checkedLibraries.begin(); it != g_checkedLibraries.end(); ++it)
        if (it->hModule == hModule) {
            g_checkedLibraries.erase(it);
            break;
        }
}
