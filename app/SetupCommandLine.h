// CSetupCommandLineInfo: the setup program's command-line words.
//   delpkg     the uninstall wizard
//   s          the silent install
//   SilentDel  recognised and recorded; no run mode reads it
// Case-insensitive, with or without one leading '-' or '/'.
#pragma once
#include "framework/AfxApp.h"

class CSetupCommandLineInfo : public CCommandLineInfo {
public:
    enum { kMaxStoredParams = 4 };

    // Called once per word. Every word is recognised; only the first four are stored,
    // each cut to fit its slot.
    void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) override;

    int m_bUninstall = 0;
    int m_bSilentDel = 0;
    int m_bSilentInstall = 0;
    WCHAR m_szParams[kMaxStoredParams][MAX_PATH] = {};
    int m_nParams = 0;   // number of words seen
};
