// The SETUP.INI reader against scripts held in memory, read through the
// project's own profile reader (held against the platform's in
// profile_wintest.cpp). Messages are caught through the reader's error sink.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "script/config.h"
#include "script/profile.h"
#include "script/reader.h"

#include <gtest/gtest.h>

namespace {
std::string g_case;  // names the table row in a failure
std::vector<std::string> g_messages;
void Record(const char*, const char* text) { g_messages.push_back(text); }

// A line of the script: key and value, or a raw line when `value` is null.
using Line = std::pair<std::string, const char*>;

const std::vector<Line> kBase = {
    {"CompanyName", "Talven"},
    {"GameTitle", "LANTERNA"},
    {"GameDir", "Lanterna"},
    {"GameExe", "GAME.EXE"},
    {"UninstExe", "UNINST.EXE"},
    {"SetupBmp", "B1.BMP,B2.BMP"},
    {"InstallSelects", "2"},
    {"InstallTitle0", "Full"},
    {"InstallFiles0", "GAME.EXE,DATA"},
    {"InstallTitle1", "Small"},
    {"InstallFiles1", "GAME.EXE"},
    {"Shortcuts", "1"},
    {"Shortcut0", "GAME.EXE,Lanterna,GAME.ICO"},
};

constexpr const char* kRemove = "\x01remove";

// The base script with `changes` applied: a known key is replaced (or removed
// with kRemove), an unknown one appended.
std::string Script(const std::vector<Line>& changes)
{
    std::vector<Line> lines = kBase;
    for (const Line& change : changes) {
        bool replaced = false;
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (it->first == change.first) {
                if (change.second == kRemove)
                    lines.erase(it);
                else
                    it->second = change.second;
                replaced = true;
                break;
            }
        }
        if (!replaced && change.second != kRemove)
            lines.push_back(change);
    }
    std::string text = "[SETUP]\r\n";
    for (const Line& line : lines)
        text += line.first + "=" + line.second + "\r\n";
    return text;
}

std::string g_script;

void WriteScript(const std::string& text)
{
    g_script = text;
    SetLoadedProfile({g_script.data(), g_script.size()});
    SetScriptErrorSink(Record);
}

// Loads `text` as a fresh process would: empty record, quietMissingKeys false.
int Load(const std::string& text)
{
    WriteScript(text);
    g_config = SetupConfig{};
    quietMissingKeys = false;
    g_messages.clear();
    return LoadSetupConfig();
}

// Messages spelled out in Shift-JIS bytes, so that a wrong source or execution
// character set shows up here and not only on screen.
std::string Missing(const char* key)
{
    return std::string("SETUP.INI : ") + key + " \x83\x4c\x81\x5b\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1";
}
std::string Error(const char* key) { return std::string("SETUP.INI : ") + key + " \x83\x47\x83\x89\x81\x5b"; }
std::string Over(const char* key) { return std::string("SETUP.INI : ") + key + " \x83\x49\x81\x5b\x83\x6f\x81\x5b"; }

std::string Repeat(char c, int count) { return std::string(static_cast<std::size_t>(count), c); }

std::string Items(const char* stem, int count)
{
    std::string value;
    for (int i = 0; i < count; ++i) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%d", stem, i);
        if (i)
            value += ',';
        value += item;
    }
    return value;
}

