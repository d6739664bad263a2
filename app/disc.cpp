#include "app/disc.h"

#include <windows.h>

#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "script/config.h"
#include "script/reader.h"

namespace {
// 1 when drive `letter` is a CD-ROM whose SETUP.INI carries the built-in title;
// sourceRoot and scriptPath then name it.
int IsInstallDisc(char letter)
{
    const char root[] = {letter, ':', '\\', '\0'};
    CopyText(g_session.sourceRoot, sizeof g_session.sourceRoot, root);
    if (GetDriveTypeA(g_session.sourceRoot) != DRIVE_CDROM)
        return 0;
    CopyText(g_session.scriptPath, sizeof g_session.scriptPath, root);
    if (!AppendPath(g_session.scriptPath, sizeof g_session.scriptPath, "SETUP.INI"))
        return 0;
    if (GetFileAttributesA(g_session.scriptPath) == INVALID_FILE_ATTRIBUTES)
        return 0;
    char title[kMessageCapacity] = {};
    if (GetPrivateProfileStringA("SETUP", "GameTitle", "", title, sizeof title, g_session.scriptPath) == 0)
        return 0;
    return lstrcmpA(title, kBuiltInTitle) == 0;
}

bool BringForward(HWND window)
{
    if (!window)
        return false;
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    return true;
}
}

DiscResult FindSourceDisc()
{
    for (;;) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (IsInstallDisc(letter))
                return LoadSetupConfig() ? DiscResult::Found : DiscResult::Failed;
        }
        char prompt[kMessageCapacity];
        FormatText(prompt, sizeof prompt, "ＣＤ－ＲＯＭドライブに「%s」ディスク１を入れて下さい", kBuiltInTitle);
        if (MessageBoxA(nullptr, prompt, g_session.caption, MB_OKCANCEL) != IDOK)
            return DiscResult::Cancelled;
    }
}

bool ActivateRunningCopy()
{
    // "#32770" is the dialog class: another copy's wizard (or one of its message
    // boxes) carries the same caption.
    if (BringForward(FindWindowA("#32770", g_session.caption)))
        return true;
    return BringForward(FindWindowA(g_config.GameClass, g_config.GameTitle));
}

bool LaunchInstalledGame()
{
    char keyPath[kMessageCapacity];
    FormatText(keyPath, sizeof keyPath, "Software\\%s\\%s", g_config.CompanyName, g_config.GameDir);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    // One byte more than the value may fill, so a value stored without its NUL
    // still ends inside the buffer.
    char commandLine[kPathCapacity + 1] = {};
    DWORD size = kPathCapacity;
    const LONG status = RegQueryValueExA(key, "InstPath", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(commandLine), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return false;
    if (!AppendPath(commandLine, kPathCapacity, g_config.GameExe))
        return false;
    // A record whose folder no longer holds the game (removed by hand, another
    // drive) must not end the run with nothing installed: install again instead.
    const DWORD attributes = GetFileAttributesA(commandLine);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    StartProgram(commandLine);
    return true;
}
