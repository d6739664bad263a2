#include "script/reader.h"

#include "app/session.h"
#include "common/path.h"
#include "script/config.h"

bool quietMissingKeys = false;

namespace {
ProfileSource g_source = PlatformProfileSource;
ScriptErrorSink g_sink = PlatformScriptErrorSink;
bool g_allFaults = false;
int g_faults = 0;

// Room for the longest key name with its index (DiskCheckFile9, InstallTitle2).
constexpr int kKeyNameCapacity = 64;

void Report(const char* key, const char* text)
{
    ++g_faults;
    g_sink(key, text);
}

// "SETUP.INI : <shown> エラー"; `shown` is the key's name unless the text names it otherwise.
void ReportKeyFault(const char* key, const char* shown = nullptr)
{
    char message[kMessageCapacity];
    JoinTexts(message, sizeof message, {"SETUP.INI : ", shown ? shown : key, " エラー"});
    Report(key, message);
}

// True when the load ends at the fault just reported: setup stops at the first.
bool Stop() { return !g_allFaults; }

// The zeroed buffer leaves no bytes of an earlier value behind a shorter one.
int ReadValue(const char* section, const char* key, char* out, std::size_t capacity, const char* file)
{
    for (std::size_t i = 0; i < capacity; ++i)
        out[i] = '\0';
    return g_source(section, key, out, capacity, file) > 0;
}

// `stem` with an index of 0 to 9, as the indexed keys are named.
void FormatKey(char* out, const char* stem, int index)
{
    const char digit[] = {static_cast<char>('0' + index), '\0'};
    JoinTexts(out, kKeyNameCapacity, {stem, digit});
}

// Takes up to `max` items of a list into fields of kTextCapacity bytes spaced
// `stride` bytes apart; with `selection`, each entry of its list also gets the
// disc of its mark. An item that would not fit is refused rather than cut, since
// a cut name would point at another file; a bare disc mark is refused rather than
// taken as an empty name, which would end the list for every later reader. Either
// is a fault of `key`, reported once. Returns the number taken, or -1 after a fault.
int TakeItems(const char* value, char* first, std::size_t stride, int max, const char* key, const char* shown,
              InstallSelection* selection = nullptr)
{
    const char* cursor = value;
    int count = 0;
    while (count < max) {
        const ListItem item = NextListItem(first + count * stride, kTextCapacity, &cursor);
        if (item == ListItem::None)
            break;
        if (item != ListItem::Taken) {
            ReportKeyFault(key, shown);
            return -1;
        }
        if (selection) {
            selection->InstallFiles[count].disc = currentDisc;
            if (currentDisc != 0)
                selection->usesOtherDiscs = true;
        }
        ++count;
    }
    return count;
}

// These values name folders, files and registry keys. The profile reader would cut
// a longer value to the field's 259 bytes, which names a different folder or file
// than the script says, so such a value is refused as a fault of its key. It is
// read through a larger buffer to tell a cut value from one that fits.
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
    const struct {
        const char* key;
        char* field;
    } names[] = {{"CompanyName", g_config.CompanyName}, {"GameTitle", g_config.GameTitle},
                 {"GameDir", g_config.GameDir},         {"GameExe", g_config.GameExe},
                 {"UninstExe", g_config.UninstExe}};
    int loaded = 1;
    for (const auto& name : names) {
        if (!ReadNameKey(name.key, name.field)) {
            loaded = 0;
            if (Stop())
                return 0;
        }
    }
    return loaded;
}

