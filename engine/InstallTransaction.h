// CInstallTransaction: every change an install makes, in order, so that a failed install can
// put the machine back as it was before it reports the failure. The install first names what
// it will change (the plan), which goes to the journal on disk (InstallJournal.h) before
// anything is touched, so that the next run can roll back an install whose process died. The
// old file of every file it replaces is moved into the journal folder and kept until Commit;
// the transaction knows the files, folders and keys it created, the old data of every
// registry value it wrote, and the service that the old service tool removed (with the ones
// that ran) or the new one registered. A rollback that cannot put something back keeps the
// journal and the old files for the next run.
#pragma once
#include "engine/InstallJournal.h"
#include "framework/AfxHandle.h"

class CInstallTransaction {
public:
    CInstallTransaction() = default;
    // A transaction that was neither committed nor rolled back (an exception unwinds the
    // install) is rolled back, logged; nothing leaves the destructor.
    ~CInstallTransaction();
    CInstallTransaction(const CInstallTransaction&) = delete;
    CInstallTransaction& operator=(const CInstallTransaction&) = delete;

    // --- the plan, named before anything is touched ---
    // A folder the install makes (noted only when it is missing now).
    void PlanFolder(LPCWSTR lpszPath);
    // A file the install writes: kept when it is there now, deleted by a rollback when not.
    void PlanFile(LPCWSTR lpszPath);
    // A key HKLM\lpszKey that the install may create (noted only when it is missing now).
    void PlanKey(LPCWSTR lpszKey);
    // A value the install writes, with its data now.
    void PlanValue(LPCWSTR lpszKey, LPCWSTR lpszName);
    // The old service tool in lpszInstallDir will remove the services of that folder (bRemoved:
    // noted with the ones that run, and only when one is registered), or the new one register
    // one.
    void PlanService(LPCWSTR lpszInstallDir, BOOL bRemoved);
    // Writes the plan to the journal of the product and flushes it. Without an admin-only
    // journal folder the install still runs, logged, with its old files kept in a temporary
    // folder of its own; FALSE (and a failure) when not even that folder can be made, or
    // (SetupBusy) when another setup program holds the journal folder.
    BOOL Begin(const SetupConfig& config);

    // --- the changes ---
    // Makes the folder (one level) unless it exists; FALSE when it is not a folder afterwards.
    BOOL CreateFolder(LPCWSTR lpszPath);
    // Copies lpszFrom over lpszTo; a copy onto itself is skipped.
    BOOL CopyFile(LPCWSTR lpszFrom, LPCWSTR lpszTo);
    // Before the caller writes lpszPath: moves its old file into the journal folder, or notes
    // that it is new. FALSE, with nothing changed, when the old file cannot be moved.
    BOOL PrepareWrite(LPCWSTR lpszPath);
    // Opens the key HKLM\lpszKey into key for reading and writing values, creating it when
    // bCreate is set. FALSE (and a logged reason) when it cannot be opened.
    BOOL OpenKey(LPCWSTR lpszKey, BOOL bCreate, CRegKey& key);
    // Writes one value of a key opened by OpenKey, keeping its old data; logs it.
    BOOL SetValue(HKEY hKey, LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwType, const void* pData, DWORD cbData);
    // The old tool in lpszInstallDir stopped the planned services and removed them: a rollback
    // registers what is gone with that tool's "-i", once the old files are back, and starts
    // those that ran.
    void ServiceRemoved(LPCWSTR lpszInstallDir);
    // The tool in lpszInstallDir registered the service: a rollback stops and removes it.
    void ServiceRegistered(LPCWSTR lpszInstallDir);

    // Records why the install failed (the first reason counts) and logs it; the outcome is
    // SetupFailed, or what FailWith names.
    void Fail(LPCWSTR lpszFormat, ...);
    void FailWith(SetupOutcome outcome, LPCWSTR lpszFormat, ...);
    BOOL HasFailed() const { return !m_failure.empty(); }
    LPCWSTR GetFailure() const { return m_failure.c_str(); }
    SetupOutcome GetOutcome() const { return m_outcome; }

    // The install succeeded: the journal and the kept old files are deleted.
    void Commit();
    // Undoes every recorded change, newest first, logging each step; then deletes the journal.
    // When a step cannot be undone, the journal and every kept file stay for the next run,
    // and GetRollbackProblem says what is not back.
    void Rollback();
    BOOL IsRolledBack() const { return m_rollbackProblem.empty(); }
    LPCWSTR GetRollbackProblem() const { return m_rollbackProblem.c_str(); }

private:
    typedef JournalStep Step;

    void FailV(SetupOutcome outcome, LPCWSTR lpszFormat, va_list args);
    // The kept old file's path for a replaced file, from the plan or newly journaled.
    BOOL BackupPathFor(LPCWSTR lpszPath, std::wstring& backup);
    // After each change: the tests' pause after the k-th (TestSeams.h), where a test kills the
    // process or changes the machine under it, or their exception after the k-th.
    void Stepped();

    std::vector<Step> m_plan;
    std::vector<Step> m_steps;
    CInstallJournal m_journal;
    std::wstring m_failure;
    std::wstring m_rollbackProblem;
    SetupOutcome m_outcome = SetupSucceeded;
    bool m_bDone = false;
};
