// Choice and loading of the language resource library that holds the wizard's texts:
// "<executable path without .exe><three-letter language abbreviation>.DLL" beside the
// program, English ("ENU") as the fallback. The libraries are loaded as data: they hold
// only string tables and none of their code ever runs.
#pragma once
#include <windows.h>

// Tries the user's UI language, the system's UI language, the user's and the system's
// default language, in that order. Sets g_bGermanUi and g_bSpanishSystem on the way.
// lpszExePath is the program's full path, lower-cased. Returns the library or null.
HMODULE LoadLanguageLibrary(LPCWSTR lpszExePath);
// One attempt for one language: its own library, else the English one. Null when the
// language has no abbreviation, the path has no ".exe" ending or nothing loads.
HMODULE TryLoadLanguageLibrary(LPCWSTR lpszExePath, LANGID wLangId);
// Loads a resource-only library as data, never running any code of it.
HMODULE LoadResourceLibrary(LPCWSTR lpszPath);
