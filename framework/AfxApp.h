// The application object and process entry.
//   CWinApp           the one application object; wWinMain calls InitInstance, then
//                     Run (when InitInstance returned TRUE) or ExitInstance
//   CCommandLineInfo  receives the command-line words from ParseCommandLine
//   AfxMessageBox     a message box captioned with the application's name
#pragma once
#include "framework/AfxWnd.h"

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // Called once per word after the program name. A word that began with '-' or '/'
    // arrives without that character and with bFlag TRUE. The framework itself knows no
    // words: derived classes decide what each means.
    virtual void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) {}
};

class CWinApp : public CCmdTarget {
public:
    // A null name takes the executable's file name without its extension.
    explicit CWinApp(LPCWSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    // Returns the process exit code.
    virtual int ExitInstance() { return m_nExitCode; }
    // The message loop of an application that keeps running after InitInstance.
    virtual int Run();

    // Splits the command line into words and hands each to rCmdInfo.ParseParam.
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    // Splits a command line (program name first) the way the system does for programs.
    static void ParseCommandLineWords(LPCWSTR lpszCommandLine, CCommandLineInfo& rCmdInfo);
    // Opens the program's help file (<program>.chm beside the executable) if it has one.
    void OnHelp();

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr;
    LPCWSTR m_pszAppName = nullptr;
    int m_nExitCode = 0;   // what ExitInstance returns

protected:
    DECLARE_MESSAGE_MAP()
private:
    WCHAR m_szAppName[MAX_PATH] = {};
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module that holds the program's own resources (dialogs, bitmaps, icons).
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInst);
int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
