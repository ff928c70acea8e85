// CInstallTransaction: every change an install makes, in order, so that a failed install can
// put the machine back as it was before it reports the failure. It keeps the old bytes of
// every file it replaces (in a folder of its own below the temporary folder) until Commit,
// and knows the files, folders and keys it created, the old data of every registry value it
// wrote, and the service that the old service tool removed or the new one registered.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CInstallTransaction {
public:
    CInstallTransaction() = default;
    // A transaction that was neither committed nor rolled back is rolled back.
    ~CInstallTransaction();
    CInstallTransaction(const CInstallTransaction&) = delete;
    CInstallTransaction& operator=(const CInstallTransaction&) = delete;

    // Makes the folder (one level) unless it exists; FALSE when it is not a folder afterwards.
    BOOL CreateFolder(LPCWSTR lpszPath);
    // Copies lpszFrom over lpszTo; a copy onto itself is skipped.
    BOOL CopyFile(LPCWSTR lpszFrom, LPCWSTR lpszTo);
    // Before the caller writes lpszPath: keeps its old bytes, or notes that it is new. FALSE,
    // with nothing changed, when the old file cannot be read.
    BOOL PrepareWrite(LPCWSTR lpszPath);
    // Opens the key HKLM\lpszKey for reading and writing values, creating it when bCreate
    // is set. FALSE (and a logged reason) when it cannot be opened.
    BOOL OpenKey(LPCWSTR lpszKey, BOOL bCreate, HKEY* phKey);
    // Writes one value of a key opened by OpenKey, keeping its old data; logs it.
    BOOL SetValue(HKEY hKey, LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwType, const void* pData, DWORD cbData);
    // The old tool in lpszInstallDir stopped and removed the service: a rollback registers
    // it again with that tool's "-i", once the old files are back.
    void ServiceRemoved(LPCWSTR lpszInstallDir);
    // The tool in lpszInstallDir registered the service: a rollback stops and removes it.
    void ServiceRegistered(LPCWSTR lpszInstallDir);

    // Records why the install failed (the first reason counts) and logs it.
    void Fail(LPCWSTR lpszFormat, ...);
    BOOL HasFailed() const { return !m_failure.empty(); }
    LPCWSTR GetFailure() const { return m_failure.c_str(); }

    // The install succeeded: the kept old files are deleted.
    void Commit();
    // Undoes every recorded change, newest first, logging each step.
    void Rollback();

private:
    enum StepKind { FolderCreated, FileWritten, KeyCreated, ValueWritten, ServiceWasRemoved, ServiceWasRegistered };
    struct Step {
        StepKind kind;
        std::wstring path;     // file, folder, key path or install folder
        std::wstring backup;   // FileWritten: the kept old bytes, empty when the file was new
        std::wstring name;     // ValueWritten: the value's name
        bool existed = false;  // ValueWritten: the value had data before
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    BOOL EnsureBackupFolder();
    void DeleteBackups();
    void UndoStep(const Step& step);

    std::vector<Step> m_steps;
    std::wstring m_backupFolder;   // with its trailing backslash
    std::wstring m_failure;
    bool m_bDone = false;
};
