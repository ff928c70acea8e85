// Child processes: starting programs, the installed application, and closing its window.
#pragma once
#include "engine/SetupConfig.h"

// How long the application may take to end after WM_CLOSE.
const DWORD kApplicationCloseWaitMs = 10000;

// Starts a program at normal priority; returns its process handle (the caller closes it) or
// null. The thread handle is closed here.
HANDLE RunProgram(LPCWSTR lpszCommandLine, BOOL bShow);
// Starts a program and waits up to dwTimeoutMs for it to end, logging its command line and
// exit code. FALSE when it could not be started.
BOOL RunProgramAndWait(LPCWSTR lpszCommandLine, DWORD dwTimeoutMs);
// Starts the installed application; reads setup.ini when pConfig is null. TRUE when started.
BOOL LaunchApplication(LPCWSTR lpszFolder, const SetupConfig* pConfig, BOOL bTitleBitmap);
// Asks every top-level window captioned lpszAppName to close and waits for its program to
// end, kApplicationCloseWaitMs at most in all; a window that does not answer (a hung
// program) is not waited on for longer. TRUE when no such program runs any more.
BOOL CloseRunningApplication(LPCWSTR lpszAppName);
