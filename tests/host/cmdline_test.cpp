#include "app/cmdline.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
struct Case {
    const char* text;
    CommandLineError error;
    int autoMode;
    int selfRemove;
};
}

TEST(ParseCommandLine, Table)
{
    using E = CommandLineError;
    const Case cases[] = {
        {"", E::None, 0, 0},
        {" \t\"\" ", E::None, 0, 0},
        {"/a", E::None, 1, 0},
        {"/A", E::None, 1, 0},
        {"\"/a\"", E::None, 1, 0},
        {"/a/d\"C:\\x\"", E::None, 1, 1},
        {"/D\"C:\\x y\" /a", E::None, 1, 1},
        {"/ax", E::Unexpected, 1, 0},
        {"-a", E::Unexpected, 0, 0},
        {"\x95\x5C", E::Unexpected, 0, 0},
        {"/", E::UnknownSwitch, 0, 0},
        {"/x", E::UnknownSwitch, 0, 0},
        {"/d", E::BadRemoval, 0, 0},
        {"/d \"x\"", E::BadRemoval, 0, 0},
        {"/dx", E::BadRemoval, 0, 0},
        {"/d\"C:\\x\"/z", E::UnknownSwitch, 0, 1},  // the removal still counts
        {"/a /d\"C:\\unterminated", E::BadRemoval, 1, 0},
    };
    for (const Case& c : cases) {
        CommandLineOptions options;
        EXPECT_EQ(ParseCommandLine(c.text, &options), c.error) << c.text;
        EXPECT_EQ(options.autoMode, c.autoMode) << c.text;
        EXPECT_EQ(options.selfRemove, c.selfRemove) << c.text;
    }
}

TEST(CommandLineMessage, ExactShiftJisBytes)
{
    // "コマンドラインオプションエラー" in Shift-JIS.
    const char prefix[] = "\x83\x52\x83\x7d\x83\x93\x83\x68\x83\x89\x83\x43\x83\x93\x83\x49\x83\x76\x83\x56"
                          "\x83\x87\x83\x93\x83\x47\x83\x89\x81\x5b";
    const std::string p(prefix);
    EXPECT_EQ(std::string(CommandLineMessage(CommandLineError::Unexpected)), p + "(1)");
    EXPECT_EQ(std::string(CommandLineMessage(CommandLineError::UnknownSwitch)), p + "(2)");
    EXPECT_EQ(std::string(CommandLineMessage(CommandLineError::BadRemoval)), p + "(/d)");
    EXPECT_EQ(CommandLineMessage(CommandLineError::None), nullptr);
}