TEST(SetupReader, EachFaultHasOneMessage)
{
    const std::string longItem = Repeat('n', 260);
    const std::string longBanners = "B1.BMP," + longItem;
    const std::string longFiles = "A," + longItem;
    const std::string longShortcutName = "GAME.EXE," + longItem;
    const std::string longShortcutIcon = "GAME.EXE,Lanterna," + longItem;
    const std::string longExecApp = longItem + ",README.TXT";
    struct Case {
        const char* name;
        std::vector<Line> changes;
        std::string message;
    };
    const Case cases[] = {
        {"no CompanyName", {{"CompanyName", kRemove}}, Missing("CompanyName")},
        {"empty CompanyName", {{"CompanyName", ""}}, Missing("CompanyName")},
        {"blank CompanyName", {{"CompanyName", "   "}}, Missing("CompanyName")},
        {"no GameTitle", {{"GameTitle", kRemove}}, Missing("GameTitle")},
        {"no GameDir", {{"GameDir", kRemove}}, Missing("GameDir")},
        {"no GameExe", {{"GameExe", kRemove}}, Missing("GameExe")},
        {"no UninstExe", {{"UninstExe", kRemove}}, Missing("UninstExe")},
        {"no SetupBmp", {{"SetupBmp", kRemove}}, Missing("SetupBmp")},
        {"SetupBmp without first item", {{"SetupBmp", ",B1.BMP"}}, Error("SetupBmps")},
        {"SetupBmp item too long", {{"SetupBmp", longBanners.c_str()}}, Error("SetupBmps")},
        {"no InstallSelects", {{"InstallSelects", kRemove}}, Missing("InstallSelects")},
        {"InstallSelects 4", {{"InstallSelects", "4"}}, Over("InstallSelect")},
        {"no InstallTitle1", {{"InstallTitle1", kRemove}}, Missing("InstallTitle1")},
        {"no InstallFiles0", {{"InstallFiles0", kRemove}}, Missing("InstallFiles0")},
        {"InstallFiles0 without first item", {{"InstallFiles0", ",A"}}, Error("InstallFiles0")},
        {"InstallFiles1 item too long", {{"InstallFiles1", longFiles.c_str()}}, Error("InstallFiles1")},
        {"no Shortcuts", {{"Shortcuts", kRemove}}, Missing("Shortcuts")},
        {"Shortcuts 11", {{"Shortcuts", "11"}}, Over("Shortcuts")},
        {"no Shortcut0", {{"Shortcut0", kRemove}}, Missing("Shortcut0")},
        {"Shortcut0 without name", {{"Shortcut0", "GAME.EXE"}}, Error("Shortcut0")},
        {"Shortcut0 empty target", {{"Shortcut0", ",Lanterna"}}, Error("Shortcut0")},
        {"ExecApp with one item", {{"ExecApp", "NOTEPAD.EXE"}}, Error("ExecApp")},
        // A bare disc mark would be an empty name that silently ends the list.
        {"InstallFiles0 mark only", {{"InstallFiles0", "GAME.EXE,2:,README.TXT"}}, Error("InstallFiles0")},
        {"SetupBmp mark only", {{"SetupBmp", "B1.BMP, 3:"}}, Error("SetupBmps")},
        {"Shortcut0 mark only", {{"Shortcut0", "2:,Lanterna"}}, Error("Shortcut0")},
        {"ExecApp mark only", {{"ExecApp", "2:,README.TXT"}}, Error("ExecApp")},
        // Names that would be cut are refused.
        {"Shortcut0 name too long", {{"Shortcut0", longShortcutName.c_str()}}, Error("Shortcut0")},
        {"Shortcut0 icon too long", {{"Shortcut0", longShortcutIcon.c_str()}}, Error("Shortcut0")},
        {"ExecApp program too long", {{"ExecApp", longExecApp.c_str()}}, Error("ExecApp")},
        {"DiskCheckFile2 too long", {{"DiskCheckFile2", longItem.c_str()}}, Error("DiskCheckFile2")},
        // Only the first fault is reported: the load stops there.
        {"two faults", {{"InstallSelects", "4"}, {"Shortcuts", kRemove}}, Over("InstallSelect")},
    };
    for (const Case& c : cases) {
        g_case = c.name;
        EXPECT_TRUE(Load(Script(c.changes)) == 0) << g_case;
        EXPECT_TRUE(g_messages.size() == 1) << g_case;
        if (!g_messages.empty()) {
            EXPECT_EQ(g_messages[0], c.message) << g_case;
        }
    }
}

