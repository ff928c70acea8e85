// Text helpers of the engine: formatting of any length, the system's error texts, and the
// UTF-8 in which the log and the install journal store their lines.
#pragma once
#include <windows.h>
#include <stdarg.h>
#include <string>

// The formatted text, however long ("%ls" for strings).
std::wstring FormatStringV(LPCWSTR lpszFormat, va_list args);

// The system's text for an error code, without its line break, into lpszText (cch units);
// "error <n>" when the system has none.
void FormatSystemError(DWORD dwError, LPWSTR lpszText, size_t cch);
// The same text as a string.
std::wstring SystemErrorText(DWORD dwError);

// UTF-16 to UTF-8 and back.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& utf8);
