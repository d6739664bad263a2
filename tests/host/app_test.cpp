// The command-line grammar.
#include "app/cmdline.h"

#include <gtest/gtest.h>

TEST(ParseCommandLine, Table)
{
    using E = CommandLineError;
    const struct { const char* text; CommandLineError error; int autoMode, selfRemove; } cases[] = {
        {" \t\"\" ", E::None, 0, 0}, {"/A", E::None, 1, 0}, {"\t/a/d\"C:\\x\"", E::None, 1, 1},
        {"/ax", E::Unexpected, 1, 0}, {"\x95\x5C", E::Unexpected, 0, 0}, {"/", E::UnknownSwitch, 0, 0},
        {"/d", E::BadRemoval, 0, 0}, {"/d \"x\"", E::BadRemoval, 0, 0},
        {"/D\"C:\\x\"/z", E::UnknownSwitch, 0, 1},  // the removal read before the error counts
        {"/a /d\"C:\\unterminated", E::BadRemoval, 1, 0},
    };
    for (const auto& c : cases) {
        CommandLineOptions options;
        EXPECT_EQ(ParseCommandLine(c.text, &options), c.error) << c.text;
        EXPECT_EQ(options.autoMode, c.autoMode) << c.text;
        EXPECT_EQ(options.selfRemove, c.selfRemove) << c.text;
    }
    // "コマンドラインオプションエラー(/d)" as Shift-JIS bytes.
    EXPECT_STREQ(CommandLineMessage(E::BadRemoval), "\x83\x52\x83\x7d\x83\x93\x83\x68\x83\x89\x83\x43\x83\x93\x83\x49"
                                                    "\x83\x76\x83\x56\x83\x87\x83\x93\x83\x47\x83\x89\x81\x5b(/d)");
}
