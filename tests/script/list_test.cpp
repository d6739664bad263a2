#include "script/list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
struct Item {
    std::string text;
    int disc;
};

// Splits `value` the way the reader does and records each item with the disc
// number in force when it was taken; a bare mark is recorded as "<mark>" and ends it.
std::vector<Item> Split(const char* value, std::size_t capacity = 260)
{
    std::vector<Item> items;
    currentDisc = 0;
    const char* cursor = value;
    std::vector<char> out(capacity ? capacity : 1);
    for (int guard = 0; guard < 100; ++guard) {
        const ListItem result = NextListItem(out.data(), capacity, &cursor);
        if (result == ListItem::MarkOnly)
            items.push_back({"<mark>", currentDisc});
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
        {"2:,B", {{"<mark>", 2}}},        // a bare mark is refused, never an empty name
        {"A, 3:", {{"A", 0}, {"<mark>", 3}}},
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

TEST(ParseScriptInt, Table)
{
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"3", 3},
        {"  \t42", 42},
        {"+7", 7},
        {"-5", -5},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"- 5", 0},
        {"0x10", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"9999999999999999999", INT32_MAX},
        {"-9999999999999999999", INT32_MIN},
        {"007", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseScriptInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseScriptSize, Table)
{
    struct Case {
        const char* text;
        uint64_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"650000000", 650000000ull},
        {"4294967296", 4294967296ull},  // beyond 32 bits without loss
        {"9999999999999999999", 9999999999999999999ull},
        {" +12x", 12},
        {"-1", UINT64_MAX},
        {"-2", UINT64_MAX - 1},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", UINT64_MAX},
        {"-18446744073709551615", 1},
        {"-18446744073709551616", UINT64_MAX},
        {"99999999999999999999999", UINT64_MAX},
        {"size", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseScriptSize(c.text), c.value) << '"' << c.text << '"';
}

// Hostile values: every split of random bytes stays inside `out` and the value,
// ends every taken item with a NUL, and comes to an end.
TEST(NextListItem, RandomValuesStayInBounds)
{
    const char alphabet[] = {',', ' ', ':', '\r', '\n', 'a', '7', '\x95', '\x5C', '\x83'};
    uint32_t state = 12345;
    auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 20000; ++round) {
        std::string value;
        const int length = static_cast<int>(next() % 24);
        for (int i = 0; i < length; ++i)
            value += alphabet[next() % sizeof alphabet];
        const std::size_t capacity = 1 + next() % 8;
        char out[16];
        std::memset(out, 0x7F, sizeof out);
        const char* cursor = value.c_str();
        const char* const end = value.c_str() + value.size();
        int calls = 0;
        for (;; ++calls) {
            ASSERT_LT(calls, 30) << "no end of list for \"" << value << '"';
            const ListItem result = NextListItem(out, capacity, &cursor);
            ASSERT_TRUE(cursor >= value.c_str() && cursor <= end) << value;
            for (std::size_t i = capacity; i < sizeof out; ++i)
                ASSERT_EQ(out[i], 0x7F) << "byte " << i << " written for capacity " << capacity;
            if (result == ListItem::None)
                break;
            ASSERT_NE(std::memchr(out, '\0', capacity), nullptr) << value;
        }
    }
}
