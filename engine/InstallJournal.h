// The install's journal on disk: what an install will change, written and flushed before the
// first change, so that the next run can put the machine back when the install's process died
// (a power cut, a kill) before it could roll back or commit.
//
// It lives in one folder per product, "<common application data>\<APPFolderName> setup", that
// only SYSTEM and the Administrators may write: the next run acts on it with administrator
// rights. The folder also holds the old files that the install replaced ("<n>.old", moved
// there, not copied), until the install commits or rolls back.
//
//   CInstallJournal           the folder, the journal file and its records
//   RecoverInterruptedInstall the check every run makes first: rolls an interrupted install back
#pragma once
#include "engine/SetupEngine.h"
#include <string>
#include <vector>

// One change of an install and how it is undone, newest last. The same records serve the
// running install's own rollback and the next run's recovery.
struct JournalStep {
    enum Kind { FolderCreated, FileWritten, KeyCreated, ValueWritten, ServiceWasRemoved, ServiceWasRegistered };
    Kind kind;
    std::wstring path;     // file, folder, key path or install folder
    std::wstring backup;   // FileWritten: the kept old file, empty when the file was new
    std::wstring name;     // ValueWritten: the value's name
    bool existed = false;  // ValueWritten: the value had data before
    DWORD type = 0;
    std::vector<BYTE> data;
};

class CInstallJournal {
public:
    CInstallJournal() = default;
    ~CInstallJournal() { Close(); }
    CInstallJournal(const CInstallJournal&) = delete;
    CInstallJournal& operator=(const CInstallJournal&) = delete;

    // The journal folder of the product lpszAppFolderName, with its trailing backslash; FALSE
    // when the system names no common application data folder or the path does not fit.
    static BOOL GetFolder(LPCWSTR lpszAppFolderName, std::wstring& folder);
    // TRUE when only SYSTEM, the Administrators and this process's own user may change
    // lpszPath (its owner is one of them, and no other may write it); else why not.
    static BOOL IsAdminOnly(LPCWSTR lpszPath, std::wstring& why);

    // Makes the folder (admin-only) and a new journal naming the install folder and the
    // application; FALSE, with nothing left behind, when that is not possible (why is logged).
    BOOL Create(LPCWSTR lpszAppFolderName, LPCWSTR lpszInstallDir, LPCWSTR lpszAppName);
    BOOL IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    const std::wstring& Folder() const { return m_folder; }
    // Appends records and flushes them to the disk; bPlanEnd marks the whole plan as written.
    BOOL Write(const std::vector<JournalStep>& steps, BOOL bPlanEnd);
    // Deletes the journal first (from then on there is nothing to recover), then the kept old
    // files and the folder.
    void Remove();
    void Close();

private:
    std::wstring m_folder;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

// Every run checks first for the journal of an install of the product that config describes
// whose process died. When one is there and may be trusted, the install is rolled back (old
// files back, what it added gone, the old service registered again), logged, and the journal
// and its kept files removed. A journal that others than the administrators could have written
// is ignored and logged. SetupBusy when the journal's process still runs; else SetupSucceeded.
SetupOutcome RecoverInterruptedInstall(const SetupConfig& config);

// Undoes one step, logging it. Steps of a journal are undone whether or not they were done:
// each undo is harmless for a change that has not happened.
void UndoJournalStep(const JournalStep& step);
