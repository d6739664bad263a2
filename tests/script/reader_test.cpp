// The SETUP.INI reader, natively with the project's profile reader (held against
// the platform's by profile_compare.cpp): each fault has one message, in Shift-JIS
// bytes, and the limits and defaults hold. The disc tool's way, every fault at
// once, is mkdisc/check_test.cpp's.
#include <string>
#include <vector>

#include "script/config.h"
#include "script/profile.h"
#include "script/reader.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::string> g_messages;

// Loads the base script with `changes` ("Key=Value" replaces or adds, "Key=" with
// nothing after it removes) as a fresh process would.
int Load(std::vector<std::string> changes)
{
    std::vector<std::string> lines = {"CompanyName=Talven", "GameTitle=LANTERNA", "GameDir=Lanterna",
                                      "GameExe=GAME.EXE", "UninstExe=UNINST.EXE", "SetupBmp=B1.BMP,B2.BMP",
                                      "InstallSelects=2", "InstallTitle0=Full", "InstallFiles0=GAME.EXE,DATA",
                                      "InstallTitle1=Small", "InstallFiles1=GAME.EXE", "InstallTitle2=Third",
                                      "InstallFiles2=C", "Shortcuts=1", "Shortcut0=GAME.EXE,Lanterna,GAME.ICO"};
    for (const std::string& change : changes) {
        const std::string key = change.substr(0, change.find('=') + 1);
        std::erase_if(lines, [&](const std::string& line) { return line.starts_with(key); });
        if (change.size() > key.size())
            lines.push_back(change);
    }
    static std::string script;
    script = "[SETUP]\r\n";
    for (const std::string& line : lines)
        script += line + "\r\n";
    SetLoadedProfile({script.data(), script.size()});
    g_config = SetupConfig{};
    quietMissingKeys = false;
    g_messages.clear();
    SetScriptErrorSink([](const char*, const char* text) { g_messages.push_back(text); });
    return LoadSetupConfig(false);
}

// "キーが存在しません", "エラー" and "オーバー" in Shift-JIS.
std::string Missing(const char* key) { return std::string("SETUP.INI : ") + key + " \x83\x4c\x81\x5b\x82\xaa\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb9\x82\xf1"; }
std::string Error(const char* key) { return std::string("SETUP.INI : ") + key + " \x83\x47\x83\x89\x81\x5b"; }
std::string Over(const char* key) { return std::string("SETUP.INI : ") + key + " \x83\x49\x81\x5b\x83\x6f\x81\x5b"; }
}

TEST(SetupReader, EachFaultHasOneMessage)
{
    const std::string item260(260, 'n');
    const struct { std::vector<std::string> changes; std::string message; } cases[] = {
        {{"CompanyName=   "}, Missing("CompanyName")}, {{"UninstExe="}, Missing("UninstExe")},
        {{"GameDir=" + item260}, Error("GameDir")},  // a cut name would install elsewhere
        {{"SetupBmp=,B1.BMP"}, Error("SetupBmps")}, {{"InstallSelects=4"}, Over("InstallSelect")},
        {{"InstallTitle1="}, Missing("InstallTitle1")}, {{"InstallFiles1=A," + item260}, Error("InstallFiles1")},
        {{"Shortcuts=11"}, Over("Shortcuts")}, {{"Shortcut0=GAME.EXE"}, Error("Shortcut0")},
        {{"ExecApp=NOTEPAD.EXE"}, Error("ExecApp")},
        // A bare disc mark would be an empty name that silently ends the list.
        {{"InstallFiles0=GAME.EXE,2:,README.TXT"}, Error("InstallFiles0")},
        {{"ExecApp=2:,README.TXT"}, Error("ExecApp")},
        // Names that would be cut are refused, past the field's size in the value too.
        {{"Shortcut0=GAME.EXE,Lanterna," + item260}, Error("Shortcut0")},
        {{"DiskCheckFile2=" + item260}, Error("DiskCheckFile2")},
        {{"InstallSelects=4", "Shortcuts="}, Over("InstallSelect")},  // the load stops at the first
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.changes), 0) << c.message;
        EXPECT_EQ(g_messages, std::vector<std::string>{c.message});
    }
}

TEST(SetupReader, LimitsAndDefaults)
{
    std::vector<std::string> many = {"InstallSelects=3", "Shortcuts=10", "SetupBmp=", "InstallFiles0=",
                                     "GameDir=" + std::string(259, 'd'), "DiskCheckFile9=" + std::string(259, 'k')};
    for (int i = 0; i < 41; ++i) {
        many[2] += (i ? ",B" : "B") + std::to_string(i);
        many[3] += (i ? ",F" : "F") + std::to_string(i);
        if (i < 9)
            many.push_back("Shortcut" + std::to_string(i) + "=T,N" + std::to_string(i));
    }
    // Three names of 259 bytes: the shortcut's value is read past the field's size.
    many.push_back("Shortcut9=" + std::string(259, 't') + ",N9," + std::string(259, 'i'));
    ASSERT_EQ(Load(many), 1);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(g_config.SetupBmpCount, 20);  // further banners are not read
    EXPECT_STREQ(g_config.selections[0].InstallFiles[39].name, "F39");
    EXPECT_STREQ(g_config.selections[1].InstallFiles[0].name, "GAME.EXE");  // the 41st reached no further
    EXPECT_STREQ(g_config.shortcutEntries[9].name, "N9");
    EXPECT_EQ(std::string(g_config.shortcutEntries[9].icon), std::string(259, 'i'));
    EXPECT_EQ(std::string(g_config.DiskCheckFile[9]), std::string(259, 'k'));
    EXPECT_EQ(std::string(g_config.GameDir).size(), 259u);
    // "ＤｉｒｅｃｔＸをインストールする" when the script says nothing.
    EXPECT_STREQ(g_config.InstallDXMessage, "\x82\x63\x82\x89\x82\x92\x82\x85\x82\x83\x82\x94\x82\x77\x82\xf0\x83\x43"
                                            "\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b\x82\xb7\x82\xe9");
    EXPECT_STREQ(g_config.GameClass, "LANTERNA");

    const struct { std::string change; int32_t defaultSelect; uint32_t directX; } rows[] = {{"DefaultSelect=1", 1, 0}, {"DefaultSelect=2", 0, 0},  // two choices in use
                {"DefaultSelect=-1", 0, 0}, {"InstallDirectX=0", 0, 0x10000}, {"InstallDirectX=2", 0, 0x10010},
                {"InstallDirectX=7", 0, 0x10018}};
    for (const auto& r : rows) {
        ASSERT_EQ(Load({r.change}), 1) << r.change;
        EXPECT_TRUE(g_config.DefaultSelect == r.defaultSelect && g_config.InstallDirectX == r.directX) << r.change;
    }
}
