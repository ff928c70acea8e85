#include "engine/InstallTransaction.h"
#include "engine/EngineCommon.h"
#include "engine/JournalRecovery.h"
#include "engine/ServiceOps.h"
#include "engine/TestSeams.h"
#include "framework/AfxWnd.h"
#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

namespace {

// A registry value's data as the log shows it.
std::wstring DescribeData(DWORD dwType, const void* pData, DWORD cbData)
{
    if ((dwType == REG_SZ || dwType == REG_EXPAND_SZ) && cbData >= sizeof(WCHAR))
        return L"\"" + std::wstring((const WCHAR*)pData, cbData / sizeof(WCHAR) - 1) + L"\"";
    if (dwType == REG_DWORD && cbData == sizeof(DWORD))
        return std::to_wstring(*(const DWORD*)pData) + L" (REG_DWORD)";
    return std::to_wstring(cbData) + L" bytes of type " + std::to_wstring(dwType);
}

// The old data of hKey's value lpszName into step.
void QueryOldValue(HKEY hKey, LPCWSTR lpszName, JournalStep& step)
{
    DWORD cbOld = 0;
    if (::RegQueryValueExW(hKey, lpszName, nullptr, &step.type, nullptr, &cbOld) == ERROR_SUCCESS) {
        step.data.resize(cbOld);
        if (::RegQueryValueExW(hKey, lpszName, nullptr, &step.type, step.data.data(), &cbOld) == ERROR_SUCCESS) {
            step.existed = true;
            step.data.resize(cbOld);
        }
    }
}

// The old data of HKLM\lpszKey's value lpszName into step.
void ReadOldValue(LPCWSTR lpszKey, LPCWSTR lpszName, JournalStep& step)
{
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS)
        QueryOldValue(key, lpszName, step);
}

// Moves the old file lpszPath to backup. Within a volume a rename keeps the old bytes without
// copying them and is whole at once; to another volume the copy is made whole on the disk
// before it takes its name, and the old file goes only then. So a kept file that exists is
// always whole, and while none exists the old file is still in its place.
BOOL KeepOldFile(LPCWSTR lpszPath, const std::wstring& backup)
{
    if (::MoveFileExW(lpszPath, backup.c_str(), MOVEFILE_WRITE_THROUGH))
        return TRUE;
    if (::GetLastError() != ERROR_NOT_SAME_DEVICE)
        return FALSE;
    const std::wstring part = backup + L".part";
    if (!::CopyFileW(lpszPath, part.c_str(), FALSE))
        return FALSE;
    CFileHandle partFile(
        ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BOOL bOk = partFile.IsValid() && ::FlushFileBuffers(partFile);
    partFile.Close();
    bOk = bOk && ::MoveFileExW(part.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH) && ::DeleteFileW(lpszPath);
    if (!bOk) {
        // The old file stays in its place: no kept copy of it may remain.
        DWORD dwError = ::GetLastError();
        ::DeleteFileW(part.c_str());
        ::DeleteFileW(backup.c_str());
        ::SetLastError(dwError);
    }
    return bOk;
}

} // namespace

CInstallTransaction::~CInstallTransaction()
{
    if (m_bDone)
        return;
    // Reached while an exception unwinds the install: what was changed is put back here, and
    // nothing may leave a destructor. A rollback that an exception stops keeps the journal,
    // whose next run puts back the rest.
    try {
        SetupLog(L"the install stops before its end: %ls", m_steps.empty() ? L"nothing to put back"
                                                                          : L"putting back what it changed");
        Rollback();
        SetupLog(IsRolledBack() ? L"result: the install failed and was rolled back"
                                : L"result: the install failed and could not be rolled back");
    } catch (...) {
        try {
            SetupLog(L"rollback: stopped by %hs: the journal and the old files stay for the next run",
                     AfxCurrentExceptionText());
        } catch (...) {
        }
    }
}

// --- the plan -----------------------------------------------------------------------------

void CInstallTransaction::PlanFolder(LPCWSTR lpszPath)
{
    if (!FolderExists(lpszPath))
        m_plan.push_back({ Step::FolderCreated, lpszPath });
}

void CInstallTransaction::PlanFile(LPCWSTR lpszPath)
{
    DWORD attr = ::GetFileAttributesW(lpszPath);
    Step step{ Step::FileWritten, lpszPath };
    if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY))
        return;   // nothing of a file to keep; writing over a folder fails on its own
    if (attr != INVALID_FILE_ATTRIBUTES)
        step.backup = L"?";   // named once the folder is known
    m_plan.push_back(step);
}

void CInstallTransaction::PlanKey(LPCWSTR lpszKey)
{
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        m_plan.push_back({ Step::KeyCreated, lpszKey });
}

void CInstallTransaction::PlanValue(LPCWSTR lpszKey, LPCWSTR lpszName)
{
    Step step{ Step::ValueWritten, lpszKey };
    step.name = lpszName;
    ReadOldValue(lpszKey, lpszName, step);
    m_plan.push_back(step);
}

