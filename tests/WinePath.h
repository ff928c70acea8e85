// A path of the Linux build as Windows programs under Wine see it: drive Z: is the Linux root.
#pragma once
#include <string>

inline std::wstring WinePath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path += (*p == '/') ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}
