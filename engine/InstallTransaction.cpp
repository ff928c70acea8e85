#include "engine/InstallTransaction.h"
#include "engine/EngineCommon.h"
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

std::wstring SystemErrorText(DWORD dwError)
{
    WCHAR szError[256];
    FormatSystemError(dwError, szError, 256);
    return szError;
}

} // namespace

CInstallTransaction::~CInstallTransaction()
{
    if (!m_bDone)
        Rollback();
}

BOOL CInstallTransaction::CreateFolder(LPCWSTR lpszPath)
{
    if (FolderExists(lpszPath))
        return TRUE;
    if (!::CreateDirectoryW(lpszPath, nullptr)) {
        Fail(L"Fail to create the folder \"%ls\": %ls", lpszPath, SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    m_steps.push_back({ FolderCreated, lpszPath });
    SetupLog(L"folder created: %ls", lpszPath);
    return TRUE;
}

BOOL CInstallTransaction::EnsureBackupFolder()
{
    if (!m_backupFolder.empty())
        return TRUE;
    WCHAR szFolder[MAX_PATH];
    if (!CreateTemporaryFolder(L"setup-rollback", szFolder))
        return FALSE;
    m_backupFolder = szFolder;
    return TRUE;
}

BOOL CInstallTransaction::PrepareWrite(LPCWSTR lpszPath)
{
    DWORD attr = ::GetFileAttributesW(lpszPath);
    if (attr == INVALID_FILE_ATTRIBUTES) {
        m_steps.push_back({ FileWritten, lpszPath });
        return TRUE;
    }
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        return TRUE;   // nothing of a file to keep; writing over a folder fails on its own
    if (!EnsureBackupFolder()) {
        ::SetLastError(ERROR_CANNOT_MAKE);
        return FALSE;
    }
    std::wstring backup = m_backupFolder + std::to_wstring(m_steps.size()) + L".old";
    if (!RetryWhileFileBusy([&] { return ::CopyFileW(lpszPath, backup.c_str(), FALSE); }))
        return FALSE;
    m_steps.push_back({ FileWritten, lpszPath, backup });
    SetupLog(L"kept the old %ls as %ls", lpszPath, backup.c_str());
    return TRUE;
}

BOOL CInstallTransaction::CopyFile(LPCWSTR lpszFrom, LPCWSTR lpszTo)
{
    if (!_wcsicmp(lpszFrom, lpszTo))
        return TRUE;
    if (!PrepareWrite(lpszTo)) {
        Fail(L"Fail to copy \"%ls\" to \"%ls\": the file there cannot be read (%ls).", lpszFrom, lpszTo,
             SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    if (!RetryWhileFileBusy([&] { return ::CopyFileW(lpszFrom, lpszTo, FALSE); })) {
        Fail(L"Fail to copy \"%ls\" to \"%ls\": %ls", lpszFrom, lpszTo, SystemErrorText(::GetLastError()).c_str());
        return FALSE;
    }
    SetupLog(L"copied %ls to %ls", lpszFrom, lpszTo);
    return TRUE;
}

BOOL CInstallTransaction::OpenKey(LPCWSTR lpszKey, BOOL bCreate, HKEY* phKey)
{
    DWORD dwDisposition = REG_OPENED_EXISTING_KEY;
    LONG status = bCreate ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                              nullptr, phKey, &dwDisposition)
                          : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, lpszKey, 0, KEY_READ | KEY_WRITE, phKey);
    if (status != ERROR_SUCCESS) {
        SetupLog(L"cannot open the key HKLM\\%ls: %ls", lpszKey, SystemErrorText((DWORD)status).c_str());
        *phKey = nullptr;
        return FALSE;
    }
    if (dwDisposition == REG_CREATED_NEW_KEY) {
        m_steps.push_back({ KeyCreated, lpszKey });
        SetupLog(L"key created: HKLM\\%ls", lpszKey);
    }
    return TRUE;
}

BOOL CInstallTransaction::SetValue(HKEY hKey, LPCWSTR lpszKey, LPCWSTR lpszName, DWORD dwType, const void* pData,
                                   DWORD cbData)
{
    Step step{ ValueWritten, lpszKey };
    step.name = lpszName;
    DWORD cbOld = 0;
    if (::RegQueryValueExW(hKey, lpszName, nullptr, &step.type, nullptr, &cbOld) == ERROR_SUCCESS) {
        step.data.resize(cbOld);
        if (::RegQueryValueExW(hKey, lpszName, nullptr, &step.type, step.data.data(), &cbOld) == ERROR_SUCCESS) {
            step.existed = true;
            step.data.resize(cbOld);
        }
    }
    LONG status = ::RegSetValueExW(hKey, lpszName, 0, dwType, (const BYTE*)pData, cbData);
    if (status != ERROR_SUCCESS) {
        SetupLog(L"cannot write HKLM\\%ls \"%ls\": %ls", lpszKey, lpszName, SystemErrorText((DWORD)status).c_str());
        return FALSE;
    }
    m_steps.push_back(step);
    SetupLog(L"registry HKLM\\%ls \"%ls\" = %ls", lpszKey, lpszName, DescribeData(dwType, pData, cbData).c_str());
    return TRUE;
}

void CInstallTransaction::ServiceRemoved(LPCWSTR lpszInstallDir)
{
    m_steps.push_back({ ServiceWasRemoved, lpszInstallDir });
}

void CInstallTransaction::ServiceRegistered(LPCWSTR lpszInstallDir)
{
    m_steps.push_back({ ServiceWasRegistered, lpszInstallDir });
}

void CInstallTransaction::Fail(LPCWSTR lpszFormat, ...)
{
    WCHAR szText[2048];
    va_list args;
    va_start(args, lpszFormat);
    int n = _vsnwprintf(szText, 2048, lpszFormat, args);
    va_end(args);
    if (n < 0 || n >= 2048)
        szText[2047] = 0;
    SetupLog(L"failed: %ls", szText);
    if (m_failure.empty())
        m_failure = szText;
}

void CInstallTransaction::DeleteBackups()
{
    for (const Step& step : m_steps)
        if (step.kind == FileWritten && !step.backup.empty()) {
            ::SetFileAttributesW(step.backup.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(step.backup.c_str());
        }
    if (!m_backupFolder.empty())
        ::RemoveDirectoryW(m_backupFolder.substr(0, m_backupFolder.size() - 1).c_str());
    m_backupFolder.clear();
}

void CInstallTransaction::Commit()
{
    DeleteBackups();
    m_steps.clear();
    m_bDone = true;
}

void CInstallTransaction::UndoStep(const Step& step)
{
    LPCWSTR path = step.path.c_str();
    switch (step.kind) {
    case FolderCreated:
        if (::RemoveDirectoryW(path))
            SetupLog(L"rollback: removed the folder %ls", path);
        else
            SetupLog(L"rollback: cannot remove the folder %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        break;
    case FileWritten:
        if (step.backup.empty()) {
            if (::DeleteFileW(path) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
                SetupLog(L"rollback: deleted %ls", path);
            else
                SetupLog(L"rollback: cannot delete %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        } else if (::CopyFileW(step.backup.c_str(), path, FALSE)) {
            SetupLog(L"rollback: restored the old %ls", path);
        } else {
            SetupLog(L"rollback: cannot restore %ls: %ls", path, SystemErrorText(::GetLastError()).c_str());
        }
        break;
    case KeyCreated: {
        LONG status = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
        SetupLog(L"rollback: %ls the key HKLM\\%ls", status == ERROR_SUCCESS ? L"deleted" : L"cannot delete", path);
        break;
    }
    case ValueWritten: {
        HKEY hKey = nullptr;
        LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &hKey);
        if (status == ERROR_SUCCESS) {
            status = step.existed
                ? ::RegSetValueExW(hKey, step.name.c_str(), 0, step.type, step.data.data(), (DWORD)step.data.size())
                : ::RegDeleteValueW(hKey, step.name.c_str());
            ::RegCloseKey(hKey);
        }
        SetupLog(L"rollback: %ls HKLM\\%ls \"%ls\"%ls", step.existed ? L"restored" : L"deleted", path,
                 step.name.c_str(), status == ERROR_SUCCESS ? L"" : L" (failed)");
        break;
    }
    case ServiceWasRemoved:
        SetupLog(L"rollback: registering the service again with the old service tool");
        RunServiceTool(path, L"-i");
        break;
    case ServiceWasRegistered:
        SetupLog(L"rollback: removing the service that the new service tool registered");
        StopServiceTool(path);
        break;
    }
}

void CInstallTransaction::Rollback()
{
    if (m_bDone)
        return;
    m_bDone = true;
    if (!m_steps.empty())
        SetupLog(L"rollback: putting back %u changes", (unsigned)m_steps.size());
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it)
        UndoStep(*it);
    DeleteBackups();
    m_steps.clear();
}
