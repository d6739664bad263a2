// The uninstaller's decisions: which record names this program, which folders it
// may remove, and its command line.
#include "common/path.h"
#include "uninst/uninst_logic.h"

#include <gtest/gtest.h>

#include <string>

TEST(SamePath, AsTheFileSystemCompares)
{
    const struct { const char* a; const char* b; int same; } cases[] = {
        {"C:\\Program Files\\Co\\UNINST.EXE", "c:\\program files\\co\\uninst.exe", 1}, {"C:\\Game", "C:\\Game\\", 1},
        {"\"C:\\Game\\UNINST.EXE\"", "C:\\Game\\UNINST.EXE", 1},  // a hand-edited record
        {"\"C:\\Gamex", "C:\\Game", 0},  // a quote at one end only stays
        {"C:\\Game\\\\", "C:\\Game", 0},  // one final separator only
        {"C:\\\x83\x5C", "C:\\\x83", 0},  // ソ: its 5C is no separator to drop
        {"C:\\\x83\x61", "C:\\\x83\x41", 0},  // ヂ and ア differ in a trail byte that looks like a letter
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(SamePath(c.b, c.a), c.same) << c.b << " | " << c.a;
    }
}

TEST(UninstFolders, OnlyRealFoldersBelowADrive)
{
    char out[kPathCapacity];
    ASSERT_EQ(FolderOfProgram("C:\\\x95\x5C\\UNINST.EXE", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\\x95\x5C");
    for (const char* refused : {"C:\\UNINST.EXE", "UNINST.EXE", "\\\\server\\share\\UNINST.EXE", "C:UNINST.EXE"})
        EXPECT_EQ(FolderOfProgram(refused, out, sizeof out), 0) << refused;
    ASSERT_EQ(BuildStartMenuFolder("C:\\Programs", "\x83\x5C\x83\x74\x83\x67", out, sizeof out), 1);  // ソフト
    EXPECT_STREQ(out, "C:\\Programs\\\x83\x5C\x83\x74\x83\x67");
    for (const char* gameDir : {"", "..", " . ", "a\\b", "*", "a?", "D:x", "a/b"})
        EXPECT_EQ(BuildStartMenuFolder("C:\\Programs", gameDir, out, sizeof out), 0) << gameDir;
}

TEST(ParseUninstCommandLine, Table)
{
    const struct { const char* text; int ok, silent; UninstMode mode; const char* original; } cases[] = {
        {"  \t /S", 1, 1, UninstMode::Start, ""},
        {"/r \"C:\\Program Files\\UNINST.EXE\" /s", 1, 1, UninstMode::Remove, "C:\\Program Files\\UNINST.EXE"},
        {"/C C:\\G\\UNINST.EXE", 1, 0, UninstMode::Cleanup, "C:\\G\\UNINST.EXE"},
        {"/ss", 0, 0, UninstMode::Start, ""}, {"/r \"\"", 0, 0, UninstMode::Start, ""},
        {"/r \"C:\\unterminated", 0, 0, UninstMode::Start, ""},
        {"/r a /c b", 0, 0, UninstMode::Start, ""},  // one hand-over role only
    };
    for (const auto& c : cases) {
        UninstOptions options;
        ASSERT_EQ(ParseUninstCommandLine(c.text, &options), c.ok) << c.text;
        EXPECT_TRUE(!c.ok || (options.silent == c.silent && options.mode == c.mode &&
                              std::string(options.originalProgram) == c.original)) << c.text;
    }
}