void CInstallTransaction::PlanService(LPCWSTR lpszInstallDir, BOOL bRemoved)
{
    Step step{ bRemoved ? Step::ServiceWasRemoved : Step::ServiceWasRegistered, lpszInstallDir };
    std::vector<FolderService> services;
    if (bRemoved && FindFolderServices(lpszInstallDir, services)) {
        if (services.empty())
            return;   // nothing registered: nothing for a rollback to put back
        for (const FolderService& service : services)
            if (service.running)
                step.services += (step.services.empty() ? L"" : L"/") + service.name;
    }
    m_plan.push_back(step);
}

BOOL CInstallTransaction::Begin(const SetupConfig& config)
{
    BOOL bBusy = FALSE;
    if (!m_journal.Create(config, &bBusy)) {
        if (bBusy) {
            FailWith(SetupBusy, L"Another setup program is installing %ls. Please run the setup again once it has "
                                L"ended.", config.AppName);
            return FALSE;
        }
        if (!m_journal.CreateTemporary(config)) {
            DWORD dwError = ::GetLastError();
            FailWith(OutcomeOfFileError(dwError), L"Fail to create a folder for the old files: %ls",
                     SystemErrorText(dwError).c_str());
            return FALSE;
        }
    }
    for (Step& step : m_plan)
        if (!step.backup.empty())
            step.backup = m_journal.NewKeptPath();
    if (!m_journal.Write(m_plan, TRUE)) {
        DWORD dwError = ::GetLastError();
        m_journal.Remove({});
        FailWith(OutcomeOfFileError(dwError), L"Fail to write the install's journal: %ls",
                 SystemErrorText(dwError).c_str());
        return FALSE;
    }
    return TRUE;
}

// --- the changes --------------------------------------------------------------------------

void CInstallTransaction::Stepped()
{
    static const unsigned nPauseAfter = TestPauseAfterChange();
    static const unsigned nThrowAfter = TestThrowAfterChange();
    if (nPauseAfter && m_steps.size() == nPauseAfter)
        TestPause((L"after change " + std::to_wstring(nPauseAfter)).c_str());
    if (nThrowAfter && m_steps.size() == nThrowAfter)
        TestThrow(nThrowAfter);
}

BOOL CInstallTransaction::CreateFolder(LPCWSTR lpszPath)
{
    if (FolderExists(lpszPath))
        return TRUE;
    if (!::CreateDirectoryW(lpszPath, nullptr)) {
        DWORD dwError = ::GetLastError();
        FailWith(OutcomeOfFileError(dwError), L"Fail to create the folder \"%ls\": %ls", lpszPath,
                 SystemErrorText(dwError).c_str());
        return FALSE;
    }
    m_steps.push_back({ Step::FolderCreated, lpszPath });
    SetupLog(L"folder created: %ls", lpszPath);
    Stepped();
    return TRUE;
}

BOOL CInstallTransaction::BackupPathFor(LPCWSTR lpszPath, std::wstring& backup)
{
    for (const Step& step : m_plan)
        if (step.kind == Step::FileWritten && !step.backup.empty() && !_wcsicmp(step.path.c_str(), lpszPath)) {
            backup = step.backup;
            return TRUE;
        }
    // A file the plan did not know as there: journaled before it is moved.
    if (!m_journal.IsOpen()) {
        ::SetLastError(ERROR_CANNOT_MAKE);
        return FALSE;
    }
    Step step{ Step::FileWritten, lpszPath, m_journal.NewKeptPath() };
    if (!m_journal.Write({ step }, FALSE))
        return FALSE;
    m_plan.push_back(step);
    backup = step.backup;
    return TRUE;
}

BOOL CInstallTransaction::PrepareWrite(LPCWSTR lpszPath)
{
    DWORD attr = ::GetFileAttributesW(lpszPath);
    if (attr == INVALID_FILE_ATTRIBUTES) {
        m_steps.push_back({ Step::FileWritten, lpszPath });
        return TRUE;
    }
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        return TRUE;   // nothing of a file to keep; writing over a folder fails on its own
    std::wstring backup;
    if (!BackupPathFor(lpszPath, backup))
        return FALSE;
    if (!RetryWhileFileBusy([&] { return KeepOldFile(lpszPath, backup); }))
        return FALSE;
    m_steps.push_back({ Step::FileWritten, lpszPath, backup });
    SetupLog(L"kept the old %ls as %ls", lpszPath, backup.c_str());
    return TRUE;
}

