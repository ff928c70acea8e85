// Shell links on the user's desktop and in the all-users Programs menu.
#include "engine/EngineCommon.h"
#include <shlobj.h>
#include <objbase.h>

namespace {

// COM for the calling thread, released only when this scope initialised it. Multithreaded:
// unlike a single-threaded apartment it makes no hidden window, so a silent run needs no
// desktop. The shell link object lives in either apartment, so a thread that already is in
// a single-threaded one (the call then fails with RPC_E_CHANGED_MODE) keeps using that.
class CComScope {
public:
    CComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CComScope()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }

private:
    HRESULT m_hr;
};

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
    BOOL Save(LPCWSTR lpszFile) const { return SUCCEEDED(m_pFile->Save(lpszFile, TRUE)); }

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

} // namespace

BOOL CreateDesktopShortcut(LPCWSTR lpszTarget, LPCWSTR lpszName)
{
    CComScope com;
    CShellLink link;
    if (!link.IsValid())
        return FALSE;
    // The desktop link is made even when the target is refused.
    link.Link()->SetPath(lpszTarget);
    WCHAR szLink[MAX_PATH];
    if (!GetDesktopLinkPath(lpszName, szLink))
        return FALSE;
    if (FileExists(szLink))
        DeleteDesktopShortcut(lpszName);
    return link.Save(szLink);
}

void DeleteDesktopShortcut(LPCWSTR lpszName)
{
    WCHAR szLink[MAX_PATH];
    if (GetDesktopLinkPath(lpszName, szLink))
        ::DeleteFileW(szLink);
}

BOOL CreateProgramsShortcut(LPCWSTR lpszGroup, LPCWSTR lpszTarget, LPCWSTR lpszLinkName, LPCWSTR lpszArguments)
{
    CComScope com;
    CShellLink link;
    if (!link.IsValid())
        return FALSE;
    if (FAILED(link.Link()->SetPath(lpszTarget)))
        return FALSE;
    if (lpszArguments)
        link.Link()->SetArguments(lpszArguments);
    WCHAR szGroup[MAX_PATH], szLink[MAX_PATH];
    if (!GetProgramsLinkPaths(lpszGroup, lpszLinkName, szGroup, szLink))
        return FALSE;
    if (!FileExists(szGroup))
        ::CreateDirectoryW(szGroup, nullptr);
    else if (FileExists(szLink))
        DeleteProgramsShortcut(lpszGroup, lpszLinkName, FALSE);
    return link.Save(szLink);
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

BOOL CheckShortcutPaths(LPCWSTR lpszAppName)
{
    WCHAR szLink[MAX_PATH], szGroup[MAX_PATH];
    WCHAR szDesktop[MAX_PATH], szPrograms[MAX_PATH];
    // A folder the shell cannot name only means that its links are skipped.
    if (::SHGetSpecialFolderPathW(nullptr, szDesktop, CSIDL_DESKTOPDIRECTORY, FALSE)
        && !GetDesktopLinkPath(lpszAppName, szLink))
        return FALSE;
    if (::SHGetSpecialFolderPathW(nullptr, szPrograms, CSIDL_COMMON_PROGRAMS, FALSE)
        && (!GetProgramsLinkPaths(lpszAppName, lpszAppName, szGroup, szLink)
            || !GetProgramsLinkPaths(lpszAppName, L"Uninstall", szGroup, szLink)))
        return FALSE;
    return TRUE;
}
