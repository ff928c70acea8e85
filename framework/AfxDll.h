// System DLLs, never taken from the program's folder: a setup program often runs elevated
// from a downloads folder, where any file may lie beside it.
//   AfxRestrictDllSearch   the first call of a framework program (its entry point): every later
//                          search for a DLL by name looks in the system folder only
//   AfxLoadSystemLibrary   a DLL of the system folder, loaded by its full path
//   AfxInitCommonControls  the common controls, loaded from the system folder on first use
#pragma once
#include <windows.h>

// Where the system cannot limit the search to its folder (Windows XP, and Vista and 7 without
// their update), the DLLs that system DLLs load by name on demand are loaded here by full
// path, so that those later loads find them already loaded.
void AfxRestrictDllSearch();
// Null when the DLL is not in the system folder or does not load.
HMODULE AfxLoadSystemLibrary(LPCWSTR lpszName);
// Registers the common controls' window classes (progress bar, tooltip, ...); FALSE when the
// library could not be loaded. Only windows that use those controls need it.
BOOL AfxInitCommonControls();
