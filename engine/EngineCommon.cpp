#include "engine/EngineCommon.h"
#include "app/SetupFlags.h"
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

EngineMessageBoxFn g_pfnEngineMessageBox = ::MessageBoxW;

static BOOL FormatTextV(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, va_list args)
{
    int n = _vsnwprintf(lpszBuffer, cch, lpszFormat, args);
    if (n < 0 || (size_t)n >= cch) {
        lpszBuffer[0] = 0;
        return FALSE;
    }
    lpszBuffer[n] = 0;
    return TRUE;
}

BOOL FormatText(LPWSTR lpszBuffer, size_t cch, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    BOOL bOk = FormatTextV(lpszBuffer, cch, lpszFormat, args);
    va_end(args);
    return bOk;
}

BOOL FormatPath(LPWSTR lpszBuffer, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    BOOL bOk = FormatTextV(lpszBuffer, MAX_PATH, lpszFormat, args);
    va_end(args);
    return bOk;
}

BOOL FolderExists(LPCWSTR lpszPath)
{
    DWORD attr = ::GetFileAttributesW(lpszPath);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

LPCWSTR GetRegistryPrefix()
{
    return g_bIsWow64 ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                      : L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
}

void ShowFailure(LPCWSTR lpszText)
{
    g_pfnEngineMessageBox(nullptr, lpszText, L"Fail", MB_ICONWARNING | MB_OK);
}

BOOL IsPlainName(LPCWSTR lpszName)
{
    if (!lpszName[0] || !wcscmp(lpszName, L".") || !wcscmp(lpszName, L".."))
        return FALSE;
    return wcspbrk(lpszName, L"\\/:") == nullptr;
}

// Refuses one setting with its message; FALSE when it is not a plain name.
static BOOL CheckPlainSetting(LPCWSTR lpszKey, LPCWSTR lpszValue)
{
    if (IsPlainName(lpszValue))
        return TRUE;
    WCHAR szText[1024];
    if (!lpszValue[0])
        FormatText(szText, 1024, L"The setting \"%ls\" in setup.ini is empty.", lpszKey);
    else
        FormatText(szText, 1024,
            L"The setting \"%ls\" in setup.ini is \"%ls\". It must be a plain name, without "
            L"\"\\\", \"/\" or \":\", and not \".\" or \"..\".", lpszKey, lpszValue);
    ShowFailure(szText);
    return FALSE;
}

BOOL CheckSetupConfig(const SetupConfig& config)
{
    if (!CheckPlainSetting(L"APPFolderName", config.AppFolderName)
        || !CheckPlainSetting(L"APPFileName", config.AppFileName)
        || !CheckPlainSetting(L"AppName", config.AppName))
        return FALSE;
    if (!config.InstallDir[0]) {
        ShowFailure(L"The install folder is empty: the setting \"APPFolderName\" in setup.ini "
                    L"does not give a folder path that fits.");
        return FALSE;
    }
    return TRUE;
}
