// Choice and loading of the language resource library that holds the wizard's texts:
// "<executable path without .exe><three-letter language abbreviation>.DLL" beside the
// program, English ("ENU") as the fallback. The libraries are loaded as data: they hold
// only string tables and none of their code ever runs. With a check, a library is used only
// when the check accepts its file, which stays open without write or delete sharing while
// the library is mapped, so that the texts are those of the checked bytes.
#pragma once
#include <windows.h>

// Decides whether the library lpszPath, open in hFile, may be used; nobody can write, rename
// or delete the file while hFile is open.
typedef BOOL (*LanguageLibraryCheckFn)(LPCWSTR lpszPath, HANDLE hFile);

// Tries the user's UI language, the system's UI language, the user's and the system's
// default language, in that order. Sets g_bGermanUi and g_bSpanishSystem on the way.
// lpszExePath is the program's full path, lower-cased. Returns the library or null; free it
// with FreeLanguageLibrary.
HMODULE LoadLanguageLibrary(LPCWSTR lpszExePath, LanguageLibraryCheckFn pfnCheck = nullptr);
// One attempt for one language: its own library, else (when there is none, or it does not
// load, or the check refused it) the English one. Null when the language has no abbreviation,
// the path has no ".exe" ending or nothing loads.
HMODULE TryLoadLanguageLibrary(LPCWSTR lpszExePath, LANGID wLangId, LanguageLibraryCheckFn pfnCheck = nullptr);
// Frees a library of the functions above and closes the file that a check held open.
void FreeLanguageLibrary(HMODULE hModule);
// Loads a resource-only library as data, never running any code of it.
HMODULE LoadResourceLibrary(LPCWSTR lpszPath);