TEST(SetupReader, ValidScriptAndDefaults)
{
    g_case = "base script";
    EXPECT_TRUE(Load(Script({})) == 1) << g_case;
    EXPECT_TRUE(g_messages.empty()) << g_case;
    EXPECT_TRUE(quietMissingKeys) << g_case;
    EXPECT_EQ(std::string(g_config.CompanyName), std::string("Talven")) << g_case;
    EXPECT_EQ(std::string(g_config.UninstExe), std::string("UNINST.EXE")) << g_case;
    EXPECT_TRUE(g_config.SetupBmpCount == 2) << g_case;
    EXPECT_EQ(std::string(g_config.SetupBmp[1]), std::string("B2.BMP")) << g_case;
    EXPECT_TRUE(g_config.InstallSelects == 2) << g_case;
    EXPECT_EQ(std::string(g_config.selections[1].InstallTitle), std::string("Small")) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[1].name), std::string("DATA")) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[2].name), std::string("")) << g_case;
    EXPECT_TRUE(!g_config.selections[0].usesOtherDiscs) << g_case;
    EXPECT_EQ(std::string(g_config.shortcutEntries[0].icon), std::string("GAME.ICO")) << g_case;
    // Defaults of the optional keys, none of them reported.
    EXPECT_EQ(std::string(g_config.GameClass), std::string("LANTERNA")) << g_case;
    EXPECT_TRUE(g_config.DefaultSelect == 0) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallSize == 0) << g_case;
    for (int i = 0; i < kMaxDiscs; ++i)
        EXPECT_TRUE(g_config.DiskCheckFile[i][0] == '\0') << g_case;
    EXPECT_TRUE(g_config.ExecApp.program[0] == '\0') << g_case;
    EXPECT_TRUE(g_config.InstallDirectX == 0) << g_case;
    EXPECT_EQ(std::string(g_config.InstallDXMessage), std::string("\x82\x63\x82\x89\x82\x92\x82\x85\x82\x83\x82\x94\x82\x77"
                                          "\x82\xf0\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb7\x82\xe9")) << g_case;
    EXPECT_EQ(std::string(g_config.SelectSetupMessage), std::string("\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x95\xfb\x96\x40"
                                            "\x82\xf0\x91\x49\x91\xf0\x82\xb5\x82\xc4\x89\xba\x82\xb3\x82\xa2")) << g_case;
    EXPECT_TRUE(g_config.AdditionalUninstallFilesCount == 0) << g_case;

    g_case = "optional keys given";
    EXPECT_TRUE(Load(Script({{"GameClass", "LanternaWnd"},
                       {"DefaultSelect", "1"},
                       {"InstallSize0", "5000000000"},
                       {"InstallSize1", "-1"},
                       {"DiskCheckFile1", "DISK1.CHK"},
                       {"DiskCheckFile3", "DISK3.CHK"},
                       {"ExecApp", "README.EXE,README.TXT,IGNORED"},
                       {"InstallDXMessage", "DX?"},
                       {"SelectSetupMessage", "Which?"},
                       {"AdditionalUninstallFiles", "SAVE\\A.DAT, SAVE\\B.DAT"}})) == 1) << g_case;
    EXPECT_TRUE(g_messages.empty()) << g_case;
    EXPECT_EQ(std::string(g_config.GameClass), std::string("LanternaWnd")) << g_case;
    EXPECT_TRUE(g_config.DefaultSelect == 1) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallSize == 5000000000ull) << g_case;
    EXPECT_TRUE(g_config.selections[1].InstallSize == UINT64_MAX) << g_case;
    EXPECT_TRUE(g_config.DiskCheckFile[0][0] == '\0') << g_case;
    EXPECT_EQ(std::string(g_config.DiskCheckFile[1]), std::string("DISK1.CHK")) << g_case;
    EXPECT_TRUE(g_config.DiskCheckFile[2][0] == '\0') << g_case;
    EXPECT_EQ(std::string(g_config.DiskCheckFile[3]), std::string("DISK3.CHK")) << g_case;
    EXPECT_EQ(std::string(g_config.ExecApp.program), std::string("README.EXE")) << g_case;
    EXPECT_EQ(std::string(g_config.ExecApp.argumentFile), std::string("README.TXT")) << g_case;
    EXPECT_EQ(std::string(g_config.InstallDXMessage), std::string("DX?")) << g_case;
    EXPECT_EQ(std::string(g_config.SelectSetupMessage), std::string("Which?")) << g_case;
    EXPECT_TRUE(g_config.AdditionalUninstallFilesCount == 2) << g_case;
    EXPECT_EQ(std::string(g_config.AdditionalUninstallFiles[1]), std::string("SAVE\\B.DAT")) << g_case;

    // A DefaultSelect naming no choice in use falls back to the first.
    const struct {
        const char* value;
        const char* selects;
        int32_t expected;
    } defaults[] = {{"2", "2", 0}, {"-1", "2", 0}, {"99999999999", "2", 0}, {"2", "3", 2}, {"1", "0", 0}};
    for (const auto& d : defaults) {
        g_case = std::string("DefaultSelect ") + d.value + " of " + d.selects;
        EXPECT_TRUE(Load(Script({{"InstallSelects", d.selects},
                           {"InstallTitle2", "Third"},
                           {"InstallFiles2", "X"},
                           {"DefaultSelect", d.value}})) == 1) << g_case;
        EXPECT_TRUE(g_config.DefaultSelect == d.expected) << g_case;
    }

    const struct {
        const char* value;
        uint32_t flags;
    } directX[] = {{"0", 0x10000}, {"1", 0x10008}, {"2", 0x10010}, {"3", 0x10018}, {"7", 0x10018}, {"x", 0x10000}};
    for (const auto& d : directX) {
        g_case = std::string("InstallDirectX=") + d.value;
        EXPECT_TRUE(Load(Script({{"InstallDirectX", d.value}})) == 1) << g_case;
        EXPECT_TRUE(g_config.InstallDirectX == d.flags) << g_case;
    }

    g_case = "no choices, no shortcuts";
    EXPECT_TRUE(Load(Script({{"InstallSelects", "0"}, {"InstallTitle0", kRemove}, {"InstallFiles0", kRemove},
                       {"Shortcuts", "-3"}, {"Shortcut0", kRemove}, {"InstallSize0", "77"}})) == 1) << g_case;
    EXPECT_TRUE(g_messages.empty()) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallTitle[0] == '\0') << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallSize == 0) << g_case;  // no choice, so its size is not read
    EXPECT_TRUE(g_config.shortcutEntries[0].target[0] == '\0') << g_case;
}

