// A host program that runs the wizard dialog from resources that lack the background
// bitmap, with the package's English texts.
#include "framework/Afx.h"
#include "engine/Platform.h"
#include "wizard/SetupDlg.h"
#include "tests/WinePath.h"

namespace {

std::wstring PackageFolder()
{
    return WinePath(SETUP_PACKAGE_DIR) + L"\\";
}

} // namespace

class CNoBackgroundHostApp : public CWinApp {
public:
    // Called once at start: shows the install wizard and ends.
    BOOL InitInstance() override
    {
        const std::wstring folder = PackageFolder();
        g_hLangResource = ::LoadLibraryW((folder + L"setupENU.dll").c_str());
        if (!g_hLangResource)
            return FALSE;
        CSetupDlg dlg(folder.c_str(), FALSE, nullptr);
        m_nExitCode = (int)dlg.DoModal();
        return FALSE;
    }
};

CNoBackgroundHostApp theApp;
