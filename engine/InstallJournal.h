// The install's journal on disk: what an install will change, written and flushed before the
// first change, so that the next run can put the machine back when the install's process died
// (a power cut, a kill) before it could roll back or commit.
//
// It lives in one folder per product, "<common application data>\<APPFolderName> setup", that
// only SYSTEM and the Administrators may write (a trusted folder, TrustedFolder.h): the next
// run acts on it with administrator rights. The folder also holds the old files that the
// install replaced, moved there under names of this run's own ("<process id>-<start>-<n>.old"),
// until the install commits or rolls back. The running install holds the folder and the
// journal open, the journal without write or delete sharing: a journal that cannot be opened
// that way belongs to a run that is still going.
//
//   JournalStep                one change of an install and how it is undone
//   CInstallJournal            this run's journal: its folder, the file, the records, the end
//   ReadJournal                a journal read back from an open handle
//   RemoveJournal              the end of a journal: the file, the kept files, the folder
//   RecoverInterruptedInstall  the check every run makes first (JournalRecovery.h)
#pragma once
#include "engine/TrustedFolder.h"
#include <string>
#include <vector>

// The journal's file name in its folder.
extern const WCHAR kJournalName[];

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
    std::wstring services;   // ServiceWasRemoved: the folder's services that ran, '/' between
};

class CInstallJournal {
public:
    CInstallJournal() = default;
    CInstallJournal(const CInstallJournal&) = delete;
    CInstallJournal& operator=(const CInstallJournal&) = delete;

    // The journal folder of the product lpszAppFolderName, with its trailing backslash; FALSE
    // when the system names no common application data folder or the path does not fit.
    static BOOL GetFolder(LPCWSTR lpszAppFolderName, std::wstring& folder);

    // Makes the product's journal folder, or opens and checks the one an earlier run left, and
    // a new journal in it naming config's install; FALSE (logged) when that is not possible,
    // with *pbBusy set when another setup program holds the folder.
    BOOL Create(const SetupConfig& config, BOOL* pbBusy);
    // The same in a new temporary folder of this run, for an install that cannot use the
    // product's folder: a rollback finds its old files there, a later run does not.
    BOOL CreateTemporary(const SetupConfig& config);
    BOOL IsOpen() const { return m_file.IsValid(); }
    // In a temporary folder (CreateTemporary), which no later run looks into.
    BOOL IsTemporary() const { return m_bTemporary; }
    // With its trailing backslash.
    const std::wstring& Folder() const { return m_folder.Path(); }
    // A new path in the folder for a kept old file.
    std::wstring NewKeptPath();
    // Appends records and flushes them to the disk; bPlanEnd marks the whole plan as written.
    BOOL Write(const std::vector<JournalStep>& steps, BOOL bPlanEnd);
    // The install has ended and nothing is left to put back (RemoveJournal).
    void Remove(const std::vector<JournalStep>& steps);
    // Lets go of the journal and the folder, which stay with the kept files for the next run.
    void Close();

private:
    // The journal in folder, made (bMade) or opened for this run; *pbBusy when another setup
    // program holds the journal there.
    BOOL CreateIn(CTrustedFolder& folder, BOOL bMade, const SetupConfig& config, BOOL* pbBusy);

    CTrustedFolder m_folder;
    CFileHandle m_file;
    std::wstring m_tag;   // this run's part of the kept files' names
    unsigned m_nKept = 0;
    BOOL m_bTemporary = FALSE;
};

// A journal read back: its header and its complete records.
struct JournalContents {
    DWORD pid = 0;
    std::wstring installDir, appName;
    bool planEnd = false;   // the whole plan was written: only then may something have changed
    std::vector<JournalStep> steps;
    std::wstring problem;   // why the journal cannot be used, when it cannot
};
// Reads the journal of the open hFile; its kept files lie in folder (with its trailing
// backslash). Only whole lines count: a record cut short by the process's death is none.
JournalContents ReadJournal(HANDLE hFile, const std::wstring& folder);

// The end of a journal whose install has nothing left to put back: the journal goes first (from
// then on there is nothing to recover), then the kept files that steps name, by handle (one in
// use goes at the next restart), then the folder when nothing else is in it; hJournal, opened
// with DELETE access, is closed. When the journal itself cannot be deleted, all of it stays.
void RemoveJournal(CTrustedFolder& folder, CFileHandle& journal, const std::vector<JournalStep>& steps);
