#include "app/SetupCommandLine.h"
#include <wchar.h>

BOOL CSetupCommandLineInfo::ParseCopyWord(const WCHAR* pszParam)
{
    if (_wcsnicmp(pszParam, L"from=", 5) == 0) {
        if (lstrlenW(pszParam + 5) + 2 < MAX_PATH)
            ::lstrcpynW(m_szFrom, pszParam + 5, MAX_PATH);
        return TRUE;
    }
    ULONG_PTR* handle = _wcsnicmp(pszParam, L"parent=", 7) == 0 ? &m_nParentHandle
                      : _wcsnicmp(pszParam, L"result=", 7) == 0 ? &m_nResultHandle : nullptr;
    if (!handle)
        return FALSE;
    *handle = (ULONG_PTR)wcstoul(pszParam + 7, nullptr, 10);
    return TRUE;
}

void CSetupCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    if (ParseCopyWord(pszParam))
        return;
    // "log" alone, or "log=<path>".
    if (::lstrcmpiW(pszParam, L"log") == 0 || _wcsnicmp(pszParam, L"log=", 4) == 0) {
        m_bLog = 1;
        const WCHAR* path = pszParam[3] == L'=' ? pszParam + 4 : L"";
        m_bLogPathTooLong = lstrlenW(path) >= MAX_PATH;
        ::lstrcpynW(m_szLogPath, m_bLogPathTooLong ? L"" : path, MAX_PATH);
        return;
    }

    if (::lstrcmpiW(pszParam, L"delpkg") == 0)
        m_bUninstall = 1;
    else if (::lstrcmpiW(pszParam, L"SilentDel") == 0)
        m_bSilentDel = 1;
    else if (::lstrcmpiW(pszParam, L"s") == 0)
        m_bSilentInstall = 1;
    else if (::lstrcmpiW(pszParam, L"quiet") == 0)
        m_bQuiet = 1;
    else if (::lstrcmpiW(pszParam, L"progress") == 0)
        m_bProgress = 1;

    if (m_nParams < kMaxStoredParams) {
        WCHAR* slot = m_szParams[m_nParams];
        int offset = 0;
        if (bFlag)
            slot[offset++] = L'-';
        // lstrcpyn stops one unit short of the count and always terminates.
        ::lstrcpynW(slot + offset, pszParam, MAX_PATH - offset);
    }
    if (m_nParams < INT_MAX)
        ++m_nParams;
}
