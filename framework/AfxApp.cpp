#include "framework/AfxApp.h"
#include "framework/AfxHandle.h"
#include <shellapi.h>

static CWinApp* g_pApp = nullptr;
static HINSTANCE g_hResource = nullptr;

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return g_hResource ? g_hResource : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE hInst) { g_hResource = hInst; }

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR lpszAppName)
{
    g_pApp = this;
    if (lpszAppName) {
        lstrcpynW(m_szAppName, lpszAppName, MAX_PATH);
    } else {
        WCHAR path[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        LPCWSTR name = path;
        for (LPCWSTR p = path; *p; ++p)
            if (*p == L'\\' || *p == L'/')
                name = p + 1;
        lstrcpynW(m_szAppName, name, MAX_PATH);
        if (WCHAR* dot = wcsrchr(m_szAppName, L'.'))
            *dot = 0;
    }
    m_pszAppName = m_szAppName;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_nExitCode = (int)msg.wParam;
    return ExitInstance();
}

void CWinApp::ParseCommandLineWords(LPCWSTR lpszCommandLine, CCommandLineInfo& rCmdInfo)
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(lpszCommandLine && *lpszCommandLine ? lpszCommandLine : L"x", &argc);
    if (!argv)
        return;
    // One block for the whole array and its words.
    CLocalMemory words((HLOCAL)argv);
    for (int i = 1; i < argc; ++i) {
        const WCHAR* word = argv[i];
        BOOL bFlag = FALSE;
        if (word[0] == L'-' || word[0] == L'/') {
            bFlag = TRUE;
            ++word;
        }
        rCmdInfo.ParseParam(word, bFlag, i == argc - 1);
    }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo)
{
    ParseCommandLineWords(::GetCommandLineW(), rCmdInfo);
}

void CWinApp::OnHelp()
{
    WCHAR path[MAX_PATH + 8] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    WCHAR* dot = wcsrchr(path, L'.');
    if (!dot)
        return;
    lstrcpyW(dot, L".chm");
    if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        ::MessageBeep(MB_ICONASTERISK);
        return;
    }
    ::ShellExecuteW(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, L"open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

int AfxMessageBox(LPCWSTR lpszText, UINT nType, UINT nIDHelp)
{
    CWinApp* app = AfxGetApp();
    HWND hOwner = nullptr;
    if (app && app->m_pMainWnd && ::IsWindow(app->m_pMainWnd->m_hWnd))
        hOwner = app->m_pMainWnd->m_hWnd;
    LPCWSTR caption = app ? app->m_pszAppName : L"";
    return ::MessageBoxW(hOwner, lpszText, caption, nType);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int nCmdShow)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;

    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
