#include "script/reader.h"

#include <windows.h>

#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "script/config.h"

bool quietMissingKeys = false;

namespace {
void ShowScriptErrorBox(const char* text)
{
    MessageBoxA(g_session.dialogWindow, text, "INSTCMMN", MB_OK | MB_ICONERROR);
}

ScriptErrorSink g_scriptErrorSink = ShowScriptErrorBox;

// The zeroed buffer leaves no bytes of an earlier value behind a shorter one.
int ReadValue(const char* section, const char* key, char* out, std::size_t capacity, const char* file)
{
    for (std::size_t i = 0; i < capacity; ++i)
        out[i] = '\0';
    return GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(capacity), file) > 0;
}

// Room for the longest key name with its index (DiskCheckFile9, InstallTitle2).
constexpr int kKeyNameCapacity = 64;

void ReportKeyFault(const char* key)
{
    char message[kMessageCapacity];
    FormatText(message, sizeof message, "SETUP.INI : %s エラー", key);
    ShowScriptError(message);
}

// Takes the next item of a list whose items fill fields of kTextCapacity bytes.
// An item that would not fit is refused as a fault of `key` rather than cut, since a
// cut name would silently point at another file. Returns 1 when an item was taken.
int TakeItem(char* out, const char** cursor, const char* key, bool* fault)
{
    const ListItem item = NextListItem(out, kTextCapacity, cursor);
    if (item == ListItem::TooLong) {
        ReportKeyFault(key);
        *fault = true;
    }
    return item == ListItem::Taken;
}

// These values name folders, files and registry keys. The profile reader would cut
// a longer value to the field's 259 bytes, which installs into (and records) a
// different folder than the script says, so such a value is refused as a fault of
// its key. It is read through a larger buffer to tell a cut value from one that fits.
int ReadNameKey(const char* key, char* out)
{
    char value[kMessageCapacity];
    if (!ReadSetupKey(key, value, sizeof value))
        return 0;
    if (!CopyText(out, kTextCapacity, value)) {
        ReportKeyFault(key);
        return 0;
    }
    return 1;
}

int LoadRequiredTexts()
{
    return ReadNameKey("CompanyName", g_config.CompanyName) && ReadNameKey("GameTitle", g_config.GameTitle) &&
           ReadNameKey("GameDir", g_config.GameDir) && ReadNameKey("GameExe", g_config.GameExe) &&
           ReadNameKey("UninstExe", g_config.UninstExe);
}

int LoadBanners(char* work)
{
    if (!ReadSetupKey("SetupBmp", work, kMessageCapacity))
        return 0;
    const char* cursor = work;
    bool fault = false;
    int count = 0;
    while (count < kMaxBanners && TakeItem(g_config.SetupBmp[count], &cursor, "SetupBmps", &fault))
        ++count;
    if (fault)
        return 0;
    if (count == 0) {
        ShowScriptError("SETUP.INI : SetupBmps エラー");
        return 0;
    }
    if (count < kMaxBanners)
        g_config.SetupBmp[count][0] = '\0';
    g_config.SetupBmpCount = count;
    return 1;
}

int LoadSelection(int index, char* work)
{
    InstallSelection& selection = g_config.selections[index];
    char key[kKeyNameCapacity];
    FormatText(key, sizeof key, "InstallTitle%i", index);
    if (!ReadSetupKey(key, selection.InstallTitle, kTextCapacity))
        return 0;
    FormatText(key, sizeof key, "InstallFiles%i", index);
    if (!ReadSetupKey(key, work, kMessageCapacity))
        return 0;
    selection.usesOtherDiscs = false;
    currentDisc = 0;
    const char* cursor = work;
    bool fault = false;
    int count = 0;
    while (count < kMaxInstallFiles &&
           TakeItem(selection.InstallFiles[count].name, &cursor, key, &fault)) {
        selection.InstallFiles[count].disc = currentDisc;
        if (currentDisc != 0)
            selection.usesOtherDiscs = true;
        ++count;
    }
    if (fault)
        return 0;
    if (count == 0) {
        ReportKeyFault(key);
        return 0;
    }
    if (count < kMaxInstallFiles) {
        selection.InstallFiles[count].name[0] = '\0';
        selection.InstallFiles[count].disc = 0;
    }
    return 1;
}

int LoadShortcut(int index)
{
    ShortcutEntry& entry = g_config.shortcutEntries[index];
    char key[kKeyNameCapacity];
    FormatText(key, sizeof key, "Shortcut%i", index);
    // Read with the capacity of one field, so no item can outgrow its field.
    char value[kTextCapacity];
    if (!ReadSetupKey(key, value, sizeof value))
        return 0;
    const char* cursor = value;
    bool fault = false;
    if (!TakeItem(entry.target, &cursor, key, &fault) || !TakeItem(entry.name, &cursor, key, &fault)) {
        if (!fault)
            ReportKeyFault(key);
        return 0;
    }
    if (!TakeItem(entry.icon, &cursor, key, &fault))
        entry.icon[0] = '\0';
    return 1;
}

int LoadExecApp()
{
    char value[kTextCapacity];
    if (!ReadSetupKey("ExecApp", value, sizeof value)) {
        g_config.ExecApp.program[0] = '\0';
        return 1;
    }
    const char* cursor = value;
    bool fault = false;
    if (!TakeItem(g_config.ExecApp.program, &cursor, "ExecApp", &fault) ||
        !TakeItem(g_config.ExecApp.argumentFile, &cursor, "ExecApp", &fault)) {
        g_config.ExecApp.program[0] = '\0';
        if (!fault)
            ReportKeyFault("ExecApp");
        return 0;
    }
    return 1;
}

