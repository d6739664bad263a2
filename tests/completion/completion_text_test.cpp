#include "app/completion_text.h"
#include "common/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
// Bytes that follow the text's terminator, for checking the one-item list form.
bool HasSecondNul(const char* text) { return text[std::strlen(text) + 1] == '\0'; }
}

TEST(DirectXResultMessage, EveryReportedRowHasItsExactBytes)
{
    const std::string ok = "DirectX Setup Succeeded : ";
    const std::string failed = "DirectX Setup Failed : ";
    struct Row {
        int result;
        std::string prefix;
        const char* text;  // Shift-JIS written out byte by byte
        int isError;
    };
    const Row rows[] = {
        // "DirectX のセットアップが成功しました。再起動して下さい。"
        {1, ok,
         "DirectX \x82\xcc\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76\x82\xaa\x90\xac\x8c\xf7\x82\xb5\x82\xdc"
         "\x82\xb5\x82\xbd\x81\x42\x8d\xc4\x8b\x4e\x93\xae\x82\xb5\x82\xc4\x89\xba\x82\xb3\x82\xa2\x81\x42",
         0},
        // "DirectX のセットアップが成功しました。"
        {0, ok,
         "DirectX \x82\xcc\x83\x5a\x83\x62\x83\x67\x83\x41\x83\x62\x83\x76\x82\xaa\x90\xac\x8c\xf7\x82\xb5\x82\xdc"
         "\x82\xb5\x82\xbd\x81\x42",
         0},
        // "内部エラーが発生しました。"
        {-9, failed, "\x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42",
         1},
        // "サポートされていないバージョンの OS です。"
        {-11, failed,
         "\x83\x54\x83\x7c\x81\x5b\x83\x67\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x83\x6f\x81\x5b\x83\x57"
         "\x83\x87\x83\x93\x82\xcc OS \x82\xc5\x82\xb7\x81\x42",
         1},
        // "必要な .inf ファイルが見つかりませんでした。"
        {-7, failed,
         "\x95\x4b\x97\x76\x82\xc8 .inf \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8"
         "\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42",
         1},
    };
    for (const Row& row : rows) {
        DirectXMessage message{};
        ASSERT_EQ(DirectXResultMessage(row.result, &message), 1) << row.result;
        EXPECT_EQ(message.prefix, row.prefix) << row.result;
        EXPECT_EQ(std::string(message.text), std::string(row.text)) << row.result;
        EXPECT_EQ(message.isError, row.isError) << row.result;
    }
    // The remaining failure rows share the failure prefix and the error icon.
    for (int result : {-1, -2, -5, -6, -8}) {
        DirectXMessage message{};
        ASSERT_EQ(DirectXResultMessage(result, &message), 1) << result;
        EXPECT_EQ(message.prefix, failed) << result;
        EXPECT_EQ(message.isError, 1) << result;
        EXPECT_GT(std::strlen(message.text), 10u) << result;
    }
}

TEST(DirectXResultMessage, SilentCodes)
{
    for (int result : {-3, -4, -10, -12, -1000, 2, 3, 0x7fffffff, static_cast<int>(0x80000000)}) {
        DirectXMessage message{};
        EXPECT_EQ(DirectXResultMessage(result, &message), 0) << result;
    }
}

TEST(BuildRemovalTarget, OnlyFoldersBelowAnAbsoluteDestination)
{
    struct Case {
        const char* root;
        const char* company;
        const char* game;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"C:\\Games", "Talven", "Lanterna", "C:\\Games\\Talven\\Lanterna"},
        {"d:\\", "Talven", "Lanterna", "d:\\Talven\\Lanterna"},
        {"C:\\Games\\", "", "Lanterna", "C:\\Games\\Lanterna"},
        {"C:\\\x95\x5C", "Co", "Game", "C:\\\x95\x5C\\Co\\Game"},  // 表 ends in 0x5C
        {"C:\\Games", "Co", "\x83\x5C", "C:\\Games\\Co\\\x83\x5C"},  // ソ as the game folder
        {"", "Talven", "Lanterna", nullptr},                          // abort before the destination page
        {"C:", "Talven", "Lanterna", nullptr},
        {"\\\\server\\share", "Talven", "Lanterna", nullptr},
        {"Games", "Talven", "Lanterna", nullptr},
        {"1:\\Games", "Talven", "Lanterna", nullptr},
        {"C:\\Games", "Talven", "", nullptr},                         // would delete the company folder
        {"C:\\Games", "Talven", "\\", nullptr},
        {"C:\\Games", "Talven", "..", nullptr},
        {"C:\\Games", "..", "Lanterna", nullptr},
        {"C:\\Games", "Talven", "Lanterna\\..\\..", nullptr},
        {"C:\\Games", "Talven", ". .", nullptr},
        {"C:\\Games", "Talven", "*", nullptr},
        {"C:\\Games\\*", "Talven", "Lanterna", nullptr},
        {"C:\\Games", "Talven", "Lan?", nullptr},
        {"C:\\Games", "D:", "Lanterna", nullptr},
    };
    for (const Case& c : cases) {
        char out[kPathCapacity];
        std::memset(out, 'x', sizeof out);
        const int ok = BuildRemovalTarget(c.root, c.company, c.game, out, sizeof out);
        if (c.expected) {
            ASSERT_EQ(ok, 1) << c.root << " | " << c.company << " | " << c.game;
            EXPECT_STREQ(out, c.expected);
            EXPECT_TRUE(HasSecondNul(out)) << c.expected;
        } else {
            EXPECT_EQ(ok, 0) << c.root << " | " << c.company << " | " << c.game;
            EXPECT_EQ(out[0], '\0');
        }
    }
}

