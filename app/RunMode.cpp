#include "app/RunMode.h"
#include <cwchar>

static const WCHAR kTitleBitmap[] = L"Lorvane.bmp";

// "<folder>Application\Lorvane.bmp": the package's own copy.
static void PackageTitleBitmap(LPCWSTR lpszFolder, LPWSTR lpszOut)
{
    lpszOut[0] = 0;
    if (wcslen(lpszFolder) + wcslen(L"Application\\") + wcslen(kTitleBitmap) < MAX_PATH)
        wsprintfW(lpszOut, L"%s%s\\%s", lpszFolder, L"Application", kTitleBitmap);
}

// The installed copy: the uninstaller runs from "<InstallDir>\Uninstall\", and the bitmap
// lies in InstallDir. The folder is cut before its last component named "Uninstall".
static void InstalledTitleBitmap(LPCWSTR lpszFolder, LPWSTR lpszOut)
{
    lpszOut[0] = 0;
    static const WCHAR kUninstall[] = L"Uninstall";
    const size_t nameLen = wcslen(kUninstall);
    const WCHAR* cut = nullptr;
    for (const WCHAR* p = lpszFolder; *p; ++p) {
        bool startsComponent = p == lpszFolder || p[-1] == L'\\';
        if (startsComponent && wcsncmp(p, kUninstall, nameLen) == 0 &&
            (p[nameLen] == L'\\' || p[nameLen] == 0))
            cut = p;
    }
    if (!cut)
        return;
    size_t prefixLen = (size_t)(cut - lpszFolder);
    if (prefixLen + wcslen(kTitleBitmap) >= MAX_PATH)
        return;
    wmemcpy(lpszOut, lpszFolder, prefixLen);
    lstrcpyW(lpszOut + prefixLen, kTitleBitmap);
}

SetupRunMode DecideRunMode(const CSetupCommandLineInfo& cmdInfo, LPCWSTR lpszFolder, LPWSTR lpszTitleBitmap,
                           LPWSTR lpszInstalledBitmap)
{
    lpszTitleBitmap[0] = 0;
    if (lpszInstalledBitmap)
        lpszInstalledBitmap[0] = 0;
    if (cmdInfo.m_nParams == 0) {
        PackageTitleBitmap(lpszFolder, lpszTitleBitmap);
        return RunInstallWizard;
    }
    if (cmdInfo.m_bUninstall) {
        InstalledTitleBitmap(lpszFolder, lpszTitleBitmap);
        return RunUninstallWizard;
    }
    if (cmdInfo.m_bSilentDel) {
        PackageTitleBitmap(lpszFolder, lpszTitleBitmap);
        if (lpszInstalledBitmap)
            InstalledTitleBitmap(lpszFolder, lpszInstalledBitmap);
        return RunSilentUninstall;
    }
    if (cmdInfo.m_bSilentInstall || cmdInfo.m_bQuiet) {
        PackageTitleBitmap(lpszFolder, lpszTitleBitmap);
        return RunSilentInstall;
    }
    return RunInstallWizard;
}
