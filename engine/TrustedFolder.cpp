#include "engine/TrustedFolder.h"
#include "engine/EngineCommon.h"
#include <sddl.h>
#include <wchar.h>

namespace {

// Rights that change a file or folder, what is in it, or who may.
const DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES
    | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY | GENERIC_WRITE | GENERIC_ALL;
// A held folder: read and checked. It does not share delete access, so no one may rename or
// delete it meanwhile; it has none either, so that others may still list it (Wine's
// FindFirstFileW does not share delete access).
const DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
// A folder opened to be deleted by its handle.
const DWORD kFolderDeleteAccess = DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// The declarations of Windows Vista that the headers for Windows XP leave out.
const int kFileBasicInfo = 0, kFileDispositionInfo = 4;          // FILE_INFO_BY_HANDLE_CLASS
const ULONG kNtFileBasicInformation = 4, kNtFileDispositionInformation = 13;
struct FileBasic {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;
    DWORD attributes;
};

FARPROC SystemFunction(LPCWSTR lpszModule, LPCSTR lpszName)
{
    HMODULE hModule = ::GetModuleHandleW(lpszModule);
    return hModule ? ::GetProcAddress(hModule, lpszName) : nullptr;
}

// Sets one class of a handle's file information: SetFileInformationByHandle from Windows Vista
// on, the native call before.
BOOL SetFileInformation(HANDLE h, int nClass, ULONG nNtClass, void* pData, DWORD cbData)
{
    typedef BOOL(WINAPI * SetInfoFn)(HANDLE, int, LPVOID, DWORD);
    static const SetInfoFn pfnSet = (SetInfoFn)(void*)SystemFunction(L"kernel32.dll", "SetFileInformationByHandle");
    if (pfnSet)
        return pfnSet(h, nClass, pData, cbData);
    struct IoStatus {
        ULONG_PTR status;
        ULONG_PTR information;
    } io = {};
    typedef LONG(WINAPI * NtSetInfoFn)(HANDLE, IoStatus*, PVOID, ULONG, ULONG);
    typedef ULONG(WINAPI * ToDosErrorFn)(LONG);
    static const NtSetInfoFn pfnNtSet = (NtSetInfoFn)(void*)SystemFunction(L"ntdll.dll", "NtSetInformationFile");
    static const ToDosErrorFn pfnToDos = (ToDosErrorFn)(void*)SystemFunction(L"ntdll.dll", "RtlNtStatusToDosError");
    if (!pfnNtSet || !pfnToDos) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    LONG status = pfnNtSet(h, &io, pData, cbData, nNtClass);
    if (status < 0) {
        ::SetLastError(pfnToDos(status));
        return FALSE;
    }
    return TRUE;
}

// The path the system gives an open handle, in its plain DOS form; FALSE where the system
// cannot say (Windows XP has no GetFinalPathNameByHandleW).
BOOL GetFinalPath(HANDLE h, std::wstring& path, BOOL* pbKnown)
{
    typedef DWORD(WINAPI * GetFinalPathFn)(HANDLE, LPWSTR, DWORD, DWORD);
    static const GetFinalPathFn pfn =
        (GetFinalPathFn)(void*)SystemFunction(L"kernel32.dll", "GetFinalPathNameByHandleW");
    *pbKnown = pfn != nullptr;
    if (!pfn)
        return FALSE;
    std::vector<WCHAR> buffer(MAX_PATH + 16);
    DWORD n = pfn(h, buffer.data(), (DWORD)buffer.size(), 0);   // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
    if (n >= buffer.size() && n < 32768) {
        buffer.resize(n + 1);
        n = pfn(h, buffer.data(), (DWORD)buffer.size(), 0);
    }
    if (n == 0 || n >= buffer.size())
        return FALSE;
    path.assign(buffer.data(), n);
    if (!path.compare(0, 8, L"\\\\?\\UNC\\"))
        path = L"\\\\" + path.substr(8);
    else if (!path.compare(0, 4, L"\\\\?\\"))
        path = path.substr(4);
    return TRUE;
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    if (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

// lpszPath in its long form and without a trailing backslash, as a final path is given.
std::wstring LongForm(std::wstring path)
{
    path = WithoutTrailingBackslash(path);
    WCHAR szLong[MAX_PATH];
    DWORD n = ::GetLongPathNameW(path.c_str(), szLong, MAX_PATH);
    return n > 0 && n < MAX_PATH ? szLong : path;
}

// The owner and access list of an open handle (READ_CONTROL), read by the system call itself:
// GetSecurityInfo would have the system load ntmarta.dll by name, which Windows XP and Vista
// look for beside the program first.
BOOL ReadSecurity(HANDLE h, std::vector<BYTE>& descriptor)
{
    const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD cb = 0;
    ::GetKernelObjectSecurity(h, info, nullptr, 0, &cb);
    descriptor.resize(cb ? cb : 1);
    return cb && ::GetKernelObjectSecurity(h, info, (PSECURITY_DESCRIPTOR)descriptor.data(), cb, &cb);
}

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text))
        return L"an unknown account";
    CLocalMemory owned(text);
    return text;
}

