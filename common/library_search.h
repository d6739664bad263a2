// Where the two programs take their libraries from. Both run elevated, often from
// a download or temporary folder that other programs can write into, so no library
// may be found by a search that includes the program's folder or the current one.
#pragma once
#include <windows.h>

// Limits every later library load of the process, including those the system
// libraries make on their own, to the system folder. Call it first in WinMain.
// Systems without SetDefaultDllDirectories at least lose the current folder from
// the search (SetDllDirectoryA("")); both are looked up at run time.
void RestrictLibrarySearch();

// Loads `name` from the folder of this process's program file by its full path,
// its own imports resolved from that folder first (LOAD_WITH_ALTERED_SEARCH_PATH).
// Null when the path does not fit or the library can't be loaded.
HMODULE LoadLibraryBesideProgram(const char* name);
