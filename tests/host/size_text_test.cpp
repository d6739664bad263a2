#include "common/size_text.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FormatSize, Table)
{
    struct Case {
        int64_t count;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 bytes"},
        {999, "999 bytes"},
        {1000, "0.97 KB"},
        {1023, "0.99 KB"},
        {1024, "1.00 KB"},
        {1034, "1.00 KB"},
        {1075, "1.04 KB"},
        {1076, "1.05 KB"},
        {1536, "1.50 KB"},
        {10239, "9.99 KB"},
        {10240, "10.0 KB"},
        {102399, "99.9 KB"},
        {102400, "100 KB"},
        {1048575, "1023 KB"},
        {1048576, "1.00 MB"},
        {681574400, "650 MB"},
        {1073741823, "1023 MB"},
        {4700000000LL, "4.37 GB"},
        {10737418239LL, "9.99 GB"},
        {1099511627776LL, "1.00 TB"},
        {109951162777600LL, "100 TB"},
        {1099511627776LL * 5000, "5000 TB"},
    };
    for (const Case& c : cases) {
        char out[64];
        ASSERT_EQ(FormatSize(c.count, out, sizeof out), out) << c.count;
        EXPECT_STREQ(out, c.text) << c.count;
    }
}

TEST(FormatSize, NegativeCountPrintsLow32BitsSigned)
{
    char out[64];
    FormatSize(-5, out, sizeof out);
    EXPECT_STREQ(out, "-5 bytes");
    FormatSize(-(int64_t{1} << 32) + 7, out, sizeof out);  // low 32 bits are 7
    EXPECT_STREQ(out, "7 bytes");
}

TEST(FormatSize, CapacityIncludesTerminator)
{
    char out[8];
    std::memcpy(out, "keepme!", 8);
    EXPECT_EQ(FormatSize(1024, out, 7), nullptr);
    EXPECT_STREQ(out, "keepme!");
    EXPECT_EQ(FormatSize(1024, out, 8), out);
    EXPECT_STREQ(out, "1.00 KB");
}
