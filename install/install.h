// The installation run: Next on the destination page. Checks the destination,
// copies the chosen file set from the disc, creates the Start-menu shortcuts,
// writes the registry records and applies the embedded update package.
#pragma once
#include <windows.h>

enum class CopyResult { Copied = 0, Failed = 1, Aborted = 2 };

// Leaves the dialog in one of three states: the completion page; a correctable
// fault in the information text (nothing written); or ended with -1 after a fatal
// failure or cancellation (what was written stays for the abort actions).
void RunInstallation(HWND dialog);

// One shell copy of `source` to `target`, both ended by two NULs. `folderFlag`
// suppresses the shell's own error boxes. Clears autoMode unless Copied.
CopyResult ShellCopy(HWND owner, const char* source, const char* target, int folderFlag);

// Abort removal of the install folder: deletes for good, with everything in it,
// the shallowest folder on the way to the install folder that this run created.
// A folder that was there before the run is never deleted, so neither is what the
// user kept in it (saved games of an earlier copy); files this run copied into
// such a folder stay. Does nothing when the run created no folder, and a further
// call does nothing.
void RemoveInstallFolder();

// Abort mend: RemoveInstallFolder, the game's Start-menu folder (or, in a folder
// that was there before, the shortcut files added to it), and the keys of the
// install record and of the uninstall record, each only when this run created it
// (values of a record key that existed before are not restored). Every fatal
// outcome of RunInstallation calls it before the dialog ends, and so do the abort
// actions after it; a further call does nothing.
void UndoInstallationRecords();
