// Splitting of profile-file list values and the two number forms of a script.
// Portable: no platform calls, so the rules are tested natively.
#pragma once
#include <cstddef>
#include <cstdint>

// Disc number set by the last disc mark ("2:DATA") that NextListItem passed;
// the reader resets it to 0 before each InstallFiles list.
extern int currentDisc;

// True for the bytes that end a list item: NUL, line feed, carriage return, comma.
bool IsListSeparator(unsigned char c);

enum class ListItem {
    None = 0,  // no item at the cursor: end of the value, or an empty item
    Taken,     // `out` holds the next item, the cursor stands after its separator
    TooLong,   // the item needs more than capacity - 1 bytes: `out` is empty, never a cut item
    MarkOnly,  // a disc mark with nothing behind it: the mark is taken, `out` is empty
};

// Takes the next comma-separated item of `*cursor` into `out` (`capacity` bytes).
// Leading spaces (byte 32 only) are skipped; a first character followed by a colon
// is a disc mark that sets currentDisc (a digit, else 0) and is dropped from the
// item; a mark directly followed by a separator is MarkOnly, since an empty name
// would end the list for every later reader. Trailing spaces stay. The cursor never moves past the value's NUL, so once
// the end is reached every further call answers None.
ListItem NextListItem(char* out, std::size_t capacity, const char** cursor);

// The script's integer form: leading white space, an optional sign, decimal digits
// up to the first other byte; no digits give 0; beyond the signed 32-bit range the
// nearer limit.
int32_t ParseScriptInt(const char* text);

// The script's size form: as ParseScriptInt, but unsigned 64-bit; a minus sign
// negates modulo 2^64, and a value beyond the range gives the largest value.
uint64_t ParseScriptSize(const char* text);
