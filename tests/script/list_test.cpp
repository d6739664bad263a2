// List splitting with disc marks and limits, and the script's two number forms.
#include "script/list.h"

#include <gtest/gtest.h>

#include <string>

TEST(NextListItem, SplitsLikeTheReader)
{
    const struct { const char* value; const char* items; } cases[] = {  // each item as "disc:text|"
        {"A,B,2:C,D,1:E", "0:A|0:B|2:C|2:D|1:E|"},
        {"A,,B", "0:A|"},  // an empty item ends the list
        {"  A,   B  ", "0:A|0:B  |"},  // leading blanks go, trailing ones stay
        {"\tA", "0:\tA|"},  // only byte 32 is a blank
        {"C:\\GAME\\X.EXE", "0:\\GAME\\X.EXE|"},  // a letter mark gives disc 0
        {"3: DATA,2:,B", "3: DATA|2:<mark>|2:B|"},  // a bare mark is told from a name
        {"A\r\nB", "0:A|"},  // CR, then LF: an empty item
        {"A\nB,", "0:A|0:B|"}, {"9:A,0:B", "9:A|0:B|"},
        {"\x95\x5C\x8E\xA6,\x83\x5C\x83\x74", "0:\x95\x5C\x8E\xA6|0:\x83\x5C\x83\x74|"},  // 表示, ソフ
        {"A\0B", "0:A|"},  // the value ends at its NUL, also on later calls
    };
    for (const auto& c : cases) {
        currentDisc = 0;
        const char* cursor = c.value;
        std::string items;
        char out[260];
        for (ListItem item; (item = NextListItem(out, sizeof out, &cursor)) != ListItem::None && items.size() < 99;)
            items += std::to_string(currentDisc) + ":" + (item == ListItem::MarkOnly ? "<mark>" : out) + "|";
        EXPECT_EQ(items, c.items) << c.value;
        EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::None) << c.value;
    }
}

TEST(NextListItem, AnItemThatDoesNotFitIsRefusedNotCut)
{
    const std::string fits(259, 'n'), tooLong(260, 'n');
    const char* cursor = fits.c_str();
    char out[260];
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::Taken);
    cursor = tooLong.c_str();
    EXPECT_EQ(NextListItem(out, sizeof out, &cursor), ListItem::TooLong);
    EXPECT_STREQ(out, "");
    cursor = "5:ABC";  // the mark does not count against the capacity
    EXPECT_EQ(NextListItem(out, 4, &cursor), ListItem::Taken);
}
