// The first thing every run does: it puts back an install of the product whose process died
// (its journal, InstallJournal.h, names what to undo), and sweeps the temporary rollback
// folders that earlier versions of the program left behind.
//
//   RecoverInterruptedInstall  the recovery, from a trusted journal that names this install
//   UndoJournalStep            the undo of one step, shared with the running install's rollback
#pragma once
#include "engine/InstallJournal.h"

// Checks for the journal of an install of the product that config describes whose process
// died. When one is there, may be trusted (its folder and file are the administrators' alone,
// TrustedFolder.h) and names config's install folder, the install is rolled back (old files
// back, what it added gone, the old service registered and started again), logged, and the
// journal and its kept files removed. Untrusted or foreign journals are ignored and logged; a
// journal without its complete plan (the run changed nothing) is removed. SetupBusy when a
// setup program that is still running holds the journal; SetupFailed (reported, and the journal
// and the kept files stay for the next run) when a step cannot be undone; else SetupSucceeded.
SetupOutcome RecoverInterruptedInstall(const SetupConfig& config);

// Undoes one step, logging it; TRUE when it is undone or needed nothing, else FALSE with what
// could not be put back in problem. Steps of a journal are undone whether or not they were
// done, and a failed recovery is tried again by the next run: each undo is harmless for a
// change that has not happened or has been undone already.
BOOL UndoJournalStep(const JournalStep& step, std::wstring& problem);