// Whether the file system keeps the owner this process names for what it makes: -1 while not
// known, then 1 or 0. Windows keeps it. Wine does not: it shows this process's user as the owner
// of every file, and an access list made from the Unix mode (full control for this user and
// SYSTEM, what the mode grants others as an entry for Everyone). There this process's user is
// trusted as well: on such a system it is the owner of everything, and others' rights still
// show. Learnt from a folder that this process has just made with the Administrators as its
// owner; anything unclear counts as "kept", the strict answer.
volatile LONG g_nOwnersKept = -1;

// Learns it from hFolder, a folder this process has just made (and checked to be that folder)
// with the Administrators as its owner.
void LearnOwnersKept(HANDLE hFolder)
{
    std::vector<BYTE> descriptor;
    PSID owner = nullptr;
    BOOL bDefaulted = FALSE;
    CWellKnownSids sids;
    CProcessUser user;
    if (!ReadSecurity(hFolder, descriptor)
        || !::GetSecurityDescriptorOwner((PSECURITY_DESCRIPTOR)descriptor.data(), &owner, &bDefaulted) || !owner)
        return;
    if (::EqualSid(owner, (PSID)sids.admins))
        ::InterlockedCompareExchange(&g_nOwnersKept, 1, -1);
    else if (user.Get() && ::EqualSid(owner, user.Get()))
        ::InterlockedCompareExchange(&g_nOwnersKept, 0, -1);
}

// Makes a folder below the temporary folder to learn it from, when nothing this process made
// has told it yet; then deletes that folder.
void ProbeOwnersKept()
{
    WCHAR szTemp[MAX_PATH], szPath[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    CAdminOnlySecurity security;
    for (DWORD attempt = 0; n > 0 && n < MAX_PATH && security.Get() && attempt < 10; ++attempt) {
        if (!FormatPath(szPath, L"%lssetup-owner-%lu-%lu", szTemp, ::GetCurrentProcessId(), ::GetTickCount() + attempt))
            break;
        if (!::CreateDirectoryW(szPath, security.Get())) {
            if (::GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            break;
        }
        CFileHandle folder(OpenNoFollow(szPath, kFolderDeleteAccess | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        OPEN_EXISTING, nullptr, TRUE));
        std::wstring why;
        if (folder.IsValid() && IsPlainAt(folder, szPath, TRUE, why)) {
            LearnOwnersKept(folder);
            DeleteByHandle(folder);
        }
        break;
    }
    ::InterlockedCompareExchange(&g_nOwnersKept, 1, -1);
}

BOOL OwnersAreKept()
{
    if (::InterlockedCompareExchange(&g_nOwnersKept, -1, -1) < 0)
        ProbeOwnersKept();
    return ::InterlockedCompareExchange(&g_nOwnersKept, -1, -1) != 0;
}

// Who may own or write what this program trusts.
class CTrustedAccounts {
public:
    explicit CTrustedAccounts(PSID pExtra) : m_pExtra(pExtra) {}
    BOOL Allows(PSID sid, BOOL bOwner) const
    {
        if (::EqualSid(sid, (PSID)m_sids.system) || ::EqualSid(sid, (PSID)m_sids.admins))
            return TRUE;
        if (!bOwner && m_pExtra && ::EqualSid(sid, m_pExtra))
            return TRUE;
        return m_user.Get() && ::EqualSid(sid, m_user.Get()) && !OwnersAreKept();
    }

private:
    CWellKnownSids m_sids;
    CProcessUser m_user;
    PSID m_pExtra;
};

} // namespace

CWellKnownSids::CWellKnownSids()
{
    DWORD cb = sizeof(system);
    ::CreateWellKnownSid(WinLocalSystemSid, nullptr, (PSID)system, &cb);
    cb = sizeof(admins);
    ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, (PSID)admins, &cb);
}

