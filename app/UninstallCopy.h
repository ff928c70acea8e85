// The uninstall runs from a copy of the program in a temporary folder, so that it can remove
// the install's "Uninstall" folder that it was started from, and with it the whole install.
//
// The program started from <InstallDir>\Uninstall (by the uninstall entry or the shortcut)
// copies itself and its seven language libraries into a new temporary folder that only SYSTEM,
// the Administrators and the running user may use (TrustedFolder.h), starts the copy with the
// same words, keeps the single-instance guard while the copy works and ends with the copy's
// result as its exit code. The copy checks that its folder is still that folder, on its handle,
// and holds it; it runs the uninstall as the started program would, with that program's folder
// (its setup.ini, title bitmap and texts), reports its result, waits for the started program to
// end, removes what is left of the install folder, and deletes the files that were copied (by
// handle; those in use, and the folder, at the next restart).
#pragma once
#include <windows.h>
#include "app/SetupCommandLine.h"
#include "engine/TrustedFolder.h"

// TRUE when lpszFolder (ends with a backslash) is the "Uninstall" folder of the install that
// config, read from that folder's setup.ini, describes.
BOOL IsInstalledUninstallFolder(LPCWSTR lpszFolder, const SetupConfig& config);

// Runs the uninstall from a temporary copy of the program at lpszExePath (letter case as the
// system gives it) and waits for its result; FALSE when no copy could be made, checked or
// started, and the uninstall must then run here.
BOOL RunUninstallFromCopy(LPCWSTR lpszExePath, LPCWSTR lpszFolder, int* pnExitCode);

// The temporary copy's side, from the words its starter gave it.
class CUninstallCopy {
public:
    // TRUE when cmdInfo makes this process the temporary copy of a running uninstaller that
    // holds the single-instance guard; then lpszFolder (MAX_PATH units) gets that program's
    // folder, with its trailing backslash.
    BOOL Attach(const CSetupCommandLineInfo& cmdInfo, LPWSTR lpszFolder);
    BOOL IsAttached() const { return m_parent.IsValid(); }
    // TRUE when this process is such a copy whose folder cannot be trusted: it must not act.
    BOOL IsRefused() const { return !m_refusal.empty(); }
    LPCWSTR GetRefusal() const { return m_refusal.c_str(); }
    // Reports the uninstall's result to the starter. After a successful uninstall, waits for
    // the starter to end and, holding the guard in mutex from then on, removes what is left of
    // config's install folder. Then has this copy's folder removed at the next restart.
    void Finish(int nExitCode, const SetupConfig& config, CKernelHandle& mutex);

private:
    CKernelHandle m_parent;   // the starter's process
    CKernelHandle m_result;   // the pipe's writing end, for the result
    CTrustedFolder m_folder;   // this copy's own, held while it works
    std::wstring m_refusal;
};
