// What happens after the wizard: abort or completion actions, final clean-up.
#pragma once
#include <windows.h>

// Abort: the message, then the install folder's removal.
void RunAbortActions();
// Completion: DirectX set-up (when ticked) and the follow-up program; returns the
// DirectX result (0 when the set-up did not run).
int RunCompletionActions();
// Both exits: release the banner; schedule the self-removal when asked.
void RunFinalCleanup(int selfRemove);
// Success exit: the restart question when the DirectX set-up asked for it.
void AskRestart(int directXResult);

void RemoveInstallFolder();
int RunDirectXSetup(HWND owner, const char* rootFolder, DWORD flags);
void ScheduleSelfRemoval(HINSTANCE module);
