#include "engine/JournalRecovery.h"
#include "engine/EngineCommon.h"
#include "engine/ServiceOps.h"
#include "engine/TestSeams.h"
#include <shlobj.h>
#include <wchar.h>
#include <algorithm>

namespace {

const WCHAR kRollbackFolderName[] = L"setup-rollback";

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

// "<n>.old": a name of the old files that earlier versions kept.
BOOL IsNumberedOldFile(const std::wstring& name)
{
    size_t digits = name.find_first_not_of(L"0123456789");
    return digits > 0 && digits != std::wstring::npos && !_wcsicmp(name.c_str() + digits, L".old");
}

// FALSE only when no process of that id runs: one that this process may not open (another
// user's, another session's) may still run.
BOOL ProcessMayRun(DWORD dwPid)
{
    CKernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, dwPid));
    if (!process.IsValid())
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    return ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

// The temporary folders "setup-rollback-<pid>-<n>" in which earlier versions kept the old files
// of an install without a journal, left behind when their process died. Only what such a
// version made is swept: a folder of a process that has ended, checked on its handle (not a
// link, at its path, owned by SYSTEM or the Administrators), that holds nothing but "<n>.old"
// files; they are deleted by handle, then the folder. This version's temporary folders hold
// their journal as well, and stay.
void SweepOldRollbackFolders()
{
    WCHAR szTemp[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, szTemp);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::wstring temp = szTemp;
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    CFindHandle find(::FindFirstFileW((temp + kRollbackFolderName + L"-*").c_str(), &fd));
    for (BOOL bMore = find.IsValid(); bMore; bMore = ::FindNextFileW(find, &fd))
        if (IsTemporaryFolder(kRollbackFolderName, (temp + fd.cFileName + L"\\").c_str()))
            names.push_back(fd.cFileName);
    find.Close();
    if (names.empty())
        return;
    if (TestPauseInSweep())
        TestPause(L"after listing the old rollback folders");
    for (const std::wstring& name : names) {
        const std::wstring path = temp + name;
        if (ProcessMayRun(wcstoul(name.c_str() + wcslen(kRollbackFolderName) + 1, nullptr, 10)))
            continue;
        CTrustedFolder folder;
        std::wstring why;
        if (folder.Open(path, nullptr, TrustOwner, why) != FolderTrusted) {
            SetupLog(L"the old rollback folder %ls stays: %ls", path.c_str(), why.c_str());
            continue;
        }
        std::vector<std::wstring> entries = folder.List();
        auto foreign = std::find_if(entries.begin(), entries.end(), [](const std::wstring& e) { return !IsNumberedOldFile(e); });
        if (foreign != entries.end()) {
            SetupLog(L"the old rollback folder %ls stays: it holds %ls, which no earlier run made", path.c_str(),
                     foreign->c_str());
            continue;
        }
        SetupLog(L"removing the old files that an earlier run left in %ls", path.c_str());
        BOOL bQueued = FALSE;
        for (const std::wstring& entry : entries) {
            BOOL bThisQueued = FALSE;
            folder.DeleteFile(entry, &bThisQueued);
            bQueued = bQueued || bThisQueued;
        }
        folder.Remove(bQueued);
    }
}

// The kept files that no journal names any more (an install that died while it committed):
// this program's "*.old" files (and unfinished "*.old.part" copies), deleted by handle, then
// the folder.
void RemoveOrphanedKeptFiles(CTrustedFolder& folder)
{
    SetupLog(L"recovery: removing the kept files that an earlier install left in %ls", folder.Path().c_str());
    BOOL bQueued = FALSE;
    for (const std::wstring& name : folder.List()) {
        size_t dot = name.rfind(L".old");
        const bool bKept = dot != std::wstring::npos && dot > 0
            && (name.size() == dot + 4 || (name.size() == dot + 9 && !name.compare(dot + 4, 5, L".part")));
        if (!bKept)
            continue;
        BOOL bThisQueued = FALSE;
        folder.DeleteFile(name, &bThisQueued);
        bQueued = bQueued || bThisQueued;
    }
    folder.Remove(bQueued);
}

