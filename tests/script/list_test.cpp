#include "script/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
struct Item {
    std::string text;
    int disc;
};

// Splits `value` the way the reader does and records each item with the disc
// number in force when it was taken.
std::vector<Item> Split(const char* value, std::size_t capacity = 260)
{
    std::vector<Item> items;
    currentDisc = 0;
    const char* cursor = value;
    std::vector<char> out(capacity ? capacity : 1);
    for (int guard = 0; guard < 100; ++guard) {
        const ListItem result = NextListItem(out.data(), capacity, &cursor);
        if (result != ListItem::Taken)
            break;
        items.push_back({out.data(), currentDisc});
    }
    return items;
}

struct SplitCase {
    const char* value;
    std::vector<Item> expected;
};
}

TEST(NextListItem, SplitsLikeTheReader)
{
    const SplitCase cases[] = {
        {"A", {{"A", 0}}},
        {"", {}},
        {"A,B,2:C,D,1:E", {{"A", 0}, {"B", 0}, {"C", 2}, {"D", 2}, {"E", 1}}},
        {"A,,B", {{"A", 0}}},             // an empty item ends the list
        {",A", {}},
        {"A ,B", {{"A ", 0}, {"B", 0}}},  // trailing spaces stay, leading ones go
        {"  A,   B  ", {{"A", 0}, {"B  ", 0}}},
        {"\tA", {{"\tA", 0}}},            // only byte 32 is skipped
        {"C:\\GAME\\X.EXE", {{"\\GAME\\X.EXE", 0}}},  // a letter mark gives disc 0
        {"3: DATA", {{" DATA", 3}}},      // spaces after the colon belong to the item
        {"2:,B", {{"", 2}, {"B", 2}}},    // a bare mark is an empty item that counts
        {"2:", {{"", 2}}},
        {"A\r\nB", {{"A", 0}}},           // CR then LF: the LF is an empty item
        {"A\nB", {{"A", 0}, {"B", 0}}},
        {"A,B,", {{"A", 0}, {"B", 0}}},
        {"::X", {{"X", 0}}},
        {"9:A,0:B", {{"A", 9}, {"B", 0}}},
        // Shift-JIS: 表 is 95 5C and ソ is 83 5C; neither trail byte separates.
        {"\x95\x5C\x8E\xA6,\x83\x5C\x83\x74\x83\x67", {{"\x95\x5C\x8E\xA6", 0}, {"\x83\x5C\x83\x74\x83\x67", 0}}},
    };
    for (const SplitCase& c : cases) {
        const std::vector<Item> items = Split(c.value);
        ASSERT_EQ(items.size(), c.expected.size()) << "value: " << c.value;
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].text, c.expected[i].text) << "value: " << c.value << " item " << i;
            EXPECT_EQ(items[i].disc, c.expected[i].disc) << "value: " << c.value << " item " << i;
        }
    }
}

TEST(NextListItem, StaysAtTheEndOnceReached)
{
    const char value[] = "A\0B";  // bytes after the NUL are not part of the value
    const char* cursor = value;
    char out[8];
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::Taken);
    EXPECT_EQ(cursor, value + 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::None);
        EXPECT_EQ(cursor, value + 1);
    }
}

TEST(NextListItem, RefusesAnItemThatDoesNotFit)
{
    // Capacity 4 holds three bytes of text.
    const char value[] = "ABC,ABCD,E";
    const char* cursor = value;
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::Taken);
    EXPECT_STREQ(out, "ABC");
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::TooLong);
    EXPECT_STREQ(out, "");
    // The disc mark does not count against the capacity.
    currentDisc = 0;
    cursor = "5:ABC";
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::Taken);
    EXPECT_STREQ(out, "ABC");
    EXPECT_EQ(currentDisc, 5);

    // A 259-byte item fits the system's 260-byte fields; 260 bytes do not.
    std::string fits(259, 'n');
    std::string tooLong(260, 'n');
    EXPECT_EQ(Split(fits.c_str()).size(), 1u);
    cursor = tooLong.c_str();
    char field[260];
    EXPECT_EQ(NextListItem(field, sizeof field, &cursor), ListItem::TooLong);
}

TEST(IsListSeparator, ExactlyFourBytes)
{
    for (int c = 0; c < 256; ++c) {
        const bool expected = c == 0 || c == 10 || c == 13 || c == 44;
        EXPECT_EQ(IsListSeparator(static_cast<unsigned char>(c)), expected) << c;
    }
}
