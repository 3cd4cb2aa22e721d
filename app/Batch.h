// The batch on the user-interface thread: start, launch each file's worker, cancel, and the
// decisions after each file.
#pragma once

namespace vesko {

void StartBatchFromSelection();
void LaunchCurrent();
void RequestCancel();
void OnWorkerFinished();

// CancelSynchronousIo on the worker's thread while it exists, so a blocked read or write ends now.
void CancelWorkerIo();

// Shows the end of a batch: flags, status, and the task dialog or results window (FinishBatch.cpp).
void FinishBatch();

// Gives the open results window the current fonts (after a DPI change replaced them).
void ApplyReportFonts();

} // namespace vesko
