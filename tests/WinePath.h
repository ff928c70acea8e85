// Small helpers that every Windows test program shares: the Linux build's paths as Windows
// programs under Wine see them, and a whole file's bytes.
#pragma once
#include <windows.h>
#include <string>

// The bytes of a file, read while others may write it; empty when it cannot be opened.
inline std::string ReadWholeFile(const std::wstring& path)
{
    std::string text;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got)
        text.append(buf, got);
    ::CloseHandle(h);
    return text;
}

// A path of the Linux build as Windows programs under Wine see it: drive Z: is the Linux root.
inline std::wstring WinePath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path += (*p == '/') ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}
