// Small helpers that every Windows test program shares: the Linux build's paths as Windows
// programs under Wine see them, whole files, folder trees, bitmaps and text for test messages.
#pragma once
#include <windows.h>
#include <shlobj.h>
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

// Writes text as the whole file; false when it cannot be created.
inline bool WriteWholeFile(const std::wstring& path, const std::string& text)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool bOk = ::WriteFile(h, text.data(), (DWORD)text.size(), &written, nullptr) && written == text.size();
    ::CloseHandle(h);
    return bOk;
}

inline bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Deletes a file, or a folder with everything below it, read-only files included.
inline void DeleteTree(const std::wstring& path)
{
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return;
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
                DeleteTree(path + L"\\" + fd.cFileName);
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(path.c_str());
}

// A folder of the shell (CSIDL_...), as the prefix's user sees it.
inline std::wstring SpecialFolder(int csidl)
{
    wchar_t buf[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE);
    return buf;
}

// A key below HKLM exists, in the given registry view (KEY_WOW64_...) or the program's own.
inline bool HklmKeyExists(const std::wstring& key, REGSAM view = 0)
{
    HKEY hKey;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

// UTF-8 of a wide string, for test messages and names.
inline std::string Narrow(const std::wstring& text)
{
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], bytes, nullptr, nullptr);
    return out;
}

// The header of a top-down 32-bit DIB of the given size.
inline BITMAPINFO TopDownDib(int width, int height)
{
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    return bi;
}

// The Compatibility Assistant's record of programs that ran (HKCU), whose values setup.exe writes.
inline constexpr wchar_t kCompatibilityKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

// The DWORD value of that key named after a program; found tells whether there is one.
inline DWORD ReadCompatibilityValue(const std::wstring& name, bool* found)
{
    *found = false;
    HKEY hKey;
    DWORD value = 0, cb = sizeof(value), type = 0;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCompatibilityKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    *found = ::RegQueryValueExW(hKey, name.c_str(), nullptr, &type, (BYTE*)&value, &cb) == ERROR_SUCCESS
        && type == REG_DWORD;
    ::RegCloseKey(hKey);
    return value;
}

inline void DeleteCompatibilityValue(const std::wstring& name)
{
    HKEY hKey;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kCompatibilityKey, 0, KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        ::RegDeleteValueW(hKey, name.c_str());
        ::RegCloseKey(hKey);
    }
}

// The languages of the package's libraries setupXXX.dll.
inline constexpr const wchar_t* kPackageLanguages[] = {L"ENU", L"CHT", L"CHS", L"JPN", L"KOR", L"FRA", L"DEU"};

// The file that a planted marker library (tests/app/planted.cpp) writes when its code runs.
inline std::wstring PlantedMarkerPath()
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"planted-dll-ran.txt";
}

// A path of the Linux build as Windows programs under Wine see it: drive Z: is the Linux root.
inline std::wstring WinePath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path += (*p == '/') ? L'\\' : (wchar_t)(unsigned char)*p;
    return path;
}
