#include "framework/AfxString.h"
#include "framework/AfxApp.h"
#include <cstdarg>
#include <cwchar>
#include <vector>

int CString::Find(LPCWSTR psz, int nStart) const
{
    size_t pos = m_str.find(psz ? psz : L"", (size_t)(nStart < 0 ? 0 : nStart));
    return pos == std::wstring::npos ? -1 : (int)pos;
}

int CString::Find(WCHAR ch, int nStart) const
{
    size_t pos = m_str.find(ch, (size_t)(nStart < 0 ? 0 : nStart));
    return pos == std::wstring::npos ? -1 : (int)pos;
}

void CString::Format(LPCWSTR pszFormat, ...)
{
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list args;
        va_start(args, pszFormat);
        int n = _vsnwprintf(buf.data(), buf.size(), pszFormat, args);
        va_end(args);
        if (n >= 0 && (size_t)n < buf.size()) {
            m_str.assign(buf.data(), (size_t)n);
            return;
        }
        if (buf.size() >= (1u << 24)) {  // a format that never fits: keep what we have
            m_str.assign(buf.data(), buf.size() - 1);
            return;
        }
        buf.resize(buf.size() * 2);
    }
}

BOOL CString::LoadString(HINSTANCE hInst, UINT nID)
{
    if (!hInst)
        hInst = AfxGetResourceHandle();
    // A zero length asks for a read-only pointer to the resource text itself.
    LPCWSTR psz = nullptr;
    int n = ::LoadStringW(hInst, nID, (LPWSTR)&psz, 0);
    if (n <= 0 || !psz) {
        m_str.clear();
        return FALSE;
    }
    m_str.assign(psz, (size_t)n);
    return TRUE;
}

LPWSTR CString::GetBuffer(int nMinLength)
{
    if ((int)m_str.size() < nMinLength)
        m_str.resize((size_t)nMinLength);
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = (int)wcsnlen(m_str.c_str(), m_str.size());
    m_str.resize((size_t)nNewLength);
}
