#include "TestSupport.h"
#include <vector>

namespace testsupport {

std::wstring PackageDir()
{
    return WinePath(SETUP_PACKAGE_DIR) + L"\\";
}

TempDir::TempDir(const wchar_t* tag)
{
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    static LONG counter = 0;
    wchar_t name[64];
    wsprintfW(name, L"%s-%lu-%ld\\", tag, GetCurrentProcessId(), InterlockedIncrement(&counter));
    m_path = std::wstring(tmp) + name;
    DeleteTree(m_path.substr(0, m_path.size() - 1));
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir()
{
    DeleteTree(m_path.substr(0, m_path.size() - 1));
}

std::wstring Lower(std::wstring s)
{
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z')
            c = (wchar_t)(c - L'A' + L'a');
    return s;
}

bool CopyTo(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs)
{
    std::vector<wchar_t> buf(commandLine.begin(), commandLine.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    return (int)code;
}

}  // namespace testsupport
