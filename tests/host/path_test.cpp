#include "common/path.h"
#include "common/sjis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
// Runs AppendPath on a 260-byte buffer pre-filled with 'x' so that the second NUL is visible.
std::string Join(const char* path, const char* component, int* ok = nullptr)
{
    char buffer[kPathCapacity];
    std::memset(buffer, 'x', sizeof buffer);
    std::strcpy(buffer, path);
    const int result = AppendPath(buffer, sizeof buffer, component);
    if (ok)
        *ok = result;
    const std::size_t length = std::strlen(buffer);
    EXPECT_EQ(buffer[length + 1], '\0') << "second NUL missing after " << buffer;
    return buffer;
}
}

TEST(AppendPath, JoinsWithExactlyOneSeparator)
{
    EXPECT_EQ(Join("C:\\", "GAME"), "C:\\GAME");
    EXPECT_EQ(Join("C:", "GAME"), "C:\\GAME");
    EXPECT_EQ(Join("", "GAME"), "\\GAME");
    EXPECT_EQ(Join("C:\\DATA", ""), "C:\\DATA\\");
    EXPECT_EQ(Join("C:\\DATA\\", ""), "C:\\DATA\\");
    EXPECT_EQ(Join("C:\\A", "\\B"), "C:\\A\\\\B");  // a leading separator in the component is kept
}

TEST(AppendPath, TrailByte5CIsNotASeparator)
{
    // 表 is 95 5C: its second byte looks like a backslash.
    EXPECT_EQ(Join("C:\\\x95\x5C", "X"), "C:\\\x95\x5C\\X");
    // ソ (83 5C) followed by a real backslash: no second separator.
    EXPECT_EQ(Join("C:\\\x83\x5C\\", "X"), "C:\\\x83\x5C\\X");
    // Half-width katakana (A1-DF) are single bytes, so the 5C after one is a separator.
    EXPECT_EQ(Join("C:\\\xB1\\", "X"), "C:\\\xB1\\X");
}

TEST(AppendPath, RefusesWhatDoesNotFitAndLeavesThePathAlone)
{
    // 255 bytes + "\" + "ab" = 258 bytes of text; with two NULs that is exactly 260.
    std::string base(255, 'a');
    char buffer[kPathCapacity];
    std::memset(buffer, 'x', sizeof buffer);
    std::strcpy(buffer, base.c_str());
    ASSERT_EQ(AppendPath(buffer, sizeof buffer, "ab"), 1);
    EXPECT_EQ(std::strlen(buffer), 258u);
    EXPECT_EQ(buffer[259], '\0');

    std::memset(buffer, 'x', sizeof buffer);
    std::strcpy(buffer, base.c_str());
    char before[kPathCapacity];
    std::memcpy(before, buffer, sizeof buffer);
    EXPECT_EQ(AppendPath(buffer, sizeof buffer, "abc"), 0);
    EXPECT_EQ(std::memcmp(before, buffer, sizeof buffer), 0);
}

TEST(CopyText, FitsOrRefuses)
{
    char out[4] = "zzz";
    EXPECT_EQ(CopyText(out, sizeof out, "abcd"), 0);
    EXPECT_STREQ(out, "zzz");
    EXPECT_EQ(CopyText(out, sizeof out, "abc"), 1);
    EXPECT_STREQ(out, "abc");
}

TEST(BytesEqual, ComparesExactlyCountBytes)
{
    EXPECT_EQ(BytesEqual("http://x", "http://", 7), 1);
    EXPECT_EQ(BytesEqual("HTTP://x", "http://", 7), 0);
    EXPECT_EQ(BytesEqual("http:", "http://", 7), 0);  // shorter target: its NUL differs
    EXPECT_EQ(BytesEqual("a", "b", 0), 1);
}

TEST(MemberNameOffset, SplitsOnlyAtRealBackslashes)
{
    EXPECT_EQ(MemberNameOffset("NEW.DAT"), 0u);
    EXPECT_EQ(MemberNameOffset("DATA\\NEW.DAT"), 5u);
    // "表\NEW.DAT": 95 5C is one character, the backslash after it is the separator.
    EXPECT_EQ(MemberNameOffset("\x95\x5C\\NEW.DAT"), 3u);
    // "DATA\表": the member name is the double-byte character itself.
    EXPECT_EQ(MemberNameOffset("DATA\\\x95\x5C"), 5u);
}

TEST(AppendText, BuildsPieceByPieceAndRefusesWhatDoesNotFit)
{
    char out[8];
    std::size_t length = 0;
    ASSERT_EQ(AppendText(out, sizeof out, &length, "abc"), 1);
    ASSERT_EQ(AppendText(out, sizeof out, &length, "defg"), 1);  // 7 bytes and the NUL: full
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(AppendText(out, sizeof out, &length, "h"), 0);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(length, 7u);
}

TEST(JoinTexts, WholeTextOrNothing)
{
    char out[8];
    EXPECT_EQ(JoinTexts(out, sizeof out, {"ab", "cd", "efg"}), 1);
    EXPECT_STREQ(out, "abcdefg");
    EXPECT_EQ(JoinTexts(out, sizeof out, {"ab", "cd", "efgh"}), 0);
    EXPECT_STREQ(out, "");  // never a cut command line
}