BOOL CInstallTransaction::CopyFile(LPCWSTR lpszFrom, LPCWSTR lpszTo)
{
    if (!_wcsicmp(lpszFrom, lpszTo))
        return TRUE;
    if (!PrepareWrite(lpszTo)) {
        DWORD dwError = ::GetLastError();
        FailWith(OutcomeOfFileError(dwError, lpszTo),
                 L"Fail to copy \"%ls\" to \"%ls\": the file there cannot be kept (%ls).", lpszFrom, lpszTo,
                 FileErrorText(dwError, lpszTo).c_str());
        return FALSE;
    }
    if (!RetryWhileFileBusy([&] { return ::CopyFileW(lpszFrom, lpszTo, FALSE); })) {
        DWORD dwError = ::GetLastError();
        FailWith(OutcomeOfFileError(dwError, lpszTo), L"Fail to copy \"%ls\" to \"%ls\": %ls", lpszFrom, lpszTo,
                 FileErrorText(dwError, lpszTo).c_str());
        return FALSE;
    }
    SetupLog(L"copied %ls to %ls", lpszFrom, lpszTo);
    Stepped();
    return TRUE;
}

BOOL CInstallTransaction::OpenKey(LPCWSTR lpszKey, BOOL bCreate, CRegKey& key)
{
    DWORD dwDisposition = REG_OPENED_EXISTING_KEY;
    LONG status = bCreate ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                              nullptr, key.Receive(), &dwDisposition)
                          : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, KEY_READ | KEY_WRITE, key.Receive());
    if (status != ERROR_SUCCESS) {
        key.Detach();   // a failed open leaves no handle to close
        SetupLog(L"cannot open the key HKLM\\%ls: %ls", lpszKey, SystemErrorText((DWORD)status).c_str());
        return FALSE;
    }
    if (dwDisposition == REG_CREATED_NEW_KEY) {
        m_steps.push_back({ Step::KeyCreated, lpszKey });
        SetupLog(L"key created: HKLM\\%ls", lpszKey);
        Stepped();
    }
    return TRUE;
}

BOOL CInstallTransaction::SetValue(HKEY hKey, LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwType, const void* pData,
                                   DWORD cbData)
{
    Step step{ Step::ValueWritten, lpszKey };
    step.name = lpszName;
    QueryOldValue(hKey, lpszName, step);
    LONG status = ::RegSetValueExW(hKey, lpszName, 0, dwType, (const BYTE*)pData, cbData);
    if (status != ERROR_SUCCESS) {
        SetupLog(L"cannot write HKLM\\%ls \"%ls\": %ls", lpszKey, lpszName, SystemErrorText((DWORD)status).c_str());
        return FALSE;
    }
    m_steps.push_back(step);
    SetupLog(L"registry HKLM\\%ls \"%ls\" = %ls", lpszKey, lpszName, DescribeData(dwType, pData, cbData).c_str());
    Stepped();
    return TRUE;
}

void CInstallTransaction::ServiceRemoved(LPCWSTR lpszInstallDir)
{
    for (const Step& step : m_plan)
        if (step.kind == Step::ServiceWasRemoved && !_wcsicmp(step.path.c_str(), lpszInstallDir)) {
            m_steps.push_back(step);
            Stepped();
            return;
        }
}

void CInstallTransaction::ServiceRegistered(LPCWSTR lpszInstallDir)
{
    m_steps.push_back({ Step::ServiceWasRegistered, lpszInstallDir });
    Stepped();
}

void CInstallTransaction::FailV(SetupOutcome outcome, LPCWSTR lpszFormat, va_list args)
{
    WCHAR szText[2048];
    int n = _vsnwprintf(szText, 2048, lpszFormat, args);
    if (n < 0 || n >= 2048)
        szText[2047] = 0;
    SetupLog(L"failed: %ls", szText);
    if (m_failure.empty()) {
        m_failure = szText;
        m_outcome = outcome;
    }
}

void CInstallTransaction::Fail(LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    FailV(SetupFailed, lpszFormat, args);
    va_end(args);
}

void CInstallTransaction::FailWith(SetupOutcome outcome, LPCWSTR lpszFormat, ...)
{
    va_list args;
    va_start(args, lpszFormat);
    FailV(outcome, lpszFormat, args);
    va_end(args);
}

void CInstallTransaction::Commit()
{
    m_journal.Remove(m_plan);
    m_steps.clear();
    m_bDone = true;
}

void CInstallTransaction::Rollback()
{
    if (m_bDone)
        return;
    m_bDone = true;
    if (!m_steps.empty())
        SetupLog(L"rollback: putting back %u changes", (unsigned)m_steps.size());
    std::wstring problem;
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it)
        if (!UndoJournalStep(*it, problem) && m_rollbackProblem.empty())
            m_rollbackProblem = problem;
    if (m_rollbackProblem.empty()) {
        m_journal.Remove(m_plan);
    } else {
        // The product's journal folder is where the next run looks; a temporary one it names.
        if (m_journal.IsTemporary())
            m_rollbackProblem += L" (its old file stays in " + m_journal.Folder() + L")";
        SetupLog(L"rollback: not everything could be put back: the journal and the old files stay in %ls%ls",
                 m_journal.Folder().c_str(), m_journal.IsTemporary() ? L"" : L" for the next run");
        m_journal.Close();
    }
    m_steps.clear();
}
