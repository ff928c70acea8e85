// CSetupCommandLineInfo: the setup program's command-line words.
//   delpkg            the uninstall wizard
//   s                 the silent install
//   SilentDel         the silent uninstall
//   quiet             a silent run without any message box (alone: the silent install)
//   progress          a silent run shows its progress in the wizard's window, which nothing
//                     can be pressed in and which closes by itself
//   log=<path>, log   append a record of the run to <path>, or to
//                     "%TEMP%\<APPFolderName>-setup.log"
// Case-insensitive, with or without one leading '-' or '/'.
// The uninstall's temporary copy (UninstallCopy.h) gets three more words from the program that
// started it: from=<its folder>, parent=<handle> and result=<handle>.
#pragma once
#include "framework/AfxApp.h"

class CSetupCommandLineInfo : public CCommandLineInfo {
public:
    enum { kMaxStoredParams = 4 };

    // Called once per word. Every word is recognised; only the first four are stored, each
    // cut to fit its slot. The log word only asks for the log: it selects no run mode and is
    // not counted among the words.
    void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) override;

    int m_bUninstall = 0;
    int m_bSilentDel = 0;
    int m_bSilentInstall = 0;
    int m_bQuiet = 0;
    int m_bProgress = 0;
    WCHAR m_szParams[kMaxStoredParams][MAX_PATH] = {};
    int m_nParams = 0;   // number of words seen, the log word aside

    int m_bLog = 0;                   // a log was asked for
    WCHAR m_szLogPath[MAX_PATH] = {}; // its path; empty for the default one
    int m_bLogPathTooLong = 0;        // the path given does not fit: no log is written

    WCHAR m_szFrom[MAX_PATH] = {};    // the folder the uninstall's temporary copy stands for
    ULONG_PTR m_nParentHandle = 0;    // the starting program's process, inherited
    ULONG_PTR m_nResultHandle = 0;    // where the copy writes its result, inherited

private:
    // The words of the temporary copy; TRUE when pszParam was one of them.
    BOOL ParseCopyWord(const WCHAR* pszParam);
};
