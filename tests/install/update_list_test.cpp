#include "install/update_list.h"

#include <gtest/gtest.h>

#include <string>

TEST(AddUpdateEntry, SelectionPrefixFiltersByInstallType)
{
    struct Case {
        const char* value;
        int selectedIndex;
        UpdateEntry expected;
        const char* path;
        const char* member;
    } cases[] = {
        {"UNINST.EXE", 0, UpdateEntry::Accepted, "UNINST.EXE", "UNINST.EXE"},
        {"UNINST.EXE", 2, UpdateEntry::Accepted, "UNINST.EXE", "UNINST.EXE"},
        {"1,DATA\\NEW.DAT", 1, UpdateEntry::Accepted, "DATA\\NEW.DAT", "NEW.DAT"},
        {"1,DATA\\NEW.DAT", 0, UpdateEntry::OtherType, nullptr, nullptr},
        {"0,NEW.DAT", 0, UpdateEntry::Accepted, "NEW.DAT", "NEW.DAT"},
        {"0,NEW.DAT", 2, UpdateEntry::OtherType, nullptr, nullptr},
        {"1,NEW.DAT", 1, UpdateEntry::Accepted, "NEW.DAT", "NEW.DAT"},
        // Only a comma in second place is a prefix.
        {"AB,C.DAT", 0, UpdateEntry::Accepted, "AB,C.DAT", "AB,C.DAT"},
        {"A,C.DAT", 0, UpdateEntry::OtherType, nullptr, nullptr},
        {"X", 0, UpdateEntry::Accepted, "X", "X"},
    };
    for (const Case& c : cases) {
        UpdateList list{};
        EXPECT_EQ(AddUpdateEntry(&list, c.value, c.selectedIndex), c.expected) << c.value;
        if (c.expected == UpdateEntry::Accepted) {
            ASSERT_EQ(list.count, 1) << c.value;
            EXPECT_STREQ(list.paths[0], c.path);
            EXPECT_STREQ(list.paths[0] + list.memberNameOffsets[0], c.member) << c.value;
        } else {
            EXPECT_EQ(list.count, 0) << c.value;
        }
    }
}

TEST(AddUpdateEntry, MemberNameStartsAfterTheLastRealBackslash)
{
    UpdateList list{};
    // 表 (95 5C) in the folder name: its 5C is a trail byte, not a separator.
    AddUpdateEntry(&list, "\x95\x5C\\A.DAT", 0);
    // A folder name ending in ソ (83 5C) directly before the real separator.
    AddUpdateEntry(&list, "2,D\x83\x5C\\SUB\\B.DAT", 2);
    // A member whose own name holds 表: no real separator at all.
    AddUpdateEntry(&list, "\x95\x5C.DAT", 0);
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(list.memberNameOffsets[0], 3u);
    EXPECT_STREQ(list.paths[1] + list.memberNameOffsets[1], "B.DAT");
    EXPECT_EQ(list.memberNameOffsets[2], 0u);

    // With a platform test that knows no lead bytes the 5C splits (the code page
    // decides, not a fixed table).
    UpdateList plain{};
    AddUpdateEntry(&plain, "\x95\x5C.DAT", 0, [](unsigned char) { return false; });
    EXPECT_EQ(plain.memberNameOffsets[0], 2u);
}

TEST(AddUpdateEntry, SixteenPlacesAtMostAndOrderKept)
{
    UpdateList list{};
    for (int i = 0; i < kMaxUpdateFiles; ++i) {
        std::string value = "F";
        value += std::to_string(i);
        ASSERT_EQ(AddUpdateEntry(&list, value.c_str(), 0), UpdateEntry::Accepted);
    }
    EXPECT_EQ(AddUpdateEntry(&list, "F16", 0), UpdateEntry::Full);
    EXPECT_EQ(list.count, kMaxUpdateFiles);
    EXPECT_STREQ(list.paths[0], "F0");
    EXPECT_STREQ(list.paths[15], "F15");
}

TEST(IsContainedPath, RefusesWhatLeavesTheInstallFolder)
{
    struct Case {
        const char* path;
        int expected;
    } cases[] = {
        {"UNINST.EXE", 1},
        {"DATA\\SUB\\NEW.DAT", 1},
        {".\\A.DAT", 1},
        {"A..B.DAT", 1},             // dots inside a name are harmless
        {"..A", 1},
        {"..", 0},
        {"..\\EVIL.EXE", 0},
        {"DATA\\..\\..\\EVIL.EXE", 0},
        {"DATA/../EVIL.EXE", 0},     // the platform takes '/' as a separator too
        {"DATA\\...\\X", 0},
        {"DATA\\. .\\X", 0},         // trailing blanks and dots are dropped by Windows
        {"DATA\\..", 0},
        {"\\WINDOWS\\X.DLL", 0},     // rooted on the current drive
        {"/WINDOWS/X.DLL", 0},
        {"\\\\server\\share\\X", 0},
        {"C:\\WINDOWS\\X.DLL", 0},
        {"C:X.DLL", 0},              // drive-relative
        {"A.DAT:stream", 0},
        // 表 (95 5C) followed by dots: the 5C is no separator, so "表.." is one name.
        {"\x95\x5C..\\A", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsContainedPath(c.path), c.expected) << c.path;
}
