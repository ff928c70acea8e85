#include "engine/InstallJournal.h"
#include "engine/EngineCommon.h"
#include <shlobj.h>
#include <sddl.h>
#include <wchar.h>

namespace {

const WCHAR kJournalName[] = L"journal.txt";
const char kJournalMagic[] = "setup journal 1";

// Rights that change a file or folder, or what may be in it, or who may.
const DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | DELETE
    | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The SIDs of SYSTEM and of the Administrators group.
struct CWellKnownSids {
    BYTE system[SECURITY_MAX_SID_SIZE];
    BYTE admins[SECURITY_MAX_SID_SIZE];
    CWellKnownSids()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        ::InitializeSid((PSID)system, &nt, 1);
        *::GetSidSubAuthority((PSID)system, 0) = SECURITY_LOCAL_SYSTEM_RID;
        ::InitializeSid((PSID)admins, &nt, 2);
        *::GetSidSubAuthority((PSID)admins, 0) = SECURITY_BUILTIN_DOMAIN_RID;
        *::GetSidSubAuthority((PSID)admins, 1) = DOMAIN_ALIAS_RID_ADMINS;
    }
};

// A security descriptor that gives SYSTEM and the Administrators full control and nobody else
// anything, inherited by what is made inside and not by what is above; owned by the
// Administrators when bOwner is set.
class CAdminOnlySecurity {
public:
    explicit CAdminOnlySecurity(BOOL bOwner)
    {
        m_sa = { sizeof(m_sa), &m_sd, FALSE };
        const BYTE flags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
        m_bValid = ::InitializeAcl((PACL)m_acl, sizeof(m_acl), ACL_REVISION)
            && ::AddAccessAllowedAceEx((PACL)m_acl, ACL_REVISION, flags, FILE_ALL_ACCESS, (PSID)m_sids.system)
            && ::AddAccessAllowedAceEx((PACL)m_acl, ACL_REVISION, flags, FILE_ALL_ACCESS, (PSID)m_sids.admins)
            && ::InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION)
            && ::SetSecurityDescriptorDacl(&m_sd, TRUE, (PACL)m_acl, FALSE)
            && ::SetSecurityDescriptorControl(&m_sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED)
            && (!bOwner || ::SetSecurityDescriptorOwner(&m_sd, (PSID)m_sids.admins, FALSE));
    }
    SECURITY_ATTRIBUTES* Get() { return m_bValid ? &m_sa : nullptr; }

private:
    CWellKnownSids m_sids;
    BYTE m_acl[256];
    SECURITY_DESCRIPTOR m_sd;
    SECURITY_ATTRIBUTES m_sa;
    BOOL m_bValid;
};

// This process's user: the administrator who runs the setup.
BOOL GetProcessUserSid(std::vector<BYTE>& sid)
{
    HANDLE hToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return FALSE;
    DWORD cb = 0;
    ::GetTokenInformation(hToken, TokenUser, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb ? cb : 1);
    BOOL bOk = cb && ::GetTokenInformation(hToken, TokenUser, buffer.data(), cb, &cb);
    ::CloseHandle(hToken);
    if (!bOk)
        return FALSE;
    PSID user = ((TOKEN_USER*)buffer.data())->User.Sid;
    sid.assign((BYTE*)user, (BYTE*)user + ::GetLengthSid(user));
    return TRUE;
}

std::wstring SidText(PSID sid)
{
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text))
        return L"an unknown account";
    std::wstring result = text;
    ::LocalFree(text);
    return result;
}

// "<folder>\<name>" when name is one plain entry of the folder, else empty.
std::wstring EntryOf(const std::wstring& folder, const std::wstring& name)
{
    return IsValidName(name.c_str()) ? folder + name : std::wstring();
}

std::wstring FromUtf8(const std::string& utf8)
{
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring text(n > 0 ? (size_t)n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &text[0], n);
    return text;
}

std::wstring ToHex(const std::vector<BYTE>& data)
{
    static const WCHAR kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    for (BYTE b : data) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

BOOL FromHex(const std::wstring& hex, std::vector<BYTE>& data)
{
    if (hex.size() % 2)
        return FALSE;
    data.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        WCHAR pair[3] = { hex[i], hex[i + 1], 0 };
        WCHAR* end = nullptr;
        unsigned long b = wcstoul(pair, &end, 16);
        if (end != pair + 2)
            return FALSE;
        data.push_back((BYTE)b);
    }
    return TRUE;
}

