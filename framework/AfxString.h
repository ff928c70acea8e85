// CString: a growable UTF-16 string with the few operations the program uses.
#pragma once
#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(LPCWSTR psz) : m_str(psz ? psz : L"") {}
    CString(LPCWSTR psz, int nLength) : m_str(psz ? psz : L"", psz ? (size_t)nLength : 0) {}
    CString(const std::wstring& s) : m_str(s) {}

    operator LPCWSTR() const { return m_str.c_str(); }
    LPCWSTR GetString() const { return m_str.c_str(); }
    int GetLength() const { return (int)m_str.size(); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    WCHAR GetAt(int i) const { return m_str[(size_t)i]; }
    int Find(LPCWSTR psz, int nStart = 0) const;
    int Find(WCHAR ch, int nStart = 0) const;
    CString Left(int n) const { return CString(m_str.substr(0, (size_t)n)); }
    CString Mid(int first) const { return first >= GetLength() ? CString() : CString(m_str.substr((size_t)first)); }
    int CompareNoCase(LPCWSTR psz) const { return ::lstrcmpiW(m_str.c_str(), psz ? psz : L""); }

    CString& operator=(LPCWSTR psz) { m_str = psz ? psz : L""; return *this; }
    CString& operator+=(LPCWSTR psz) { m_str += psz ? psz : L""; return *this; }
    CString& operator+=(WCHAR ch) { m_str += ch; return *this; }
    friend CString operator+(const CString& a, LPCWSTR b) { CString r(a); r += b; return r; }
    friend CString operator+(LPCWSTR a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    bool operator==(LPCWSTR psz) const { return m_str == (psz ? psz : L""); }
    bool operator!=(LPCWSTR psz) const { return !(*this == psz); }
    bool operator==(const CString& o) const { return m_str == o.m_str; }
    bool operator!=(const CString& o) const { return m_str != o.m_str; }

    // printf-style formatting with the wide format rules of the C runtime (%s takes a wide string).
    void Format(LPCWSTR pszFormat, ...);
    // Loads a string resource from the given module (the program's own when null).
    BOOL LoadString(HINSTANCE hInst, UINT nID);
    BOOL LoadString(UINT nID) { return LoadString(nullptr, nID); }

    // Direct access for Win32 calls that fill a buffer.
    LPWSTR GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::wstring m_str;
};
