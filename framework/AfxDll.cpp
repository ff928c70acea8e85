#include "framework/AfxDll.h"
#include <commctrl.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// TRUE once the system searches only its own folder for DLLs named without a path.
BOOL s_bSystemFolderOnly = FALSE;

// DLLs that the system's DLLs load by name when they first need them: visual styles, GDI's
// blending functions, sounds, the desktop window manager, property stores.
const LPCWSTR kOnDemandDlls[] = {L"uxtheme.dll", L"msimg32.dll", L"winmm.dll", L"dwmapi.dll", L"propsys.dll"};

} // namespace

void AfxRestrictDllSearch()
{
    HMODULE hKernel = ::GetModuleHandleW(L"kernel32.dll");
    // Windows 7 with its security update, and later: system folder only.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    auto pSetDefault = (SetDefaultDllDirectoriesFn)(void*)::GetProcAddress(hKernel, "SetDefaultDllDirectories");
    s_bSystemFolderOnly = pSetDefault && pSetDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // XP SP1 and later: an empty string takes the current folder out of the search.
    typedef BOOL(WINAPI * SetDllDirectoryWFn)(LPCWSTR);
    if (auto pSetDllDirectory = (SetDllDirectoryWFn)(void*)::GetProcAddress(hKernel, "SetDllDirectoryW"))
        pSetDllDirectory(L"");
    // Elsewhere the program's folder stays first in the search for a DLL the system does not
    // know: a module already loaded is found by its name before any search.
    if (!s_bSystemFolderOnly) {
        for (LPCWSTR name : kOnDemandDlls)
            AfxLoadSystemLibrary(name);
    }
}

HMODULE AfxLoadSystemLibrary(LPCWSTR lpszName)
{
    WCHAR szPath[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(szPath, MAX_PATH);
    if (n == 0 || n + 1 + (UINT)::lstrlenW(lpszName) >= MAX_PATH)
        return nullptr;
    szPath[n] = L'\\';
    ::lstrcpyW(szPath + n + 1, lpszName);
    // The DLL's own imports come from the system folder too: through the restricted search,
    // or else through the search that starts in the DLL's folder instead of the program's.
    // A DLL that this Windows lacks, or that cannot load, gives null without a system message.
    UINT nOldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE hModule = ::LoadLibraryExW(szPath, nullptr, s_bSystemFolderOnly ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
    ::SetErrorMode(nOldMode);
    return hModule;
}

BOOL AfxInitCommonControls()
{
    // The library stays loaded for the life of the process: its window classes live in it.
    static BOOL s_bRegistered = FALSE;
    if (s_bRegistered)
        return TRUE;
    typedef BOOL(WINAPI * InitCommonControlsExFn)(const INITCOMMONCONTROLSEX*);
    HMODULE hComCtl = AfxLoadSystemLibrary(L"comctl32.dll");
    auto pInit = hComCtl ? (InitCommonControlsExFn)(void*)::GetProcAddress(hComCtl, "InitCommonControlsEx") : nullptr;
    if (!pInit)
        return FALSE;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    s_bRegistered = pInit(&icc);
    return s_bRegistered;
}