int LoadBanners(char* work)
{
    if (!ReadSetupKey("SetupBmp", work, kMessageCapacity))
        return 0;
    const int count = TakeItems(work, g_config.SetupBmp[0], kTextCapacity, kMaxBanners, "SetupBmp", "SetupBmps");
    if (count < 0)
        return 0;
    if (count == 0) {
        ReportKeyFault("SetupBmp", "SetupBmps");
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
    FormatKey(key, "InstallTitle", index);
    const int titled = ReadSetupKey(key, selection.InstallTitle, kTextCapacity);
    if (!titled && Stop())
        return 0;
    FormatKey(key, "InstallFiles", index);
    if (!ReadSetupKey(key, work, kMessageCapacity))
        return 0;
    selection.usesOtherDiscs = false;
    currentDisc = 0;
    const int count = TakeItems(work, selection.InstallFiles[0].name, sizeof(InstallFileEntry), kMaxInstallFiles,
                                key, nullptr, &selection);
    if (count < 0)
        return 0;
    if (count == 0) {
        ReportKeyFault(key);
        return 0;
    }
    if (count < kMaxInstallFiles) {
        selection.InstallFiles[count].name[0] = '\0';
        selection.InstallFiles[count].disc = 0;
    }
    return titled;
}

int LoadShortcut(int index, char* work)
{
    ShortcutEntry& entry = g_config.shortcutEntries[index];
    char key[kKeyNameCapacity];
    FormatKey(key, "Shortcut", index);
    // Read through the larger buffer: a value cut at the field's size could cut
    // the name or icon silently, while each item is held to its field below.
    if (!ReadSetupKey(key, work, kMessageCapacity))
        return 0;
    char items[3][kTextCapacity] = {};
    const int count = TakeItems(work, items[0], kTextCapacity, 3, key, nullptr);
    if (count < 0)
        return 0;
    if (count < 2) {
        ReportKeyFault(key);
        return 0;
    }
    CopyText(entry.target, kTextCapacity, items[0]);
    CopyText(entry.name, kTextCapacity, items[1]);
    CopyText(entry.icon, kTextCapacity, items[2]);
    return 1;
}

int LoadExecApp(char* work)
{
    g_config.ExecApp.program[0] = '\0';
    if (!ReadSetupKey("ExecApp", work, kMessageCapacity))
        return 1;
    char items[2][kTextCapacity] = {};
    const int count = TakeItems(work, items[0], kTextCapacity, 2, "ExecApp", nullptr);
    if (count < 0)
        return 0;
    if (count < 2) {
        ReportKeyFault("ExecApp");
        return 0;
    }
    CopyText(g_config.ExecApp.program, kTextCapacity, items[0]);
    CopyText(g_config.ExecApp.argumentFile, kTextCapacity, items[1]);
    return 1;
}

int LoadOptionalKeys()
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
        FormatKey(key, "InstallSize", i);
        g_config.selections[i].InstallSize = HasSetupKey(key, number) ? ParseScriptSize(number) : 0;
    }

    // A cut marker name would name a file that is never there, and the disc
    // prompt could never be answered.
    int loaded = 1;
    for (int i = 0; i < kMaxDiscs; ++i) {
        char key[kKeyNameCapacity];
        FormatKey(key, "DiskCheckFile", i);
        const int before = g_faults;
        if (!ReadNameKey(key, g_config.DiskCheckFile[i]) && g_faults != before) {
            g_config.DiskCheckFile[i][0] = '\0';
            loaded = 0;
            if (Stop())
                return 0;
        }
    }
    return loaded;
}

int LoadLateKeys(char* work)
{
    int loaded = LoadOptionalKeys();
    if (!loaded && Stop())
        return 0;
    if (!LoadExecApp(work)) {
        loaded = 0;
        if (Stop())
            return 0;
    }

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
        // name too long for its field (or a bare mark) ends the list where it stands.
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
    return loaded;
}

// A count key: absent is a fault (reported by the read), above `limit` is the
// fault `over`. Returns 1 when neither.
int LoadCount(const char* key, int32_t* out, int32_t limit, const char* over)
{
    if (!ReadSetupInt(key, out))
        return 0;
    if (*out > limit) {
        Report(key, over);
        return 0;
    }
    return 1;
}
}

void SetProfileSource(ProfileSource source)
{
    g_source = source ? source : PlatformProfileSource;
}

void SetScriptErrorSink(ScriptErrorSink sink)
{
    g_sink = sink ? sink : PlatformScriptErrorSink;
}

int ReadProfileKey(const char* section, const char* key, char* out, std::size_t capacity, const char* file)
{
    if (ReadValue(section, key, out, capacity, file))
        return 1;
    if (!quietMissingKeys) {
        char message[kMessageCapacity];
        JoinTexts(message, sizeof message, {section, " : ", key, " キーが存在しません"});
        Report(key, message);
    }
    return 0;
}

int ReadSetupKey(const char* key, char* out, std::size_t capacity)
{
    if (ReadValue("SETUP", key, out, capacity, g_session.scriptPath))
        return 1;
    if (!quietMissingKeys) {
        char message[kMessageCapacity];
        JoinTexts(message, sizeof message, {"SETUP.INI : ", key, " キーが存在しません"});
        Report(key, message);
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

int LoadSetupConfig(bool allFaults)
{
    g_allFaults = allFaults;
    const int before = g_faults;
    // One work buffer serves every list read with the 1024-byte capacity.
    char work[kMessageCapacity];
    if (!LoadRequiredTexts() && Stop())
        return 0;
    if (!LoadBanners(work) && Stop())
        return 0;

    if (!LoadCount("InstallSelects", &g_config.InstallSelects, kMaxSelections, "SETUP.INI : InstallSelect オーバー") &&
        Stop())
        return 0;
    for (int i = 0; i < SelectionCount(g_config); ++i) {
        if (!LoadSelection(i, work) && Stop())
            return 0;
    }

    if (!LoadCount("Shortcuts", &g_config.Shortcuts, kMaxShortcuts, "SETUP.INI : Shortcuts オーバー") && Stop())
        return 0;
    for (int j = 0; j < ShortcutCount(g_config); ++j) {
        if (!LoadShortcut(j, work) && Stop())
            return 0;
    }

    quietMissingKeys = true;
    if (!LoadLateKeys(work) && Stop())
        return 0;
    return g_faults == before;
}