// One journal line: the record's fields, separated by tabs (no path or name holds one).
std::wstring RecordOf(const JournalStep& step, const std::wstring& folder)
{
    std::wstring backupName = step.backup.size() > folder.size() ? step.backup.substr(folder.size()) : L"";
    switch (step.kind) {
    case JournalStep::FolderCreated:
        return L"folder\t" + step.path;
    case JournalStep::FileWritten:
        return L"file\t" + step.path + L"\t" + backupName;
    case JournalStep::KeyCreated:
        return L"key\t" + step.path;
    case JournalStep::ValueWritten:
        return L"value\t" + step.path + L"\t" + step.name + L"\t" + (step.existed ? L"1" : L"0") + L"\t"
            + std::to_wstring(step.type) + L"\t" + ToHex(step.data);
    case JournalStep::ServiceWasRemoved:
        return L"service removed\t" + step.path;
    case JournalStep::ServiceWasRegistered:
        return L"service registered\t" + step.path;
    }
    return L"";
}

std::vector<std::wstring> SplitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos)
            return fields;
        start = tab + 1;
    }
}

// The start time of process dwPid, or 0 when no such process runs.
ULONGLONG ProcessStartTime(DWORD dwPid)
{
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, dwPid);
    if (!hProcess)
        return 0;
    FILETIME created, exited, kernel, user;
    ULONGLONG start = 0;
    if (::GetProcessTimes(hProcess, &created, &exited, &kernel, &user)
        && ::WaitForSingleObject(hProcess, 0) == WAIT_TIMEOUT)
        start = ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
    ::CloseHandle(hProcess);
    return start;
}

