#include "uninst/uninst_logic.h"
#include "common/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ParseUninstCommandLine, Table)
{
    struct Case {
        const char* text;
        int ok;
        int silent;
        UninstMode mode;
        const char* original;
    };
    const Case cases[] = {
        {"", 1, 0, UninstMode::Start, ""},
        {"  \t ", 1, 0, UninstMode::Start, ""},
        {"/s", 1, 1, UninstMode::Start, ""},
        {"/S", 1, 1, UninstMode::Start, ""},
        {"/r \"C:\\Program Files\\Co\\Game\\UNINST.EXE\" /s", 1, 1, UninstMode::Remove,
         "C:\\Program Files\\Co\\Game\\UNINST.EXE"},
        {"/C C:\\G\\UNINST.EXE", 1, 0, UninstMode::Cleanup, "C:\\G\\UNINST.EXE"},
        {"/s /r\"C:\\G\\U.EXE\"", 1, 1, UninstMode::Remove, "C:\\G\\U.EXE"},
        {"/x", 0, 0, UninstMode::Start, ""},
        {"/", 0, 0, UninstMode::Start, ""},
        {"/ss", 0, 1, UninstMode::Start, ""},   // no run-together switches
        {"s", 0, 0, UninstMode::Start, ""},
        {"/r", 0, 0, UninstMode::Start, ""},
        {"/r \"\"", 0, 0, UninstMode::Start, ""},
        {"/r \"C:\\unterminated", 0, 0, UninstMode::Start, ""},
        {"/r a /c b", 0, 0, UninstMode::Remove, "a"},  // one hand-over role only
    };
    for (const Case& c : cases) {
        UninstOptions options;
        EXPECT_EQ(ParseUninstCommandLine(c.text, &options), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(options.silent, c.silent) << c.text;
            EXPECT_EQ(options.mode, c.mode) << c.text;
            EXPECT_STREQ(options.originalProgram, c.original) << c.text;
        }
    }
    // A path that can't fit the field is refused, not cut.
    const std::string longPath = "/r \"C:\\" + std::string(260, 'x') + "\"";
    UninstOptions options;
    EXPECT_EQ(ParseUninstCommandLine(longPath.c_str(), &options), 0);
}

TEST(SamePath, AsTheFileSystemCompares)
{
    struct Case {
        const char* a;
        const char* b;
        int same;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Co\\Game\\UNINST.EXE", "c:\\program files\\co\\game\\uninst.exe", 1},
        {"C:\\Game", "C:\\Game\\", 1},
        {"\"C:\\Game\\UNINST.EXE\"", "C:\\Game\\UNINST.EXE", 1},
        {"C:\\Game", "C:\\Game2", 0},
        {"C:\\Game\\\\", "C:\\Game", 0},  // only one final separator is ignored
        {"C:\\Game\\UNINST.EXE /x", "C:\\Game\\UNINST.EXE", 0},
        // ソ (83 5C) ends the folder: its trail byte is no separator to drop.
        {"C:\\\x83\x5C", "C:\\\x83", 0},
        // ヂ (83 61) and ア (83 41) differ only in a trail byte that looks like a letter's case.
        {"C:\\\x83\x61", "C:\\\x83\x41", 0},
        {"C:\\\x83\x61", "C:\\\x83\x61", 1},
        {"", "", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(SamePath(c.b, c.a), c.same) << c.b << " | " << c.a;
    }
}

TEST(FolderOfProgram, OnlyFoldersBelowADrive)
{
    char out[kPathCapacity];
    ASSERT_EQ(FolderOfProgram("C:\\Program Files\\Co\\Game\\UNINST.EXE", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\Program Files\\Co\\Game");
    ASSERT_EQ(FolderOfProgram("C:\\\x95\x5C\\UNINST.EXE", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\\x95\x5C");
    for (const char* refused : {"C:\\UNINST.EXE", "UNINST.EXE", "\\\\server\\share\\UNINST.EXE", "C:UNINST.EXE",
                                "\\Game\\UNINST.EXE"}) {
        EXPECT_EQ(FolderOfProgram(refused, out, sizeof out), 0) << refused;
        EXPECT_EQ(out[0], '\0') << refused;
    }
}

TEST(BuildStartMenuFolder, OneRealFolderBelowPrograms)
{
    const char programs[] = "C:\\users\\u\\Start Menu\\Programs";
    char out[kPathCapacity];
    ASSERT_EQ(BuildStartMenuFolder(programs, "Lanterna", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\users\\u\\Start Menu\\Programs\\Lanterna");
    ASSERT_EQ(BuildStartMenuFolder(programs, "\x83\x5C\x83\x74\x83\x67", out, sizeof out), 1);  // ソフト
    EXPECT_STREQ(out, "C:\\users\\u\\Start Menu\\Programs\\\x83\x5C\x83\x74\x83\x67");
    for (const char* gameDir : {"", ".", "..", " . ", "a\\b", "\\", "*", "a?", "D:x", "a/b"}) {
        EXPECT_EQ(BuildStartMenuFolder(programs, gameDir, out, sizeof out), 0) << gameDir;
        EXPECT_EQ(out[0], '\0') << gameDir;
    }
    EXPECT_EQ(BuildStartMenuFolder("", "Lanterna", out, sizeof out), 0);
    EXPECT_EQ(BuildStartMenuFolder("Programs", "Lanterna", out, sizeof out), 0);
    const std::string deep = "C:\\" + std::string(250, 'p');
    EXPECT_EQ(BuildStartMenuFolder(deep.c_str(), "Lanterna", out, sizeof out), 0);
}

TEST(FormatCopyRemovalScript, ExactLinesAndLimit)
{
    char out[1024];
    ASSERT_EQ(FormatCopyRemovalScript("C:\\T\\UNIN12\\UNINST.EXE", "C:\\T\\UNIN12", "C:\\T\\UNIN12.BAT", out,
                                      sizeof out),
              1);
    EXPECT_STREQ(out,
                 ":Loop\r\n"
                 "del \"C:\\T\\UNIN12\\UNINST.EXE\"\r\n"
                 "if exist \"C:\\T\\UNIN12\\UNINST.EXE\" goto Loop\r\n"
                 "rmdir \"C:\\T\\UNIN12\"\r\n"
                 "del \"C:\\T\\UNIN12.BAT\"\r\n");
    char small[40];
    EXPECT_EQ(FormatCopyRemovalScript("C:\\T\\UNIN12\\UNINST.EXE", "C:\\T\\UNIN12", "C:\\T\\UNIN12.BAT", small,
                                      sizeof small),
              0);
    EXPECT_EQ(small[0], '\0');
}
