// Start-menu shortcuts of the game: its folder under Programs, an Explorer window
// on it, and one .lnk or .url file per ShortcutEntry of the script.
#pragma once
#include <windows.h>

// 0 only when the Programs folder can't be read (nothing created then); single
// shortcuts that can't be written are skipped silently.
int CreateStartMenuShortcuts();

// Fills g_session.programsFolder from the user's Shell Folders key; 1 when read.
int ReadProgramsFolder();

// Starts Explorer on g_session.shortcutFolder; not waited for.
void OpenFolderWindow();

// Each writer makes its own paired COM initialise/uninitialise calls and returns
// the last COM result: of the object's creation, of obtaining IPersistFile, or of
// the save. Paths are ANSI; the file path is converted for IPersistFile::Save.
HRESULT CreateShellLink(const char* linkPath, const char* description, const char* targetPath,
                        const char* iconPath);
HRESULT CreateUrlShortcut(const char* shortcutPath, const char* address);

// Abort mend: deletes the game's Start-menu folder with everything in it when
// this process created the folder, else only the shortcut files it added there.
void RemoveCreatedShortcuts();
