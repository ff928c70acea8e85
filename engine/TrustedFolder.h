// Folders and files that a run with administrator rights may trust, checked on open handles,
// never by path and then used by path. A folder is trusted when its handle shows a folder, not
// a link, at the path meant (where the system can tell: Windows Vista and later), owned by
// SYSTEM or the Administrators, with an access list whose every entry this program understands
// and none of which lets anyone else write it (inherit-only entries included), all read from
// the handle. It is held open without delete sharing (others may not rename or delete it) while
// the run uses it. Files inside are opened without following a link, checked on their handle
// and deleted by that handle; one that cannot go now (a running program, a loaded library) is
// queued for deletion at the next restart.
//
//   CWellKnownSids         the SIDs of SYSTEM and the Administrators
//   CProcessUser           this process's user
//   CAdminOnlySecurity     what this program makes: owned by the Administrators, and only SYSTEM
//                          and the Administrators (and one more account, when given) may use it
//   CTrustedFolder         one folder, made or opened once, checked, held
//   CreateTemporaryFolder  a new such folder below the temporary folder
//   OpenNoFollow, IsPlainAt, CheckSecurity   the checks on a handle, for files elsewhere
#pragma once
#include "engine/SetupEngine.h"
#include "framework/AfxHandle.h"
#include <string>
#include <vector>

struct CWellKnownSids {
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE admins[SECURITY_MAX_SID_SIZE];
    CWellKnownSids();
};

// The user of this process's token; Get() is null when the token cannot be read.
class CProcessUser {
public:
    CProcessUser();
    PSID Get() const { return m_sid.empty() ? nullptr : (PSID)m_sid.data(); }

private:
    std::vector<BYTE> m_sid;
};

// A security descriptor owned by the Administrators. With bAccessList, its protected access list
// gives SYSTEM, the Administrators and pExtra (when not null) full control, inherited by what is
// made inside; without, what is made takes the access list its folder passes on.
class CAdminOnlySecurity {
public:
    explicit CAdminOnlySecurity(PSID pExtra = nullptr, BOOL bAccessList = TRUE);
    CAdminOnlySecurity(const CAdminOnlySecurity&) = delete;
    CAdminOnlySecurity& operator=(const CAdminOnlySecurity&) = delete;
    // Null when the descriptor could not be built.
    SECURITY_ATTRIBUTES* Get() { return m_bValid ? &m_sa : nullptr; }

private:
    CWellKnownSids m_sids;
    BYTE m_acl[512];
    SECURITY_DESCRIPTOR m_sd;
    SECURITY_ATTRIBUTES m_sa;
    BOOL m_bValid;
};

// What a folder's check covers: its owner alone, or its owner and its whole access list.
enum FolderTrust { TrustOwner, TrustOwnerAndAccess };
// How an open of an existing folder went.
enum FolderOpen { FolderTrusted, FolderMissing, FolderHeld, FolderUntrusted };

class CTrustedFolder {
public:
    CTrustedFolder() = default;
    CTrustedFolder(CTrustedFolder&&) = default;
    CTrustedFolder& operator=(CTrustedFolder&&) = default;

    // Makes the new folder lpszPath (no trailing backslash) with CAdminOnlySecurity(pExtra),
    // then opens, checks and holds it. FALSE, with the system's error (ERROR_ALREADY_EXISTS when
    // something of that name is there) and why, when it is not made or not as made.
    BOOL Create(const std::wstring& path, PSID pExtra, std::wstring& why);
    // Opens an existing folder and checks it on its handle; pExtra may also write it. Held only
    // when FolderTrusted; FolderHeld when another program holds it (a running setup).
    FolderOpen Open(const std::wstring& path, PSID pExtra, FolderTrust trust, std::wstring& why);
    BOOL IsOpen() const { return m_handle.IsValid(); }
    // With its trailing backslash.
    const std::wstring& Path() const { return m_path; }
    // Lets go of the folder, which stays.
    void Close();

    // The names of the entries inside, "." and ".." left out (to be checked one by one).
    std::vector<std::wstring> List() const;
    // Deletes the plain file lpszName inside by its handle; one that cannot go now is queued for
    // the next restart (*pbQueued). TRUE when it is gone, queued, or was never there; FALSE (and
    // logged) when it cannot be opened or is no plain file of this folder, which then stays.
    BOOL DeleteFile(const std::wstring& name, BOOL* pbQueued = nullptr);
    // Lets go of the folder and deletes it by a handle of its own, checked again, when it is
    // empty; else queues it for the next restart when bQueue is set. TRUE when it is gone now.
    BOOL Remove(BOOL bQueue);

private:
    // Holds folder, a handle of dir that shows a plain folder, when its owner and access list
    // may be trusted.
    BOOL Hold(CFileHandle& folder, const std::wstring& dir, PSID pExtra, FolderTrust trust, std::wstring& why);

    std::wstring m_path;
    CFileHandle m_handle;
};

// Makes a new trusted folder "<lpszName>-<process id>-<n>" below the temporary folder and
// holds it in folder; pExtra may use it too. FALSE (logged) when none could be made.
BOOL CreateTemporaryFolder(LPCWSTR lpszName, PSID pExtra, CTrustedFolder& folder);

// Opens lpszPath without following a link (FILE_FLAG_OPEN_REPARSE_POINT, and for folders
// FILE_FLAG_BACKUP_SEMANTICS); INVALID_HANDLE_VALUE, with the system's error, when it cannot.
HANDLE OpenNoFollow(const std::wstring& path, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                    SECURITY_ATTRIBUTES* pSecurity = nullptr, BOOL bFolder = FALSE);
// TRUE when the handle shows a plain file (bFolder: a folder), not a link, at path where the
// system can tell; else why not. pInfo, when given, gets what the handle showed.
BOOL IsPlainAt(HANDLE h, const std::wstring& path, BOOL bFolder, std::wstring& why,
               BY_HANDLE_FILE_INFORMATION* pInfo = nullptr);
// TRUE when the handle's owner is SYSTEM or the Administrators and, with bAccessList, no entry
// of its access list lets others than they (and pExtra) write it; else why not.
BOOL CheckSecurity(HANDLE h, PSID pExtra, BOOL bAccessList, std::wstring& why);
// Marks an open file or folder for deletion (the handle needs DELETE access); it goes when its
// last handle closes. FALSE, with the system's error, when the system refuses.
BOOL DeleteByHandle(HANDLE h);
