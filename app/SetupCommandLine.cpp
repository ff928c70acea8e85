#include "app/SetupCommandLine.h"

void CSetupCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    if (::lstrcmpiW(pszParam, L"delpkg") == 0)
        m_bUninstall = 1;
    else if (::lstrcmpiW(pszParam, L"SilentDel") == 0)
        m_bSilentDel = 1;
    else if (::lstrcmpiW(pszParam, L"s") == 0)
        m_bSilentInstall = 1;

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