CProcessUser::CProcessUser()
{
    CKernelHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()))
        return;
    DWORD cb = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb ? cb : 1);
    if (!cb || !::GetTokenInformation(token, TokenUser, buffer.data(), cb, &cb))
        return;
    PSID sid = ((TOKEN_USER*)buffer.data())->User.Sid;
    m_sid.assign((BYTE*)sid, (BYTE*)sid + ::GetLengthSid(sid));
}

CAdminOnlySecurity::CAdminOnlySecurity(PSID pExtra, BOOL bAccessList)
{
    m_sa = { sizeof(m_sa), &m_sd, FALSE };
    const BYTE flags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    m_bValid = ::InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION)
        && ::SetSecurityDescriptorOwner(&m_sd, (PSID)m_sids.admins, FALSE);
    if (m_bValid && bAccessList)
        m_bValid = ::InitializeAcl((PACL)m_acl, sizeof(m_acl), ACL_REVISION)
            && ::AddAccessAllowedAceEx((PACL)m_acl, ACL_REVISION, flags, FILE_ALL_ACCESS, (PSID)m_sids.system)
            && ::AddAccessAllowedAceEx((PACL)m_acl, ACL_REVISION, flags, FILE_ALL_ACCESS, (PSID)m_sids.admins)
            && (!pExtra || ::AddAccessAllowedAceEx((PACL)m_acl, ACL_REVISION, flags, FILE_ALL_ACCESS, pExtra))
            && ::SetSecurityDescriptorDacl(&m_sd, TRUE, (PACL)m_acl, FALSE)
            && ::SetSecurityDescriptorControl(&m_sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

HANDLE OpenNoFollow(const std::wstring& path, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                    SECURITY_ATTRIBUTES* pSecurity, BOOL bFolder)
{
    DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | (bFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL);
    return ::CreateFileW(path.c_str(), dwAccess, dwShare, pSecurity, dwDisposition, flags, nullptr);
}

BOOL IsPlainAt(HANDLE h, const std::wstring& path, BOOL bFolder, std::wstring& why, BY_HANDLE_FILE_INFORMATION* pInfo)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        why = L"it cannot be read: " + SystemErrorText(::GetLastError());
        return FALSE;
    }
    if (pInfo)
        *pInfo = info;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        why = L"it is a link";
        return FALSE;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != !bFolder) {
        why = bFolder ? L"it is not a folder" : L"it is not a plain file";
        return FALSE;
    }
    // A link that the handle's attributes do not show (Wine's) still shows in its final path.
    std::wstring final;
    BOOL bKnown = FALSE;
    if (!GetFinalPath(h, final, &bKnown)) {
        if (!bKnown)
            return TRUE;   // Windows XP cannot tell; the other checks stand
        why = L"the system cannot say where it is: " + SystemErrorText(::GetLastError());
        return FALSE;
    }
    // The path meant may be in its short form (a temporary folder often is).
    if (lstrcmpiW(final.c_str(), WithoutTrailingBackslash(path).c_str()) != 0
        && lstrcmpiW(final.c_str(), LongForm(path).c_str()) != 0) {
        why = L"it leads to " + final;
        return FALSE;
    }
    return TRUE;
}