// The undo of ServiceWasRemoved: the old service registered (by the old tool's "-i", when it
// is gone) and the ones that ran started again.
BOOL RestoreServices(const JournalStep& step, std::wstring& problem)
{
    LPCWSTR dir = step.path.c_str();
    std::vector<FolderService> services;
    const BOOL bKnown = FindFolderServices(dir, services);
    if (!bKnown || services.empty()) {
        SetupLog(L"rollback: registering the service again with the old service tool");
        if (!RunServiceTool(dir, L"-i")) {
            problem = L"the service tool of " + step.path + L" cannot be started";
            return FALSE;
        }
        if (FindFolderServices(dir, services) && services.empty()) {
            problem = L"the old service tool of " + step.path + L" registered no service";
            SetupLog(L"rollback: %ls", problem.c_str());
            return FALSE;
        }
    }
    BOOL bStarted = TRUE;
    for (size_t start = 0; start < step.services.size();) {
        size_t slash = step.services.find(L'/', start);
        const std::wstring name = step.services.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        start = slash == std::wstring::npos ? step.services.size() : slash + 1;
        if (name.empty())
            continue;
        if (StartFolderService(name.c_str())) {
            SetupLog(L"rollback: started the service \"%ls\" again", name.c_str());
        } else {
            problem = L"the service \"" + name + L"\" does not start: " + SystemErrorText(::GetLastError());
            SetupLog(L"rollback: %ls", problem.c_str());
            bStarted = FALSE;
        }
    }
    return bStarted;
}

} // namespace

BOOL UndoJournalStep(const JournalStep& step, std::wstring& problem)
{
    LPCWSTR path = step.path.c_str();
    switch (step.kind) {
    case JournalStep::FolderCreated:
        if (!FolderExists(path) || ::RemoveDirectoryW(path)) {
            SetupLog(L"rollback: removed the folder %ls", path);
            return TRUE;
        }
        if (::GetLastError() == ERROR_DIR_NOT_EMPTY) {
            // What else is in it is not the install's (what was could not go, and says so).
            SetupLog(L"rollback: the folder %ls stays: it is not empty", path);
            return TRUE;
        }
        problem = L"the folder \"" + step.path + L"\" cannot be removed: " + SystemErrorText(::GetLastError());
        break;
    case JournalStep::FileWritten:
        if (step.backup.empty()) {
            if (::DeleteFileW(path) || ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND) {
                SetupLog(L"rollback: deleted %ls", path);
                return TRUE;
            }
            problem = L"\"" + step.path + L"\" cannot be deleted: " + SystemErrorText(::GetLastError());
        } else if (!FileExists(step.backup.c_str())) {
            // The old file was never moved away, or is back already: it is in its place.
            SetupLog(L"rollback: %ls was not changed", path);
            return TRUE;
        } else if (RetryWhileFileBusy([&] {
                       return ::MoveFileExW(step.backup.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED
                                                                           | MOVEFILE_WRITE_THROUGH);
                   })) {
            SetupLog(L"rollback: restored the old %ls", path);
            return TRUE;
        } else {
            problem = L"the old \"" + step.path + L"\" cannot be put back: " + SystemErrorText(::GetLastError());
        }
        break;
    case JournalStep::KeyCreated: {
        LONG status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
        if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
            SetupLog(L"rollback: deleted the key HKLM\\%ls", path);
            return TRUE;
        }
        problem = L"the key HKLM\\" + step.path + L" cannot be deleted: " + SystemErrorText((DWORD)status);
        break;
    }
    case JournalStep::ValueWritten: {
        CRegKey key;
        LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, key.Receive());
        if (status == ERROR_SUCCESS)
            status = step.existed
                ? ::RegSetValueExW(key, step.name.c_str(), 0, step.type, step.data.data(), (DWORD)step.data.size())
                : ::RegDeleteValueW(key, step.name.c_str());
        if (!step.existed && status == ERROR_FILE_NOT_FOUND)
            status = ERROR_SUCCESS;
        SetupLog(L"rollback: %ls HKLM\\%ls \"%ls\"%ls", step.existed ? L"restored" : L"deleted", path,
                 step.name.c_str(), status == ERROR_SUCCESS ? L"" : L" (failed)");
        if (status == ERROR_SUCCESS)
            return TRUE;
        problem = L"HKLM\\" + step.path + L" \"" + step.name + L"\" cannot be put back: " + SystemErrorText((DWORD)status);
        return FALSE;
    }
    case JournalStep::ServiceWasRemoved:
        return RestoreServices(step, problem);
    case JournalStep::ServiceWasRegistered:
        SetupLog(L"rollback: removing the service that the new service tool registered");
        if (StopServiceTool(path))
            return TRUE;
        problem = L"the service of " + step.path + L" does not stop";
        break;
    }
    SetupLog(L"rollback: %ls", problem.c_str());
    return FALSE;
}

