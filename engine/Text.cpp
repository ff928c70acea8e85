#include "engine/Text.h"
#include <stdio.h>

std::wstring FormatStringV(LPCWSTR lpszFormat, va_list args)
{
    std::wstring text(512, L'\0');
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnwprintf(&text[0], text.size(), lpszFormat, copy);
        va_end(copy);
        if (n >= 0 && (size_t)n < text.size()) {
            text.resize((size_t)n);
            return text;
        }
        if (text.size() >= 1u << 20) {   // a runaway text is cut rather than dropped
            text.resize(text.size() - 1);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

void FormatSystemError(DWORD dwError, LPWSTR lpszText, size_t cch)
{
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
        lpszText, (DWORD)cch, nullptr);
    while (n > 0 && (lpszText[n - 1] == L'\n' || lpszText[n - 1] == L'\r' || lpszText[n - 1] == L' ' ||
                     lpszText[n - 1] == L'.'))
        lpszText[--n] = 0;
    if (n == 0)
        _snwprintf(lpszText, cch, L"error %lu", dwError);
    else
        _snwprintf(lpszText + n, cch - n, L" (error %lu)", dwError);
    lpszText[cch - 1] = 0;
}

std::wstring SystemErrorText(DWORD dwError)
{
    WCHAR szError[256];
    FormatSystemError(dwError, szError, 256);
    return szError;
}

std::string ToUtf8(const std::wstring& text)
{
    int cb = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(cb > 0 ? (size_t)cb : 0, '\0');
    if (cb > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &utf8[0], cb, nullptr, nullptr);
    return utf8;
}

std::wstring FromUtf8(const std::string& utf8)
{
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring text(n > 0 ? (size_t)n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &text[0], n);
    return text;
}