BOOL CheckSecurity(HANDLE h, PSID pExtra, BOOL bAccessList, std::wstring& why)
{
    std::vector<BYTE> descriptor;
    if (!ReadSecurity(h, descriptor)) {
        why = L"its owner and access list cannot be read: " + SystemErrorText(::GetLastError());
        return FALSE;
    }
    PSECURITY_DESCRIPTOR psd = (PSECURITY_DESCRIPTOR)descriptor.data();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL bDefaulted = FALSE, bPresent = FALSE;
    CTrustedAccounts trusted(pExtra);
    if (!::GetSecurityDescriptorOwner(psd, &owner, &bDefaulted) || !owner || !trusted.Allows(owner, TRUE)) {
        why = L"its owner is " + SidText(owner);
        return FALSE;
    }
    if (!bAccessList)
        return TRUE;
    if (!::GetSecurityDescriptorDacl(psd, &bPresent, &dacl, &bDefaulted) || !bPresent || !dacl) {
        why = L"it has no access list, so everyone may write it";
        return FALSE;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(dacl, i, (LPVOID*)&ace)) {
            why = L"its access list cannot be read";
            return FALSE;
        }
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;   // takes rights away only
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            why = L"its access list has an entry of a kind this program does not read (type "
                + std::to_wstring(ace->AceType) + L")";
            return FALSE;
        }
        // Inherit-only entries count too: they give their rights to what is made inside.
        ACCESS_ALLOWED_ACE* allowed = (ACCESS_ALLOWED_ACE*)ace;
        PSID sid = (PSID)&allowed->SidStart;
        if ((allowed->Mask & kWriteRights) && !trusted.Allows(sid, FALSE)) {
            why = L"its access list lets " + SidText(sid) + L" write it";
            return FALSE;
        }
    }
    return TRUE;
}

BOOL DeleteByHandle(HANDLE h)
{
    BOOLEAN bDelete = TRUE;   // FILE_DISPOSITION_INFO and its native twin are this one byte
    return SetFileInformation(h, kFileDispositionInfo, kNtFileDispositionInformation, &bDelete, sizeof(bDelete));
}

// --- CTrustedFolder -------------------------------------------------------------------------

BOOL CTrustedFolder::Create(const std::wstring& path, PSID pExtra, std::wstring& why)
{
    Close();
    CAdminOnlySecurity security(pExtra);
    if (!security.Get() || !::CreateDirectoryW(path.c_str(), security.Get())) {
        DWORD dwError = security.Get() ? ::GetLastError() : ERROR_INVALID_SECURITY_DESCR;
        why = SystemErrorText(dwError);
        ::SetLastError(dwError);
        return FALSE;
    }
    const std::wstring dir = WithoutTrailingBackslash(path);
    CFileHandle folder(OpenNoFollow(dir, kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, nullptr, TRUE));
    if (folder.IsValid() && IsPlainAt(folder, dir, TRUE, why)) {
        // Made with the Administrators as its owner: it shows whether the file system keeps that.
        LearnOwnersKept(folder);
        if (Hold(folder, dir, pExtra, TrustOwnerAndAccess, why))
            return TRUE;
    }
    // Something else than what was made stands there now: it is left alone.
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

FolderOpen CTrustedFolder::Open(const std::wstring& path, PSID pExtra, FolderTrust trust, std::wstring& why)
{
    Close();
    const std::wstring dir = WithoutTrailingBackslash(path);
    CFileHandle folder(OpenNoFollow(dir, kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, nullptr, TRUE));
    if (!folder.IsValid()) {
        DWORD dwError = ::GetLastError();
        why = SystemErrorText(dwError);
        if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND)
            return FolderMissing;
        return dwError == ERROR_SHARING_VIOLATION ? FolderHeld : FolderUntrusted;
    }
    return IsPlainAt(folder, dir, TRUE, why) && Hold(folder, dir, pExtra, trust, why) ? FolderTrusted : FolderUntrusted;
}

BOOL CTrustedFolder::Hold(CFileHandle& folder, const std::wstring& dir, PSID pExtra, FolderTrust trust, std::wstring& why)
{
    if (!CheckSecurity(folder, pExtra, trust == TrustOwnerAndAccess, why))
        return FALSE;
    m_handle = std::move(folder);
    m_path = dir + L"\\";
    return TRUE;
}

