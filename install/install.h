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

// Abort mend: removes what this run created and the design would otherwise leave
// behind: the game's Start-menu folder, the install record's and the uninstall
// record's keys, and the empty parent folders of the install folder. Each only
// when this run created it; anything that existed before the run is left as it
// was. Call after RemoveInstallFolder (an empty parent can only go once the
// install folder is gone). Safe to call when nothing was created.
void UndoInstallationRecords();