TEST(BuildRemovalTarget, RefusesWhatWouldNotFit)
{
    // 3 + 251 + "\\Co" + "\\G" = 259 characters: with both NULs that needs 261 bytes.
    const std::string root = "C:\\" + std::string(251, 'a');
    char out[kPathCapacity];
    EXPECT_EQ(BuildRemovalTarget(root.c_str(), "Co", "G", out, sizeof out), 0);
    EXPECT_EQ(out[0], '\0');
    // One character less fits exactly: 258 characters and two NULs.
    const std::string shorter = "C:\\" + std::string(250, 'a');
    ASSERT_EQ(BuildRemovalTarget(shorter.c_str(), "Co", "G", out, sizeof out), 1);
    EXPECT_EQ(std::strlen(out), 258u);
}

TEST(BuildFollowUpCommandLine, QuotesTheFullArgumentPath)
{
    char out[kPathCapacity];
    ASSERT_EQ(BuildFollowUpCommandLine("notepad.exe", "C:\\Program Files\\Co\\Game", "readme.txt", out,
                                       sizeof out),
              1);
    EXPECT_STREQ(out, "notepad.exe \"C:\\Program Files\\Co\\Game\\readme.txt\"");
    ASSERT_EQ(BuildFollowUpCommandLine("C:\\x\\view.exe", "C:\\G", "doc\\a.txt", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\x\\view.exe \"C:\\G\\doc\\a.txt\"");
}

TEST(BuildFollowUpCommandLine, RefusesLinesOverTheLimit)
{
    char out[kPathCapacity];
    // program (200) + " \"" + folder 20 + "\\" + file 34 + "\"" = 258: fits.
    const std::string program(200, 'p');
    const std::string folder = "C:\\" + std::string(17, 'f');
    const std::string file(34, 'a');
    ASSERT_EQ(BuildFollowUpCommandLine(program.c_str(), folder.c_str(), file.c_str(), out, sizeof out), 1);
    EXPECT_EQ(std::strlen(out), 258u);
    // One more byte gives 259, the most a 260-byte field holds; two more are refused.
    ASSERT_EQ(BuildFollowUpCommandLine(program.c_str(), folder.c_str(), (file + "b").c_str(), out, sizeof out), 1);
    EXPECT_EQ(BuildFollowUpCommandLine(program.c_str(), folder.c_str(), (file + "bc").c_str(), out, sizeof out), 0);
    EXPECT_EQ(out[0], '\0');
    // The argument path alone beyond 259 bytes is refused before anything is written.
    const std::string longFile(300, 'z');
    EXPECT_EQ(BuildFollowUpCommandLine("a", "C:\\G", longFile.c_str(), out, sizeof out), 0);
}

TEST(BuildDirectXFolder, BesideTheProgram)
{
    char out[kPathCapacity];
    ASSERT_EQ(BuildDirectXFolder("E:\\SETUP.EXE", out, sizeof out), 1);
    EXPECT_STREQ(out, "E:\\directx");
    ASSERT_EQ(BuildDirectXFolder("C:\\Temp\\disc\\setup.exe", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\Temp\\disc\\directx");
    // The trail byte 0x5C of ソ is no separator: the cut is after the real one.
    ASSERT_EQ(BuildDirectXFolder("C:\\\x83\x5C\\\x83\x5Cx.exe", out, sizeof out), 1);
    EXPECT_STREQ(out, "C:\\\x83\x5C\\directx");
    EXPECT_EQ(BuildDirectXFolder("setup.exe", out, sizeof out), 0);
    const std::string deep = "C:\\" + std::string(252, 'd') + "\\s.exe";
    EXPECT_EQ(BuildDirectXFolder(deep.c_str(), out, sizeof out), 0);
}

TEST(FormatRemovalScript, ExactLinesAndLimit)
{
    char out[1024];
    ASSERT_EQ(FormatRemovalScript("E:\\SETUP.EXE", "C:\\WINDOWS\\DELSUP.PIF", "C:\\WINDOWS\\DELSUP.BAT", out,
                                  sizeof out),
              1);
    EXPECT_STREQ(out,
                 ":Loop\r\n"
                 "del \"E:\\SETUP.EXE\"\r\n"
                 "if exist \"E:\\SETUP.EXE\" goto Loop\r\n"
                 "del \"C:\\WINDOWS\\DELSUP.PIF\"\r\n"
                 "del \"C:\\WINDOWS\\DELSUP.BAT\"\r\n");
    // Four paths of 259 bytes can't share a 1024-byte script.
    const std::string longPath = "C:\\" + std::string(256, 'x');
    EXPECT_EQ(FormatRemovalScript(longPath.c_str(), longPath.c_str(), longPath.c_str(), out, sizeof out), 0);
    EXPECT_EQ(out[0], '\0');
}