SetupOutcome RecoverInterruptedInstall(const SetupConfig& config)
{
    SweepOldRollbackFolders();
    std::wstring folderPath, why;
    if (!IsValidName(config.AppFolderName) || !CInstallJournal::GetFolder(config.AppFolderName, folderPath))
        return SetupSucceeded;
    const std::wstring dir = folderPath.substr(0, folderPath.size() - 1), path = folderPath + kJournalName;
    CTrustedFolder folder;
    switch (folder.Open(dir, nullptr, TrustOwnerAndAccess, why)) {
    case FolderMissing:
        return SetupSucceeded;   // the common case: no install was interrupted
    case FolderHeld:
        SetupLog(L"recovery: the journal folder %ls is held by a setup program that is still running", dir.c_str());
        return SetupBusy;
    case FolderUntrusted:
        SetupLog(L"recovery: the journal in %ls is ignored, as others than the administrators may have written "
                 L"it: %ls", dir.c_str(), why.c_str());
        return SetupSucceeded;
    case FolderTrusted:
        break;
    }
    // The running install holds its journal without write or delete sharing.
    CFileHandle file(OpenNoFollow(path, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING));
    if (!file.IsValid()) {
        DWORD dwError = ::GetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND) {
            RemoveOrphanedKeptFiles(folder);
            return SetupSucceeded;
        }
        if (dwError == ERROR_SHARING_VIOLATION) {
            SetupLog(L"recovery: the journal %ls is held by a setup program that is still running", path.c_str());
            return SetupBusy;
        }
        SetupLog(L"recovery: the journal %ls is ignored: it cannot be read: %ls", path.c_str(),
                 SystemErrorText(dwError).c_str());
        return SetupSucceeded;
    }
    if (!IsPlainAt(file, path, FALSE, why) || !CheckSecurity(file, nullptr, TRUE, why)) {
        SetupLog(L"recovery: the journal in %ls is ignored, as others than the administrators may have written "
                 L"it: %ls", dir.c_str(), why.c_str());
        return SetupSucceeded;
    }
    JournalContents journal = ReadJournal(file, folder.Path());
    if (!journal.problem.empty()) {
        SetupLog(L"recovery: the journal %ls is ignored: %ls", path.c_str(), journal.problem.c_str());
        return SetupSucceeded;
    }
    if (!journal.planEnd) {
        // The plan is flushed whole before the first change: without it, nothing was changed.
        SetupLog(L"recovery: the journal %ls holds no complete plan: the install of process %lu ended before it "
                 L"changed anything; the journal is removed", path.c_str(), journal.pid);
        RemoveJournal(folder, file, journal.steps);
        return SetupSucceeded;
    }
    CJournalScope scope(journal.installDir, journal.appName, folder.Path());
    if (_wcsicmp(journal.installDir.c_str(), config.InstallDir) != 0 || !scope.IsValid(config.AppFolderName)) {
        SetupLog(L"recovery: the journal %ls is ignored: its install folder \"%ls\" is not this setup's \"%ls\"",
                 path.c_str(), journal.installDir.c_str(), config.InstallDir);
        return SetupSucceeded;
    }
    SetupLog(L"recovery: the install into \"%ls\" by process %lu was interrupted: rolling it back (%u changes)",
             journal.installDir.c_str(), journal.pid, (unsigned)journal.steps.size());
    std::wstring problem, stepProblem;
    for (auto it = journal.steps.rbegin(); it != journal.steps.rend(); ++it) {
        if (!scope.Allows(*it, config.AppFolderName))
            SetupLog(L"recovery: a step on \"%ls\" is ignored: it is outside the install", it->path.c_str());
        else if (!UndoJournalStep(*it, stepProblem) && problem.empty())
            problem = stepProblem;
    }
    if (!problem.empty()) {
        SetupLog(L"recovery: the interrupted install could not be rolled back: its journal and the old files stay "
                 L"in %ls for the next run", dir.c_str());
        ReportFailure(L"An interrupted install of %ls could not be rolled back: %ls. Close the program that uses it, "
                      L"then run the setup again.", journal.appName.c_str(), problem.c_str());
        SetupLog(L"result: the interrupted install could not be rolled back");
        return SetupFailed;
    }
    RemoveJournal(folder, file, journal.steps);
    SetupLog(L"recovery: the interrupted install was rolled back");
    return SetupSucceeded;
}
