// Shell links on the user's desktop and in the all-users Programs menu.
#include "engine/Shortcuts.h"
#include "engine/EngineCommon.h"
#include "engine/InstallTransaction.h"
#include <shlobj.h>
#include <objbase.h>

namespace {

// Shortcuts work in a multithreaded apartment: unlike a single-threaded one it makes no
// hidden window, so a silent run needs no desktop. The shell link object lives in either
// apartment, so a thread that already is in a single-threaded one (the start then fails with
// RPC_E_CHANGED_MODE) keeps using that.

// A new shell link object with its IPersistFile; both released by the destructor.
class CShellLink {
public:
    CShellLink()
    {
        if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&m_pLink)))
            m_pLink = nullptr;
        else if (FAILED(m_pLink->QueryInterface(IID_IPersistFile, (void**)&m_pFile)))
            m_pFile = nullptr;
    }
    ~CShellLink()
    {
        if (m_pFile)
            m_pFile->Release();
        if (m_pLink)
            m_pLink->Release();
    }
    BOOL IsValid() const { return m_pLink && m_pFile; }
    IShellLinkW* Link() const { return m_pLink; }
    HRESULT Save(LPCWSTR lpszFile) const { return m_pFile->Save(lpszFile, TRUE); }

private:
    IShellLinkW* m_pLink = nullptr;
    IPersistFile* m_pFile = nullptr;
};

BOOL GetDesktopLinkPath(LPCWSTR lpszName, LPWSTR lpszLink)
{
    WCHAR szDesktop[MAX_PATH];
    if (!::SHGetSpecialFolderPathW(nullptr, szDesktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        return FALSE;
    return FormatPath(lpszLink, L"%ls\\%ls.lnk", szDesktop, lpszName);
}

BOOL GetProgramsLinkPaths(LPCWSTR lpszGroup, LPCWSTR lpszLinkName, LPWSTR lpszGroupFolder, LPWSTR lpszLink)
{
    WCHAR szPrograms[MAX_PATH];
    if (!::SHGetSpecialFolderPathW(nullptr, szPrograms, CSIDL_COMMON_PROGRAMS, FALSE))
        return FALSE;
    return FormatPath(lpszGroupFolder, L"%ls\\%ls", szPrograms, lpszGroup)
        && FormatPath(lpszLink, L"%ls\\%ls.lnk", lpszGroupFolder, lpszLinkName);
}

// Saves the link, keeping an older one for the transaction when there is one. A link that
// cannot be saved is logged and, within a transaction, fails it.
BOOL SaveLink(const CShellLink& link, LPCWSTR lpszLink, LPCWSTR lpszTarget, CInstallTransaction* pTransaction)
{
    if (pTransaction && !pTransaction->PrepareWrite(lpszLink)) {
        pTransaction->Fail(L"Fail to create the shortcut \"%ls\": the older one there cannot be read.", lpszLink);
        return FALSE;
    }
    if (FileExists(lpszLink))
        ::DeleteFileW(lpszLink);
    HRESULT hr = link.Save(lpszLink);
    if (FAILED(hr)) {
        WCHAR szError[256];
        FormatSystemError((DWORD)hr, szError, 256);
        SetupLog(L"cannot save the shortcut %ls: %ls", lpszLink, szError);
        if (pTransaction)
            pTransaction->Fail(L"Fail to create the shortcut \"%ls\": %ls", lpszLink, szError);
        return FALSE;
    }
    SetupLog(L"shortcut %ls -> %ls", lpszLink, lpszTarget);
    return TRUE;
}

} // namespace

BOOL CreateDesktopShortcut(LPCWSTR lpszTarget, LPCWSTR lpszName, CInstallTransaction* pTransaction)
{
    CComScope com;
    CShellLink link;
    WCHAR szLink[MAX_PATH];
    if (!link.IsValid() || !GetDesktopLinkPath(lpszName, szLink)) {
        if (pTransaction)
            pTransaction->Fail(L"Fail to create the desktop shortcut \"%ls\".", lpszName);
        return FALSE;
    }
    // The desktop link is made even when the target is refused.
    link.Link()->SetPath(lpszTarget);
    return SaveLink(link, szLink, lpszTarget, pTransaction);
}

void DeleteDesktopShortcut(LPCWSTR lpszName)
{
    WCHAR szLink[MAX_PATH];
    if (GetDesktopLinkPath(lpszName, szLink))
        ::DeleteFileW(szLink);
}

BOOL CreateProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszTarget, LPCWSTR lpszLinkName, LPCWSTR lpszArguments,
                            CInstallTransaction* pTransaction)
{
    CComScope com;
    CShellLink link;
    WCHAR szGroup[MAX_PATH], szLink[MAX_PATH];
    if (!link.IsValid() || FAILED(link.Link()->SetPath(lpszTarget))
        || !GetProgramsLinkPaths(lpszGroup, lpszLinkName, szGroup, szLink)) {
        if (pTransaction)
            pTransaction->Fail(L"Fail to create the shortcut \"%ls\" in the Programs menu.", lpszLinkName);
        return FALSE;
    }
    if (lpszArguments)
        link.Link()->SetArguments(lpszArguments);
    if (pTransaction) {
        if (!pTransaction->CreateFolder(szGroup))
            return FALSE;
    } else if (!FileExists(szGroup)) {
        ::CreateDirectoryW(szGroup, nullptr);
    }
    return SaveLink(link, szLink, lpszTarget, pTransaction);
}

void DeleteProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszLinkName, BOOL bRemoveFolder)
{
    WCHAR szGroup[MAX_PATH], szLink[MAX_PATH];
    if (!GetProgramsLinkPaths(lpszGroup, lpszLinkName, szGroup, szLink))
        return;
    ::DeleteFileW(szLink);
    if (bRemoveFolder)
        ::RemoveDirectoryW(szGroup);
}

void PlanShortcuts(CInstallTransaction& transaction, LPCWSTR lpszAppName)
{
    WCHAR szGroup[MAX_PATH], szLink[MAX_PATH];
    if (GetDesktopLinkPath(lpszAppName, szLink))
        transaction.PlanFile(szLink);
    if (GetProgramsLinkPaths(lpszAppName, lpszAppName, szGroup, szLink)) {
        transaction.PlanFolder(szGroup);
        transaction.PlanFile(szLink);
    }
    if (GetProgramsLinkPaths(lpszAppName, L"Uninstall", szGroup, szLink))
        transaction.PlanFile(szLink);
}

BOOL CheckShortcutPaths(LPCWSTR lpszAppName)
{
    WCHAR szFolder[MAX_PATH], szPath[MAX_PATH];
    if (::SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_DESKTOPDIRECTORY, FALSE)
        && !FormatPlanPath(szPath, L"AppName", L"%ls\\%ls.lnk", szFolder, lpszAppName))
        return FALSE;
    if (::SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_COMMON_PROGRAMS, FALSE)
        && (!FormatPlanPath(szPath, L"AppName", L"%ls\\%ls\\%ls.lnk", szFolder, lpszAppName, lpszAppName)
            || !FormatPlanPath(szPath, L"AppName", L"%ls\\%ls\\Uninstall.lnk", szFolder, lpszAppName)))
        return FALSE;
    return TRUE;
}
