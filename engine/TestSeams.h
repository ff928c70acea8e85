// The tests' fault injection, in one place. Every seam is an environment variable named
// SETUP_TEST_..., read only here. None can hang the program (a pause ends by itself, and says
// so in the log) or make a check pass that would fail (a figure from the environment can only
// lower the real one).
//
//   SETUP_TEST_PAUSE_AFTER_STEP=k  the install pauses after its k-th change
//   SETUP_TEST_THROW_AFTER_STEP=k  the install throws a C++ exception after its k-th change
//   SETUP_TEST_PAUSE_IN_SWEEP=1    the sweep of old rollback folders pauses after listing them
//   SETUP_TEST_RESUME_FILE=<path>  a pause ends as soon as that file exists
//   SETUP_TEST_FREE_SPACE_MB=n     the disk check sees at most n MB free
//   SETUP_TEST_WOW64=0             the 64-bit test build plays the 32-bit program on 32-bit Windows
#pragma once
#include <windows.h>

// The longest a pause lasts.
const DWORD kTestPauseMaxMs = 120000;

// SETUP_TEST_PAUSE_AFTER_STEP: the change after which the install pauses, or 0.
unsigned TestPauseAfterChange();
// SETUP_TEST_THROW_AFTER_STEP: the change after which the install throws, or 0.
unsigned TestThrowAfterChange();
// Throws the exception of SETUP_TEST_THROW_AFTER_STEP (std::runtime_error), logging
// "test: an exception after change <nChange>".
[[noreturn]] void TestThrow(unsigned nChange);
// SETUP_TEST_PAUSE_IN_SWEEP: TRUE when the sweep pauses after its listing.
BOOL TestPauseInSweep();
// Pauses the run, logging "test: paused <lpszWhere>", until the resume file exists or
// kTestPauseMaxMs have passed; then logs how the pause ended.
void TestPause(LPCWSTR lpszWhere);
// The free bytes the disk check counts: realBytes, or less with SETUP_TEST_FREE_SPACE_MB.
ULONGLONG TestFreeSpaceLimit(ULONGLONG realBytes);

#if defined(_WIN64)
// SETUP_TEST_WOW64=0. The 64-bit build exists only to run the tests on machines that cannot
// execute 32-bit code; it stands for the 32-bit program, which on 64-bit Windows runs under
// WOW64.
BOOL TestPlays32BitWindows();
#endif
