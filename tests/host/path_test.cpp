// Path joins with Shift-JIS trail bytes and their capacity contract, the bounded
// text builders, and the size texts.
#include "common/path.h"
#include "common/size_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(AppendPath, OneSeparatorWhateverTheLastByteLooksLikeAndWholeOrNothing)
{
    // 255 bytes, "\" and the component, and two NULs: "ab" fills 260 bytes exactly.
    const std::string full(255, 'a'), fullJoined = full + "\\ab";
    const struct { const char* path; const char* component; const char* expected; } cases[] = {  // null: refused
        {"C:\\", "GAME", "C:\\GAME"}, {"C:", "GAME", "C:\\GAME"}, {"", "GAME", "\\GAME"},
        {"C:\\DATA", "", "C:\\DATA\\"},
        {"C:\\A", "\\B", "C:\\A\\\\B"},                      // the component is taken as it is
        {"C:\\\x95\x5C", "X", "C:\\\x95\x5C\\X"},            // 表 = 95 5C: its 5C is no separator
        {"C:\\\x83\x5C\\", "X", "C:\\\x83\x5C\\X"},          // ソ = 83 5C, then a real one
        {"C:\\\xE0\x5C", "X", "C:\\\xE0\x5C\\X"},            // a lead byte of the upper range
        {"C:\\\xB1\\", "X", "C:\\\xB1\\X"},                  // half-width ｱ is one byte
        {full.c_str(), "ab", fullJoined.c_str()}, {full.c_str(), "abc", nullptr},
        {"C:\\\x95", "X", nullptr},  // the separator would become a lone lead byte's second half
    };
    for (const auto& c : cases) {
        char buffer[kPathCapacity], before[kPathCapacity];
        std::memset(buffer, 'x', sizeof buffer);
        std::strcpy(buffer, c.path);
        std::memcpy(before, buffer, sizeof buffer);
        ASSERT_EQ(AppendPath(buffer, sizeof buffer, c.component), c.expected != nullptr) << c.path << c.component;
        if (!c.expected)
            EXPECT_EQ(std::memcmp(before, buffer, sizeof buffer), 0) << "a refused join changed the path";
        else
            EXPECT_TRUE(!std::strcmp(buffer, c.expected) && !buffer[std::strlen(buffer) + 1]) << c.expected;
    }
}

TEST(TextBuilders, WholeTextOrNothing)
{
    char out[8];
    std::size_t length = 0;
    EXPECT_EQ(AppendText(out, sizeof out, &length, "abc"), 1);
    EXPECT_EQ(AppendText(out, sizeof out, &length, "defg"), 1);  // 7 bytes and the NUL: full
    EXPECT_EQ(AppendText(out, sizeof out, &length, "h"), 0);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(CopyText(out, 4, "abcd"), 0);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(JoinTexts(out, sizeof out, {"ab", "cd", "efgh"}), 0);
    EXPECT_STREQ(out, "");  // never a cut command line
}

TEST(FormatSize, Table)
{
    const struct { int64_t count; const char* text; } cases[] = {
        {0, "0 bytes"},          {999, "999 bytes"},      {1000, "0.97 KB"},          {1023, "0.99 KB"},
        {1024, "1.00 KB"},       {1075, "1.04 KB"},       {1076, "1.05 KB"},          {10239, "9.99 KB"},
        {10240, "10.0 KB"},      {102399, "99.9 KB"},     {102400, "100 KB"},         {1048575, "1023 KB"},
        {1048576, "1.00 MB"},    {681574400, "650 MB"},   {4700000000LL, "4.37 GB"},  {10737418239LL, "9.99 GB"},
        {1099511627776LL, "1.00 TB"}, {1099511627776LL * 5000, "5000 TB"},
        {-5, "-5 bytes"},        {-(int64_t{1} << 32) + 7, "7 bytes"},  // the low 32 bits, signed
    };
    for (const auto& c : cases) {
        char out[64];
        ASSERT_EQ(FormatSize(c.count, out, sizeof out), out) << c.count;
        EXPECT_STREQ(out, c.text) << c.count;
    }
    char out[8] = "keepme!";
    EXPECT_EQ(FormatSize(1024, out, 7), nullptr);  // "1.00 KB" needs 8 bytes with its NUL
    EXPECT_STREQ(out, "keepme!");
}
