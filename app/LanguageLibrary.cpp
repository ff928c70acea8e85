#include "app/LanguageLibrary.h"
#include "app/SetupFlags.h"
#include <cwchar>

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

HMODULE TryLoadLanguageLibrary(LPCWSTR lpszExePath, LANGID wLangId)
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
    if (FileExists(szCandidate))
        return LoadResourceLibrary(szCandidate);
    wsprintfW(szCandidate + stemLen, L"ENU.DLL");
    return LoadResourceLibrary(szCandidate);
}

HMODULE LoadLanguageLibrary(LPCWSTR lpszExePath)
{
    typedef LANGID(WINAPI * GetLangFn)();
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    GetLangFn pUserUi = hKernel ? (GetLangFn)(void*)::GetProcAddress(hKernel, "GetUserDefaultUILanguage") : nullptr;
    GetLangFn pSystemUi = hKernel ? (GetLangFn)(void*)::GetProcAddress(hKernel, "GetSystemDefaultUILanguage") : nullptr;

    HMODULE h = nullptr;
    if (pUserUi) {
        h = TryLoadLanguageLibrary(lpszExePath, pUserUi());
        if (!h && pSystemUi)
            h = TryLoadLanguageLibrary(lpszExePath, pSystemUi());
    }
    if (!h)
        h = TryLoadLanguageLibrary(lpszExePath, ::GetUserDefaultLangID());
    if (!h)
        h = TryLoadLanguageLibrary(lpszExePath, ::GetSystemDefaultLangID());
    return h;
}
