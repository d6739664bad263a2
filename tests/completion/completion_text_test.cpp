#include "app/completion_text.h"
#include "common/path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