// Deletes the plain files of the journal folder (the journal first), then the folder.
void RemoveJournalFolder(const std::wstring& folder)
{
    ::DeleteFileW((folder + kJournalName).c_str());
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((folder + L"*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::wstring path = folder + fd.cFileName;
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    std::wstring dir = folder.substr(0, folder.size() - 1);
    if (!::RemoveDirectoryW(dir.c_str()))
        SetupLog(L"the journal folder %ls stays: %ls", dir.c_str(), SystemErrorText(::GetLastError()).c_str());
}

// Removes the temporary folders "setup-rollback-<pid>-<n>" of earlier runs whose process has
// ended: old files that such a run kept and that nothing would remove any more.
void RemoveStaleRollbackFolders()
{
    WCHAR szTemp[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring temp = szTemp;
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((temp + L"setup-rollback-*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        DWORD pid = wcstoul(fd.cFileName + wcslen(L"setup-rollback-"), nullptr, 10);
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            || ProcessStartTime(pid))
            continue;
        SetupLog(L"removing the old files that an earlier run left in %ls%ls", temp.c_str(), fd.cFileName);
        RemoveJournalFolder(temp + fd.cFileName + L"\\");
    } while (::FindNextFileW(hFind, &fd));
    ::FindClose(hFind);
}

// What a journal may name: the install folder and what is inside it, the Programs group and
// the desktop links of the application, its uninstall entry and Run value, and the kept old
// files in the journal folder. Anything else is refused, whatever the journal says.
class CJournalScope {
public:
    CJournalScope(const std::wstring& installDir, const std::wstring& appName, const std::wstring& folder)
        : m_installDir(installDir), m_appName(appName), m_folder(folder)
    {
        WCHAR szFolder[MAX_PATH];
        if (::SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_COMMON_PROGRAMS, FALSE))
            m_group = std::wstring(szFolder) + L"\\" + appName;
        if (::SHGetSpecialFolderPathW(nullptr, szFolder, CSIDL_DESKTOPDIRECTORY, FALSE))
            m_desktopLink = std::wstring(szFolder) + L"\\" + appName + L".lnk";
        m_uninstallKey = std::wstring(GetRegistryPrefix()) + L"Uninstall\\";
        m_runKey = std::wstring(GetRegistryPrefix()) + L"Run";
    }

    // TRUE when the install folder itself may be trusted: an absolute path whose last
    // component is the product's folder name.
    BOOL IsValid(LPCWSTR lpszAppFolderName) const
    {
        size_t slash = m_installDir.rfind(L'\\');
        return m_installDir.size() > 3 && m_installDir[1] == L':' && m_installDir[2] == L'\\'
            && slash != std::wstring::npos && !_wcsicmp(m_installDir.c_str() + slash + 1, lpszAppFolderName)
            && !HasDotComponent(m_installDir) && IsValidName(m_appName.c_str());
    }

    BOOL Allows(const JournalStep& step, LPCWSTR lpszAppFolderName) const
    {
        switch (step.kind) {
        case JournalStep::FolderCreated:
            return IsInside(step.path, m_installDir, TRUE) || !_wcsicmp(step.path.c_str(), m_group.c_str());
        case JournalStep::FileWritten:
            return (IsInside(step.path, m_installDir, FALSE) || IsLink(step.path))
                && (step.backup.empty() || IsInside(step.backup, m_folder.substr(0, m_folder.size() - 1), FALSE));
        case JournalStep::KeyCreated:
            return !_wcsicmp(step.path.c_str(), (m_uninstallKey + lpszAppFolderName).c_str());
        case JournalStep::ValueWritten:
            return !_wcsicmp(step.path.c_str(), (m_uninstallKey + lpszAppFolderName).c_str())
                || (!_wcsicmp(step.path.c_str(), m_runKey.c_str()) && step.name == m_appName);
        case JournalStep::ServiceWasRemoved:
        case JournalStep::ServiceWasRegistered:
            return !_wcsicmp(step.path.c_str(), m_installDir.c_str());
        }
        return FALSE;
    }

private:
    static BOOL HasDotComponent(const std::wstring& path)
    {
        return path.find(L"\\.\\") != std::wstring::npos || path.find(L"\\..\\") != std::wstring::npos
            || path.find(L"/") != std::wstring::npos || (path.size() >= 2 && path.compare(path.size() - 2, 2, L"\\.") == 0)
            || (path.size() >= 3 && path.compare(path.size() - 3, 3, L"\\..") == 0);
    }
    // lpszPath is below folder (or is it, with bSelf), by plain components.
    static BOOL IsInside(const std::wstring& path, const std::wstring& folder, BOOL bSelf)
    {
        if (folder.empty() || HasDotComponent(path))
            return FALSE;
        if (bSelf && !_wcsicmp(path.c_str(), folder.c_str()))
            return TRUE;
        return path.size() > folder.size() + 1 && !_wcsnicmp(path.c_str(), folder.c_str(), folder.size())
            && path[folder.size()] == L'\\';
    }
    BOOL IsLink(const std::wstring& path) const
    {
        if (!_wcsicmp(path.c_str(), m_desktopLink.c_str()))
            return TRUE;
        size_t slash = path.rfind(L'\\');
        return slash != std::wstring::npos && !_wcsicmp(path.substr(0, slash).c_str(), m_group.c_str())
            && path.size() > 4 && !_wcsicmp(path.c_str() + path.size() - 4, L".lnk") && !HasDotComponent(path);
    }

    std::wstring m_installDir, m_appName, m_folder, m_group, m_desktopLink, m_uninstallKey, m_runKey;
};

// A journal read back: its header and its complete records.
struct JournalContents {
    DWORD pid = 0;
    ULONGLONG startTime = 0;
    std::wstring installDir, appName;
    bool planEnd = false;
    std::vector<JournalStep> steps;
    std::wstring problem;   // why the journal cannot be used, when it cannot
};

BOOL ParseRecord(const std::vector<std::wstring>& f, const std::wstring& folder, JournalStep& step)
{
    const std::wstring& kind = f[0];
    if (kind == L"folder" && f.size() == 2)
        step = { JournalStep::FolderCreated, f[1] };
    else if (kind == L"file" && f.size() == 3) {
        step = { JournalStep::FileWritten, f[1] };
        if (!f[2].empty()) {
            step.backup = EntryOf(folder, f[2]);
            if (step.backup.empty())
                return FALSE;
        }
    } else if (kind == L"key" && f.size() == 2)
        step = { JournalStep::KeyCreated, f[1] };
    else if (kind == L"value" && f.size() == 6) {
        step = { JournalStep::ValueWritten, f[1] };
        step.name = f[2];
        step.existed = f[3] == L"1";
        step.type = wcstoul(f[4].c_str(), nullptr, 10);
        if (!FromHex(f[5], step.data))
            return FALSE;
    } else if (kind == L"service removed" && f.size() == 2)
        step = { JournalStep::ServiceWasRemoved, f[1] };
    else if (kind == L"service registered" && f.size() == 2)
        step = { JournalStep::ServiceWasRegistered, f[1] };
    else
        return FALSE;
    return TRUE;
}

JournalContents ReadJournal(const std::wstring& folder)
{
    JournalContents contents;
    HANDLE h = ::CreateFileW((folder + kJournalName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        contents.problem = L"it cannot be read: " + SystemErrorText(::GetLastError());
        return contents;
    }
    std::string bytes;
    char buffer[8192];
    DWORD cbRead = 0;
    while (bytes.size() < (4u << 20) && ::ReadFile(h, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead)
        bytes.append(buffer, cbRead);
    ::CloseHandle(h);

    // Only whole lines count: a record cut short by the process's death is not one.
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(FromUtf8(bytes.substr(start, end - start)));
    if (lines.size() < 4 || lines[0] != FromUtf8(kJournalMagic)) {
        contents.problem = L"it is not a journal of this program";
        return contents;
    }
    std::vector<std::wstring> process = SplitFields(lines[1]), install = SplitFields(lines[2]),
                              app = SplitFields(lines[3]);
    if (process.size() != 3 || process[0] != L"process" || install.size() != 2 || install[0] != L"install"
        || app.size() != 2 || app[0] != L"app") {
        contents.problem = L"its header is damaged";
        return contents;
    }
    contents.pid = wcstoul(process[1].c_str(), nullptr, 10);
    contents.startTime = wcstoull(process[2].c_str(), nullptr, 16);
    contents.installDir = install[1];
    contents.appName = app[1];
    for (size_t i = 4; i < lines.size(); ++i) {
        if (lines[i] == L"plan end") {
            contents.planEnd = true;
            continue;
        }
        JournalStep step{};
        if (!ParseRecord(SplitFields(lines[i]), folder, step)) {
            contents.problem = L"its line " + std::to_wstring(i + 1) + L" is damaged";
            return contents;
        }
        contents.steps.push_back(step);
    }
    return contents;
}

} // namespace

BOOL CInstallJournal::GetFolder(LPCWSTR lpszAppFolderName, std::wstring& folder)
{
    WCHAR szData[MAX_PATH];
    if (!::SHGetSpecialFolderPathW(nullptr, szData, CSIDL_COMMON_APPDATA, FALSE))
        return FALSE;
    folder = std::wstring(szData) + L"\\" + lpszAppFolderName + L" setup\\";
    // Room for the kept files' names.
    return folder.size() + 16 < MAX_PATH;
}

BOOL CInstallJournal::IsAdminOnly(LPCWSTR lpszPath, std::wstring& why)
{
    DWORD cb = 0;
    const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    ::GetFileSecurityW(lpszPath, info, nullptr, 0, &cb);
    std::vector<BYTE> buffer(cb ? cb : 1);
    if (!cb || !::GetFileSecurityW(lpszPath, info, (PSECURITY_DESCRIPTOR)buffer.data(), cb, &cb)) {
        why = L"its owner and access list cannot be read: " + SystemErrorText(::GetLastError());
        return FALSE;
    }
    CWellKnownSids sids;
    std::vector<BYTE> user;
    GetProcessUserSid(user);
    auto trusted = [&](PSID sid) {
        return ::EqualSid(sid, (PSID)sids.system) || ::EqualSid(sid, (PSID)sids.admins)
            || (!user.empty() && ::EqualSid(sid, (PSID)user.data()));
    };

    PSECURITY_DESCRIPTOR psd = (PSECURITY_DESCRIPTOR)buffer.data();
    PSID owner = nullptr;
    BOOL bDefaulted = FALSE, bPresent = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorOwner(psd, &owner, &bDefaulted) || !owner || !trusted(owner)) {
        why = L"its owner is " + SidText(owner);
        return FALSE;
    }
    if (!::GetSecurityDescriptorDacl(psd, &bPresent, &dacl, &bDefaulted) || !bPresent || !dacl) {
        why = L"it has no access list, so everyone may write it";
        return FALSE;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(dacl, i, (LPVOID*)&ace) || (ace->AceFlags & INHERIT_ONLY_ACE)
            || ace->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        ACCESS_ALLOWED_ACE* allowed = (ACCESS_ALLOWED_ACE*)ace;
        PSID sid = (PSID)&allowed->SidStart;
        if ((allowed->Mask & kWriteRights) && !trusted(sid)) {
            why = L"its access list lets " + SidText(sid) + L" write it";
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CInstallJournal::Create(LPCWSTR lpszAppFolderName, LPCWSTR lpszInstallDir, LPCWSTR lpszAppName)
{
    Close();
    if (!GetFolder(lpszAppFolderName, m_folder))
        return FALSE;
    std::wstring dir = m_folder.substr(0, m_folder.size() - 1), why;
    // The Administrators own it; a system that does not let this process name them as the
    // owner leaves this process's user as the owner.
    CAdminOnlySecurity owned(TRUE), plain(FALSE);
    BOOL bMade = ::CreateDirectoryW(dir.c_str(), owned.Get()) || ::CreateDirectoryW(dir.c_str(), plain.Get());
    DWORD dwError = ::GetLastError();
    // A folder left by an earlier run serves again when it is still the administrators' alone.
    DWORD attr = ::GetFileAttributesW(dir.c_str());
    if (!bMade && (dwError != ERROR_ALREADY_EXISTS || attr == INVALID_FILE_ATTRIBUTES
                   || !(attr & FILE_ATTRIBUTE_DIRECTORY) || (attr & FILE_ATTRIBUTE_REPARSE_POINT))) {
        SetupLog(L"the journal folder %ls cannot be made (%ls): this install cannot be recovered if it is "
                 L"interrupted", dir.c_str(), SystemErrorText(dwError).c_str());
        return FALSE;
    }
    if (!IsAdminOnly(dir.c_str(), why)) {
        SetupLog(L"the journal folder %ls is not used: %ls; this install cannot be recovered if it is interrupted",
                 dir.c_str(), why.c_str());
        if (bMade)
            ::RemoveDirectoryW(dir.c_str());
        return FALSE;
    }
    std::wstring path = m_folder + kJournalName;
    // Another run may read it while this one works: it then knows that this install runs.
    m_hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, owned.Get(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE)
        m_hFile = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, plain.Get(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        SetupLog(L"the journal %ls cannot be made: %ls", path.c_str(), SystemErrorText(::GetLastError()).c_str());
        ::RemoveDirectoryW(dir.c_str());
        return FALSE;
    }
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    WCHAR szStart[32];
    FormatText(szStart, 32, L"%08lx%08lx", created.dwHighDateTime, created.dwLowDateTime);
    std::string header = std::string(kJournalMagic) + "\n"
        + ToUtf8(L"process\t" + std::to_wstring(::GetCurrentProcessId()) + L"\t" + szStart + L"\n")
        + ToUtf8(L"install\t" + std::wstring(lpszInstallDir) + L"\n") + ToUtf8(L"app\t" + std::wstring(lpszAppName) + L"\n");
    DWORD cbWritten = 0;
    if (!::WriteFile(m_hFile, header.data(), (DWORD)header.size(), &cbWritten, nullptr)) {
        SetupLog(L"the journal %ls cannot be written: %ls", path.c_str(), SystemErrorText(::GetLastError()).c_str());
        Remove();
        return FALSE;
    }
    SetupLog(L"journal: %ls", path.c_str());
    return TRUE;
}

BOOL CInstallJournal::Write(const std::vector<JournalStep>& steps, BOOL bPlanEnd)
{
    if (!IsOpen())
        return FALSE;
    std::string text;
    for (const JournalStep& step : steps)
        text += ToUtf8(RecordOf(step, m_folder) + L"\n");
    if (bPlanEnd)
        text += "plan end\n";
    DWORD cbWritten = 0;
    if (!::WriteFile(m_hFile, text.data(), (DWORD)text.size(), &cbWritten, nullptr) || cbWritten != text.size()
        || !::FlushFileBuffers(m_hFile)) {
        SetupLog(L"the journal cannot be written: %ls", SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    return TRUE;
}

void CInstallJournal::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

void CInstallJournal::Remove()
{
    Close();
    if (!m_folder.empty())
        RemoveJournalFolder(m_folder);
    m_folder.clear();
}

void UndoJournalStep(const JournalStep& step)
{
    LPCWSTR path = step.path.c_str();
    switch (step.kind) {
    case JournalStep::FolderCreated:
        if (!FolderExists(path) || ::RemoveDirectoryW(path))
            SetupLog(L"rollback: removed the folder %ls", path);
        else
            SetupLog(L"rollback: cannot remove the folder %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        break;
    case JournalStep::FileWritten:
        if (step.backup.empty()) {
            if (::DeleteFileW(path) || ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND)
                SetupLog(L"rollback: deleted %ls", path);
            else
                SetupLog(L"rollback: cannot delete %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        } else if (!FileExists(step.backup.c_str())) {
            // The old file was never moved away: it is still in its place.
            SetupLog(L"rollback: %ls was not changed", path);
        } else if (RetryWhileFileBusy([&] {
                       return ::MoveFileExW(step.backup.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED
                                                                           | MOVEFILE_WRITE_THROUGH);
                   })) {
            SetupLog(L"rollback: restored the old %ls", path);
        } else {
            SetupLog(L"rollback: cannot restore %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        }
        break;
    case JournalStep::KeyCreated: {
        LONG status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
        SetupLog(L"rollback: %ls the key HKLM\\%ls",
                 status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? L"deleted" : L"cannot delete", path);
        break;
    }
    case JournalStep::ValueWritten: {
        HKEY hKey = nullptr;
        LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &hKey);
        if (status == ERROR_SUCCESS) {
            status = step.existed
                ? ::RegSetValueExW(hKey, step.name.c_str(), 0, step.type, step.data.data(), (DWORD)step.data.size())
                : ::RegDeleteValueW(hKey, step.name.c_str());
            ::RegCloseKey(hKey);
        }
        if (!step.existed && status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
        SetupLog(L"rollback: %ls HKLM\\%ls \"%ls\"%ls", step.existed ? L"restored" : L"deleted", path,
                 step.name.c_str(), status == ERROR_SUCCESS ? L"" : L" (failed)");
        break;
    }
    case JournalStep::ServiceWasRemoved:
        SetupLog(L"rollback: registering the service again with the old service tool");
        RunServiceTool(path, L"-i");
        break;
    case JournalStep::ServiceWasRegistered:
        SetupLog(L"rollback: removing the service that the new service tool registered");
        StopServiceTool(path);
        break;
    }
}

SetupOutcome RecoverInterruptedInstall(const SetupConfig& config)
{
    RemoveStaleRollbackFolders();
    std::wstring folder, why;
    if (!IsValidName(config.AppFolderName) || !CInstallJournal::GetFolder(config.AppFolderName, folder))
        return SetupSucceeded;
    std::wstring dir = folder.substr(0, folder.size() - 1), path = folder + kJournalName;
    DWORD attr = ::GetFileAttributesW(dir.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return SetupSucceeded;   // the common case: no install was interrupted
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY) || (attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetupLog(L"recovery: %ls is ignored: it is not a plain folder", dir.c_str());
        return SetupSucceeded;
    }
    if (!CInstallJournal::IsAdminOnly(dir.c_str(), why)
        || (FileExists(path.c_str()) && !CInstallJournal::IsAdminOnly(path.c_str(), why))) {
        SetupLog(L"recovery: the journal in %ls is ignored, as others than the administrators may have written "
                 L"it: %ls", dir.c_str(), why.c_str());
        return SetupSucceeded;
    }
    if (!FileExists(path.c_str())) {
        SetupLog(L"recovery: removing the kept files that an earlier install left in %ls", dir.c_str());
        RemoveJournalFolder(folder);
        return SetupSucceeded;
    }
    JournalContents journal = ReadJournal(folder);
    if (journal.pid && ProcessStartTime(journal.pid) == journal.startTime && journal.startTime) {
        SetupLog(L"recovery: the install of process %lu is still running", journal.pid);
        return SetupBusy;
    }
    if (!journal.problem.empty()) {
        SetupLog(L"recovery: the journal %ls is ignored: %ls", path.c_str(), journal.problem.c_str());
        return SetupSucceeded;
    }
    if (!journal.planEnd) {
        // The plan is written whole before the first change.
        SetupLog(L"recovery: the install of process %lu ended before it changed anything", journal.pid);
        RemoveJournalFolder(folder);
        return SetupSucceeded;
    }
    CJournalScope scope(journal.installDir, journal.appName, folder);
    if (!scope.IsValid(config.AppFolderName)) {
        SetupLog(L"recovery: the journal %ls is ignored: its install folder \"%ls\" is not one of \"%ls\"",
                 path.c_str(), journal.installDir.c_str(), config.AppFolderName);
        return SetupSucceeded;
    }
    SetupLog(L"recovery: the install into \"%ls\" by process %lu was interrupted: rolling it back (%u changes)",
             journal.installDir.c_str(), journal.pid, (unsigned)journal.steps.size());
    for (auto it = journal.steps.rbegin(); it != journal.steps.rend(); ++it) {
        if (scope.Allows(*it, config.AppFolderName))
            UndoJournalStep(*it);
        else
            SetupLog(L"recovery: a step on \"%ls\" is ignored: it is outside the install", it->path.c_str());
    }
    RemoveJournalFolder(folder);
    SetupLog(L"recovery: the interrupted install was rolled back");
    return SetupSucceeded;
}