TEST(SetupReader, Limits)
{
    g_case = "three choices";
    EXPECT_TRUE(Load(Script({{"InstallSelects", "3"}, {"InstallTitle2", "Third"}, {"InstallFiles2", "C"}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.selections[2].InstallFiles[0].name), std::string("C")) << g_case;

    g_case = "ten shortcuts";
    std::vector<Line> shortcuts = {{"Shortcuts", "10"}};
    char values[10][16];
    for (int j = 0; j < 10; ++j) {
        std::snprintf(values[j], sizeof values[j], "T%d,N%d", j, j);
        shortcuts.push_back({"Shortcut" + std::to_string(j), values[j]});
    }
    EXPECT_TRUE(Load(Script(shortcuts)) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.shortcutEntries[9].name), std::string("N9")) << g_case;
    EXPECT_TRUE(g_config.shortcutEntries[9].icon[0] == '\0') << g_case;

    g_case = "41 files";
    const std::string files = Items("F", 41);
    EXPECT_TRUE(Load(Script({{"InstallFiles0", files.c_str()}})) == 1) << g_case;
    EXPECT_TRUE(g_messages.empty()) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[39].name), std::string("F39")) << g_case;
    EXPECT_EQ(std::string(g_config.selections[1].InstallFiles[0].name), std::string("GAME.EXE")) << g_case;  // the next choice is untouched

    g_case = "40 files";
    const std::string forty = Items("F", 40);
    EXPECT_TRUE(Load(Script({{"InstallFiles0", forty.c_str()}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[39].name), std::string("F39")) << g_case;

    g_case = "21 banners";
    const std::string banners = Items("B", 21);
    EXPECT_TRUE(Load(Script({{"SetupBmp", banners.c_str()}})) == 1) << g_case;
    EXPECT_TRUE(g_config.SetupBmpCount == 20) << g_case;
    EXPECT_EQ(std::string(g_config.SetupBmp[19]), std::string("B19")) << g_case;

    g_case = "259-byte item";
    const std::string fits = Repeat('f', 259);
    EXPECT_TRUE(Load(Script({{"InstallFiles1", fits.c_str()}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.selections[1].InstallFiles[0].name), std::string(fits)) << g_case;

    g_case = "259-byte folder name";
    const std::string longestDir = Repeat('d', 259);
    EXPECT_TRUE(Load(Script({{"GameDir", longestDir.c_str()}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.GameDir), longestDir) << g_case;

    // A cut name would install into another folder than the script names.
    g_case = "260-byte folder name is refused";
    const std::string longDir = Repeat('d', 260);
    EXPECT_TRUE(Load(Script({{"GameDir", longDir.c_str()}})) == 0) << g_case;
    EXPECT_TRUE(g_messages.size() == 1 && g_messages[0] == Error("GameDir")) << g_case;
}

TEST(SetupReader, ListsAndQuoting)
{
    g_case = "disc marks";
    EXPECT_TRUE(Load(Script({{"InstallFiles0", "A,B,2:C,D,1:E"}, {"InstallFiles1", "X"}})) == 1) << g_case;
    const int discs[] = {0, 0, 2, 2, 1};
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(g_config.selections[0].InstallFiles[k].disc == discs[k]) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[2].name), std::string("C")) << g_case;
    EXPECT_TRUE(g_config.selections[0].usesOtherDiscs) << g_case;
    EXPECT_TRUE(!g_config.selections[1].usesOtherDiscs) << g_case;  // the disc number restarts at 0 per list
    EXPECT_TRUE(g_config.selections[1].InstallFiles[0].disc == 0) << g_case;

    g_case = "empty item ends the list";
    EXPECT_TRUE(Load(Script({{"InstallFiles0", "A,,B"}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[0].name), std::string("A")) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallFiles[1].name[0] == '\0') << g_case;

    g_case = "drive letter taken as a mark";
    EXPECT_TRUE(Load(Script({{"Shortcut0", "C:\\GAME\\X.EXE,Game"}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.shortcutEntries[0].target), std::string("\\GAME\\X.EXE")) << g_case;
    EXPECT_TRUE(g_config.shortcutEntries[0].icon[0] == '\0') << g_case;

    g_case = "Shift-JIS names";
    // 表示 (95 5C 8E A6) and ソフト (83 5C 83 74 83 67): the trail bytes 5C
    // separate nothing.
    EXPECT_TRUE(Load(Script({{"InstallFiles0", "\x95\x5C\x8E\xA6\\A.DAT,\x83\x5C\x83\x74\x83\x67"}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[0].name), std::string("\x95\x5C\x8E\xA6\\A.DAT")) << g_case;
    EXPECT_EQ(std::string(g_config.selections[0].InstallFiles[1].name), std::string("\x83\x5C\x83\x74\x83\x67")) << g_case;

    g_case = "259-byte names in a shortcut and a disc-check file";
    const std::string fits = Repeat('s', 259);
    const std::string shortcut = fits + "," + fits + "," + fits;
    EXPECT_TRUE(Load(Script({{"Shortcut0", shortcut.c_str()}, {"DiskCheckFile9", fits.c_str()}})) == 1) << g_case;
    EXPECT_EQ(std::string(g_config.shortcutEntries[0].icon), fits) << g_case;
    EXPECT_EQ(std::string(g_config.DiskCheckFile[9]), fits) << g_case;
}

TEST(SetupReader, ProfileKeyAndQuietFlag)
{
    g_case = "ReadProfileKey";
    WriteScript("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\nEmpty=\r\n");
    char value[260];
    std::memset(value, 'x', sizeof value);
    quietMissingKeys = false;
    g_messages.clear();
    EXPECT_TRUE(ReadProfileKey("UPDATE", "UpdateFile00", value, sizeof value, "UPDATE.INI") == 1) << g_case;
    EXPECT_EQ(std::string(value), std::string("UNINST.EXE")) << g_case;
    EXPECT_TRUE(value[259] == '\0') << g_case;  // zeroed over the whole capacity
    EXPECT_TRUE(ReadProfileKey("UPDATE", "UpdateFile01", value, sizeof value, "UPDATE.INI") == 0) << g_case;
    EXPECT_TRUE(value[0] == '\0') << g_case;
    EXPECT_TRUE(g_messages.size() == 1) << g_case;
    if (!g_messages.empty()) {
        EXPECT_EQ(std::string(g_messages[0]), std::string("UPDATE : UpdateFile01 \x83\x4c\x81\x5b\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1")) << g_case;
    }
    quietMissingKeys = true;
    g_messages.clear();
    EXPECT_TRUE(ReadProfileKey("UPDATE", "Empty", value, sizeof value, "UPDATE.INI") == 0) << g_case;
    EXPECT_TRUE(g_messages.empty()) << g_case;

    g_case = "ReadSetupInt keeps its output on failure";
    WriteScript("[SETUP]\r\nN=  -12abc\r\nBig=123456789012345678901234\r\n");
    int32_t number = 77;
    EXPECT_TRUE(ReadSetupInt("Missing", &number) == 0) << g_case;
    EXPECT_TRUE(number == 77) << g_case;
    EXPECT_TRUE(ReadSetupInt("N", &number) == 1) << g_case;
    EXPECT_TRUE(number == -12) << g_case;
    // 19 bytes are read: 1234567890123456789 still saturates.
    EXPECT_TRUE(ReadSetupInt("Big", &number) == 1) << g_case;
    EXPECT_TRUE(number == INT32_MAX) << g_case;
    char buffer[kNumberCapacity];
    EXPECT_TRUE(HasSetupKey("Big", buffer) == 1) << g_case;
    EXPECT_EQ(std::string(buffer), std::string("1234567890123456789")) << g_case;
}
}