void LoadOptionalKeys()
{
    if (!ReadSetupKey("GameClass", g_config.GameClass, kTextCapacity))
        CopyText(g_config.GameClass, kTextCapacity, g_config.GameTitle);

    g_config.DefaultSelect = 0;
    ReadSetupInt("DefaultSelect", &g_config.DefaultSelect);
    // The value indexes a radio button and a choice: one that names no choice
    // falls back to the first rather than reaching past the choices in use.
    if (g_config.DefaultSelect < 0 || g_config.DefaultSelect >= SelectionCount(g_config))
        g_config.DefaultSelect = 0;

    for (int i = 0; i < SelectionCount(g_config); ++i) {
        char key[kKeyNameCapacity];
        char number[kNumberCapacity];
        FormatText(key, sizeof key, "InstallSize%i", i);
        g_config.selections[i].InstallSize = HasSetupKey(key, number) ? ParseScriptSize(number) : 0;
    }

    for (int i = 0; i < kMaxDiscs; ++i) {
        char key[kKeyNameCapacity];
        FormatText(key, sizeof key, "DiskCheckFile%i", i);
        ReadSetupKey(key, g_config.DiskCheckFile[i], kTextCapacity);
    }
}

int LoadLateKeys(char* work)
{
    LoadOptionalKeys();
    if (!LoadExecApp())
        return 0;

    int32_t directX = 0;
    g_config.InstallDirectX = 0;
    if (ReadSetupInt("InstallDirectX", &directX)) {
        // DSETUP_DXCORE, then DSETUP_DDRAWDRV and DSETUP_DSOUNDDRV by the value's two low bits.
        g_config.InstallDirectX = 0x10000u | ((directX & 1) ? 0x8u : 0u) | ((directX & 2) ? 0x10u : 0u);
    }

    if (!ReadSetupKey("InstallDXMessage", g_config.InstallDXMessage, kMessageCapacity))
        CopyText(g_config.InstallDXMessage, kMessageCapacity, "ＤｉｒｅｃｔＸをインストールする");
    if (!ReadSetupKey("SelectSetupMessage", g_config.SelectSetupMessage, kMessageCapacity))
        CopyText(g_config.SelectSetupMessage, kMessageCapacity, "インストール方法を選択して下さい");

    g_config.AdditionalUninstallFilesCount = 0;
    if (ReadSetupKey("AdditionalUninstallFiles", work, kMessageCapacity)) {
        // Nothing else uses these names and this key may not fail the load, so a
        // name too long for its field ends the list where it stands.
        const char* cursor = work;
        int count = 0;
        while (count < kMaxUninstallFiles &&
               NextListItem(g_config.AdditionalUninstallFiles[count], kTextCapacity, &cursor) ==
                   ListItem::Taken)
            ++count;
        if (count < kMaxUninstallFiles)
            g_config.AdditionalUninstallFiles[count][0] = '\0';
        g_config.AdditionalUninstallFilesCount = count;
    }
    return 1;
}
}

void SetScriptErrorSink(ScriptErrorSink sink)
{
    g_scriptErrorSink = sink ? sink : ShowScriptErrorBox;
}

void ShowScriptError(const char* text)
{
    g_scriptErrorSink(text);
}

int ReadProfileKey(const char* section, const char* key, char* out, std::size_t capacity, const char* file)
{
    if (ReadValue(section, key, out, capacity, file))
        return 1;
    if (!quietMissingKeys) {
        char message[kMessageCapacity];
        FormatText(message, sizeof message, "%s : %s キーが存在しません", section, key);
        ShowScriptError(message);
    }
    return 0;
}

int ReadSetupKey(const char* key, char* out, std::size_t capacity)
{
    if (ReadValue("SETUP", key, out, capacity, g_session.scriptPath))
        return 1;
    if (!quietMissingKeys) {
        char message[kMessageCapacity];
        FormatText(message, sizeof message, "SETUP.INI : %s キーが存在しません", key);
        ShowScriptError(message);
    }
    return 0;
}

int HasSetupKey(const char* key, char* buffer)
{
    return ReadSetupKey(key, buffer, kNumberCapacity);
}

int ReadSetupInt(const char* key, int32_t* out)
{
    char number[kNumberCapacity];
    if (!ReadSetupKey(key, number, sizeof number))
        return 0;
    *out = ParseScriptInt(number);
    return 1;
}

int LoadSetupConfig()
{
    // One work buffer serves every list read with the 1024-byte capacity.
    char work[kMessageCapacity];
    if (!LoadRequiredTexts() || !LoadBanners(work))
        return 0;

    if (!ReadSetupInt("InstallSelects", &g_config.InstallSelects))
        return 0;
    if (g_config.InstallSelects > kMaxSelections) {
        ShowScriptError("SETUP.INI : InstallSelect オーバー");
        return 0;
    }
    for (int i = 0; i < g_config.InstallSelects; ++i) {
        if (!LoadSelection(i, work))
            return 0;
    }

    if (!ReadSetupInt("Shortcuts", &g_config.Shortcuts))
        return 0;
    if (g_config.Shortcuts > kMaxShortcuts) {
        ShowScriptError("SETUP.INI : Shortcuts オーバー");
        return 0;
    }
    for (int j = 0; j < g_config.Shortcuts; ++j) {
        if (!LoadShortcut(j))
            return 0;
    }

    quietMissingKeys = true;
    return LoadLateKeys(work);
}
