// What happens after the wizard: abort or completion actions, final clean-up.
#pragma once
#include <windows.h>

// Abort: the message, then whatever folders, records and Start-menu folder this
// run created; nothing that was there before the run.
void RunAbortActions();
// Completion: DirectX set-up (when ticked) and the follow-up program; returns the
// DirectX result (0 when the set-up did not run).
int RunCompletionActions();
// Both exits: release the banner; schedule the self-removal when asked.
void RunFinalCleanup(int selfRemove);
// Success exit: the restart question when the DirectX set-up asked for it.
void AskRestart(int directXResult);

// Loads "dsetup.dll" from this program's folder by its full path and calls
// DirectXSetupA; -11 when the library or its entry point is missing.
int RunDirectXSetup(HWND owner, const char* rootFolder, DWORD flags);
// Writes and starts DELSUP.BAT in the Windows folder, which deletes the program
// file once the program has ended. Silent; nothing happens when a path or the
// script would not fit its field.
void ScheduleSelfRemoval(HINSTANCE module);