void CTrustedFolder::Close()
{
    m_handle.Close();
    m_path.clear();
}

std::vector<std::wstring> CTrustedFolder::List() const
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    CFindHandle find(::FindFirstFileW((m_path + L"*").c_str(), &fd));
    for (BOOL bMore = find.IsValid(); bMore; bMore = ::FindNextFileW(find, &fd))
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
            names.push_back(fd.cFileName);
    return names;
}

BOOL CTrustedFolder::DeleteFile(const std::wstring& name, BOOL* pbQueued)
{
    if (pbQueued)
        *pbQueued = FALSE;
    const std::wstring path = m_path + name;
    std::wstring why;
    CFileHandle file(OpenNoFollow(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING));
    if (!file.IsValid()) {
        DWORD dwError = ::GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND)
            return TRUE;
        SetupLog(L"%ls stays: it cannot be opened to be deleted: %ls", path.c_str(), SystemErrorText(dwError).c_str());
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsPlainAt(file, path, FALSE, why, &info)) {
        SetupLog(L"%ls stays: %ls", path.c_str(), why.c_str());
        return FALSE;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FileBasic basic = {};
        basic.attributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformation(file, kFileBasicInfo, kNtFileBasicInformation, &basic, sizeof(basic));
    }
    if (DeleteByHandle(file))
        return TRUE;
    // In use (a running program, a loaded library): the file checked above goes at the next
    // restart, by its path in this held folder.
    DWORD dwError = ::GetLastError();
    file.Close();
    if (dwError != ERROR_ACCESS_DENIED && dwError != ERROR_SHARING_VIOLATION && dwError != ERROR_LOCK_VIOLATION) {
        SetupLog(L"%ls stays: %ls", path.c_str(), SystemErrorText(dwError).c_str());
        return FALSE;
    }
    if (!::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        SetupLog(L"%ls stays: it is in use, and cannot be deleted at the next restart either (%ls)", path.c_str(),
                 SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    SetupLog(L"%ls is in use: it goes at the next restart", path.c_str());
    if (pbQueued)
        *pbQueued = TRUE;
    return TRUE;
}

BOOL CTrustedFolder::Remove(BOOL bQueue)
{
    if (!IsOpen())
        return FALSE;
    const std::wstring dir = m_path.substr(0, m_path.size() - 1);
    Close();
    // The held handle may not delete: one of its own, checked again, does.
    std::wstring why;
    CFileHandle folder(OpenNoFollow(dir, kFolderDeleteAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, nullptr,
                                    TRUE));
    if (!folder.IsValid())
        why = SystemErrorText(::GetLastError());
    else if (!IsPlainAt(folder, dir, TRUE, why))
        bQueue = FALSE;   // not the folder that was held: left alone
    else if (DeleteByHandle(folder))
        return TRUE;
    else
        why = SystemErrorText(::GetLastError());
    folder.Close();
    if (bQueue && ::MoveFileExW(dir.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        SetupLog(L"the folder %ls goes at the next restart", dir.c_str());
    else
        SetupLog(L"the folder %ls stays: %ls", dir.c_str(), why.c_str());
    return FALSE;
}

BOOL CreateTemporaryFolder(LPCWSTR lpszName, PSID pExtra, CTrustedFolder& folder)
{
    WCHAR szTemp[MAX_PATH], szFolder[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    if (n == 0 || n >= MAX_PATH)
        return FALSE;
    std::wstring why;
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        // Room is left for the files that go into it.
        if (!FormatText(szFolder, MAX_PATH - 48, L"%ls%ls-%lu-%lu", szTemp, lpszName, ::GetCurrentProcessId(),
                        ::GetTickCount() + attempt))
            return FALSE;
        if (folder.Create(szFolder, pExtra, why))
            return TRUE;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    SetupLog(L"no temporary folder %ls%ls-... can be made: %ls", szTemp, lpszName, why.c_str());
    return FALSE;
}
