// The SETUP.INI reader against scripts written to a temporary folder, read through
// the platform's profile reader (under Wine in the test run). Messages are caught
// through the reader's error sink instead of message boxes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/session.h"
#include "script/config.h"
#include "script/reader.h"
#include "tests/script/wincheck.h"

namespace {
std::vector<std::string> g_messages;
void Record(const char* text) { g_messages.push_back(text); }

char g_folder[MAX_PATH];
int g_fileNumber = 0;

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

// Each script gets a file of its own: the platform caches profile files and may
// not notice a rewrite within the same second.
void WriteScript(const std::string& text)
{
    std::snprintf(g_session.scriptPath, sizeof g_session.scriptPath, "%s\\S%04d.INI", g_folder, ++g_fileNumber);
    FILE* file = std::fopen(g_session.scriptPath, "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
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

void TestEachFaultHasOneMessage()
{
    const std::string longItem = Repeat('n', 260);
    const std::string longBanners = "B1.BMP," + longItem;
    const std::string longFiles = "A," + longItem;
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
        // Only the first fault is reported: the load stops there.
        {"two faults", {{"InstallSelects", "4"}, {"Shortcuts", kRemove}}, Over("InstallSelect")},
    };
    for (const Case& c : cases) {
        g_case = c.name;
        CHECK(Load(Script(c.changes)) == 0);
        CHECK(g_messages.size() == 1);
        if (!g_messages.empty())
            CHECK_TEXT(g_messages[0], c.message);
    }
}

void TestValidScriptAndDefaults()
{
    g_case = "base script";
    CHECK(Load(Script({})) == 1);
    CHECK(g_messages.empty());
    CHECK(quietMissingKeys);
    CHECK_TEXT(g_config.CompanyName, "Talven");
    CHECK_TEXT(g_config.UninstExe, "UNINST.EXE");
    CHECK(g_config.SetupBmpCount == 2);
    CHECK_TEXT(g_config.SetupBmp[1], "B2.BMP");
    CHECK(g_config.InstallSelects == 2);
    CHECK_TEXT(g_config.selections[1].InstallTitle, "Small");
    CHECK_TEXT(g_config.selections[0].InstallFiles[1].name, "DATA");
    CHECK_TEXT(g_config.selections[0].InstallFiles[2].name, "");
    CHECK(!g_config.selections[0].usesOtherDiscs);
    CHECK_TEXT(g_config.shortcutEntries[0].icon, "GAME.ICO");
    // Defaults of the optional keys, none of them reported.
    CHECK_TEXT(g_config.GameClass, "LANTERNA");
    CHECK(g_config.DefaultSelect == 0);
    CHECK(g_config.selections[0].InstallSize == 0);
    for (int i = 0; i < kMaxDiscs; ++i)
        CHECK(g_config.DiskCheckFile[i][0] == '\0');
    CHECK(g_config.ExecApp.program[0] == '\0');
    CHECK(g_config.InstallDirectX == 0);
    CHECK_TEXT(g_config.InstallDXMessage, "\x82\x63\x82\x89\x82\x92\x82\x85\x82\x83\x82\x94\x82\x77"
                                          "\x82\xf0\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb7\x82\xe9");
    CHECK_TEXT(g_config.SelectSetupMessage, "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x95\xfb\x96\x40"
                                            "\x82\xf0\x91\x49\x91\xf0\x82\xb5\x82\xc4\x89\xba\x82\xb3\x82\xa2");
    CHECK(g_config.AdditionalUninstallFilesCount == 0);

    g_case = "optional keys given";
    CHECK(Load(Script({{"GameClass", "LanternaWnd"},
                       {"DefaultSelect", "1"},
                       {"InstallSize0", "5000000000"},
                       {"InstallSize1", "-1"},
                       {"DiskCheckFile1", "DISK1.CHK"},
                       {"DiskCheckFile3", "DISK3.CHK"},
                       {"ExecApp", "README.EXE,README.TXT,IGNORED"},
                       {"InstallDXMessage", "DX?"},
                       {"SelectSetupMessage", "Which?"},
                       {"AdditionalUninstallFiles", "SAVE\\A.DAT, SAVE\\B.DAT"}})) == 1);
    CHECK(g_messages.empty());
    CHECK_TEXT(g_config.GameClass, "LanternaWnd");
    CHECK(g_config.DefaultSelect == 1);
    CHECK(g_config.selections[0].InstallSize == 5000000000ull);
    CHECK(g_config.selections[1].InstallSize == UINT64_MAX);
    CHECK(g_config.DiskCheckFile[0][0] == '\0');
    CHECK_TEXT(g_config.DiskCheckFile[1], "DISK1.CHK");
    CHECK(g_config.DiskCheckFile[2][0] == '\0');
    CHECK_TEXT(g_config.DiskCheckFile[3], "DISK3.CHK");
    CHECK_TEXT(g_config.ExecApp.program, "README.EXE");
    CHECK_TEXT(g_config.ExecApp.argumentFile, "README.TXT");
    CHECK_TEXT(g_config.InstallDXMessage, "DX?");
    CHECK_TEXT(g_config.SelectSetupMessage, "Which?");
    CHECK(g_config.AdditionalUninstallFilesCount == 2);
    CHECK_TEXT(g_config.AdditionalUninstallFiles[1], "SAVE\\B.DAT");

    // A DefaultSelect naming no choice in use falls back to the first.
    const struct {
        const char* value;
        const char* selects;
        int32_t expected;
    } defaults[] = {{"2", "2", 0}, {"-1", "2", 0}, {"99999999999", "2", 0}, {"2", "3", 2}, {"1", "0", 0}};
    for (const auto& d : defaults) {
        g_case = std::string("DefaultSelect ") + d.value + " of " + d.selects;
        CHECK(Load(Script({{"InstallSelects", d.selects},
                           {"InstallTitle2", "Third"},
                           {"InstallFiles2", "X"},
                           {"DefaultSelect", d.value}})) == 1);
        CHECK(g_config.DefaultSelect == d.expected);
    }

    const struct {
        const char* value;
        uint32_t flags;
    } directX[] = {{"0", 0x10000}, {"1", 0x10008}, {"2", 0x10010}, {"3", 0x10018}, {"7", 0x10018}, {"x", 0x10000}};
    for (const auto& d : directX) {
        g_case = std::string("InstallDirectX=") + d.value;
        CHECK(Load(Script({{"InstallDirectX", d.value}})) == 1);
        CHECK(g_config.InstallDirectX == d.flags);
    }

    g_case = "no choices, no shortcuts";
    CHECK(Load(Script({{"InstallSelects", "0"}, {"InstallTitle0", kRemove}, {"InstallFiles0", kRemove},
                       {"Shortcuts", "-3"}, {"Shortcut0", kRemove}, {"InstallSize0", "77"}})) == 1);
    CHECK(g_messages.empty());
    CHECK(g_config.selections[0].InstallTitle[0] == '\0');
    CHECK(g_config.selections[0].InstallSize == 0);  // no choice, so its size is not read
    CHECK(g_config.shortcutEntries[0].target[0] == '\0');
}

void TestLimits()
{
    g_case = "three choices";
    CHECK(Load(Script({{"InstallSelects", "3"}, {"InstallTitle2", "Third"}, {"InstallFiles2", "C"}})) == 1);
    CHECK_TEXT(g_config.selections[2].InstallFiles[0].name, "C");

    g_case = "ten shortcuts";
    std::vector<Line> shortcuts = {{"Shortcuts", "10"}};
    char values[10][16];
    for (int j = 0; j < 10; ++j) {
        std::snprintf(values[j], sizeof values[j], "T%d,N%d", j, j);
        shortcuts.push_back({"Shortcut" + std::to_string(j), values[j]});
    }
    CHECK(Load(Script(shortcuts)) == 1);
    CHECK_TEXT(g_config.shortcutEntries[9].name, "N9");
    CHECK(g_config.shortcutEntries[9].icon[0] == '\0');

    g_case = "41 files";
    const std::string files = Items("F", 41);
    CHECK(Load(Script({{"InstallFiles0", files.c_str()}})) == 1);
    CHECK(g_messages.empty());
    CHECK_TEXT(g_config.selections[0].InstallFiles[39].name, "F39");
    CHECK_TEXT(g_config.selections[1].InstallFiles[0].name, "GAME.EXE");  // the next choice is untouched

    g_case = "40 files";
    const std::string forty = Items("F", 40);
    CHECK(Load(Script({{"InstallFiles0", forty.c_str()}})) == 1);
    CHECK_TEXT(g_config.selections[0].InstallFiles[39].name, "F39");

    g_case = "21 banners";
    const std::string banners = Items("B", 21);
    CHECK(Load(Script({{"SetupBmp", banners.c_str()}})) == 1);
    CHECK(g_config.SetupBmpCount == 20);
    CHECK_TEXT(g_config.SetupBmp[19], "B19");

    g_case = "259-byte item";
    const std::string fits = Repeat('f', 259);
    CHECK(Load(Script({{"InstallFiles1", fits.c_str()}})) == 1);
    CHECK_TEXT(g_config.selections[1].InstallFiles[0].name, fits);

    g_case = "long value is cut by the profile reader";
    const std::string longDir = Repeat('d', 300);
    CHECK(Load(Script({{"GameDir", longDir.c_str()}})) == 1);
    CHECK(std::strlen(g_config.GameDir) == 259);
}

void TestListsAndQuoting()
{
    g_case = "disc marks";
    CHECK(Load(Script({{"InstallFiles0", "A,B,2:C,D,1:E"}, {"InstallFiles1", "X"}})) == 1);
    const int discs[] = {0, 0, 2, 2, 1};
    for (int k = 0; k < 5; ++k)
        CHECK(g_config.selections[0].InstallFiles[k].disc == discs[k]);
    CHECK_TEXT(g_config.selections[0].InstallFiles[2].name, "C");
    CHECK(g_config.selections[0].usesOtherDiscs);
    CHECK(!g_config.selections[1].usesOtherDiscs);  // the disc number restarts at 0 per list
    CHECK(g_config.selections[1].InstallFiles[0].disc == 0);

    g_case = "empty item ends the list";
    CHECK(Load(Script({{"InstallFiles0", "A,,B"}})) == 1);
    CHECK_TEXT(g_config.selections[0].InstallFiles[0].name, "A");
    CHECK(g_config.selections[0].InstallFiles[1].name[0] == '\0');

    g_case = "drive letter taken as a mark";
    CHECK(Load(Script({{"Shortcut0", "C:\\GAME\\X.EXE,Game"}})) == 1);
    CHECK_TEXT(g_config.shortcutEntries[0].target, "\\GAME\\X.EXE");
    CHECK(g_config.shortcutEntries[0].icon[0] == '\0');

    g_case = "trailing spaces stay";
    CHECK(Load(Script({{"SetupBmp", "A ,B"}})) == 1);
    CHECK_TEXT(g_config.SetupBmp[0], "A ");
    CHECK_TEXT(g_config.SetupBmp[1], "B");

    g_case = "Shift-JIS names";
    // 表示 (95 5C 8E A6) and ソフト (83 5C 83 74 83 67): trail bytes 5C are not separators.
    CHECK(Load(Script({{"InstallFiles0", "\x95\x5C\x8E\xA6\\A.DAT,\x83\x5C\x83\x74\x83\x67"}})) == 1);
    CHECK_TEXT(g_config.selections[0].InstallFiles[0].name, "\x95\x5C\x8E\xA6\\A.DAT");
    CHECK_TEXT(g_config.selections[0].InstallFiles[1].name, "\x83\x5C\x83\x74\x83\x67");

    // The profile reader drops blanks around the value and one pair of matching quotes.
    const struct {
        const char* value;
        const char* expected;
    } quoting[] = {
        {"  Talven  ", "Talven"},
        {"\"Talven\"", "Talven"},
        {"'Talven'", "Talven"},
        {"\" Tal ven \"", " Tal ven "},
        {"\"Talven", "\"Talven"},
        {"Tal\"ven\"", "Tal\"ven\""},
    };
    for (const auto& q : quoting) {
        g_case = std::string("quoting ") + q.value;
        CHECK(Load(Script({{"CompanyName", q.value}})) == 1);
        CHECK_TEXT(g_config.CompanyName, q.expected);
    }

    g_case = "empty quotes read as absent";
    CHECK(Load(Script({{"GameDir", "\"\""}})) == 0);
    CHECK(g_messages.size() == 1);

    g_case = "key and section names ignore case";
    CHECK(Load("[setup]\r\ncompanyname=T\r\nGAMETITLE=LANTERNA\r\nGameDir=D\r\nGameExe=G\r\nUninstExe=U\r\n"
               "SetupBmp=B\r\nInstallSelects=0\r\nShortcuts=0\r\n") == 1);
    CHECK_TEXT(g_config.CompanyName, "T");
}

void TestProfileKeyAndQuietFlag()
{
    g_case = "ReadProfileKey";
    WriteScript("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\nEmpty=\r\n");
    char value[260];
    std::memset(value, 'x', sizeof value);
    quietMissingKeys = false;
    g_messages.clear();
    CHECK(ReadProfileKey("UPDATE", "UpdateFile00", value, sizeof value, g_session.scriptPath) == 1);
    CHECK_TEXT(value, "UNINST.EXE");
    CHECK(value[259] == '\0');  // zeroed over the whole capacity
    CHECK(ReadProfileKey("UPDATE", "UpdateFile01", value, sizeof value, g_session.scriptPath) == 0);
    CHECK(value[0] == '\0');
    CHECK(g_messages.size() == 1);
    if (!g_messages.empty())
        CHECK_TEXT(g_messages[0], "UPDATE : UpdateFile01 \x83\x4c\x81\x5b\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1");
    quietMissingKeys = true;
    g_messages.clear();
    CHECK(ReadProfileKey("UPDATE", "Empty", value, sizeof value, g_session.scriptPath) == 0);
    CHECK(g_messages.empty());

    g_case = "ReadSetupInt keeps its output on failure";
    WriteScript("[SETUP]\r\nN=  -12abc\r\nBig=123456789012345678901234\r\n");
    int32_t number = 77;
    CHECK(ReadSetupInt("Missing", &number) == 0);
    CHECK(number == 77);
    CHECK(ReadSetupInt("N", &number) == 1);
    CHECK(number == -12);
    // 19 bytes are read: 1234567890123456789 still saturates.
    CHECK(ReadSetupInt("Big", &number) == 1);
    CHECK(number == INT32_MAX);
    char buffer[kNumberCapacity];
    CHECK(HasSetupKey("Big", buffer) == 1);
    CHECK_TEXT(buffer, "1234567890123456789");
}
}

int main()
{
    SetScriptErrorSink(Record);
    DWORD length = GetTempPathA(sizeof g_folder, g_folder);
    if (length == 0 || length > sizeof g_folder - 32)
        return 2;
    std::snprintf(g_folder + length, sizeof g_folder - length, "script_reader_%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    CreateDirectoryA(g_folder, nullptr);

    TestEachFaultHasOneMessage();
    TestValidScriptAndDefaults();
    TestLimits();
    TestListsAndQuoting();
    TestProfileKeyAndQuietFlag();

    for (int i = 1; i <= g_fileNumber; ++i) {
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%s\\S%04d.INI", g_folder, i);
        DeleteFileA(path);
    }
    RemoveDirectoryA(g_folder);
    return FinishChecks();
}
