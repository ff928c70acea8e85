// Small helpers shared by the shell's tests: temporary folders, package paths, processes.
#pragma once
#include <windows.h>
#include <string>
#include "tests/WinePath.h"

namespace testsupport {

// The build's package folder, with a trailing backslash.
std::wstring PackageDir();
// A fresh, empty folder under %TEMP% (trailing backslash); removed with its files by the destructor.
class TempDir {
public:
    explicit TempDir(const wchar_t* tag);
    ~TempDir();
    const std::wstring& Path() const { return m_path; }
private:
    std::wstring m_path;
};
// The path with A-Z in lower case, as the program compares its own path.
std::wstring Lower(std::wstring s);
bool CopyTo(const std::wstring& from, const std::wstring& to);
// Runs a command line and waits for it (at most timeoutMs); returns the exit code, or -1.
int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 60000);

}  // namespace testsupport
