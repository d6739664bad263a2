#include "script/list.h"

int currentDisc = 0;

bool IsListSeparator(unsigned char c)
{
    return c == 0 || c == '\n' || c == '\r' || c == ',';
}

ListItem NextListItem(char* out, std::size_t capacity, const char** cursor)
{
    const char* p = *cursor;
    while (*p == ' ')
        ++p;
    *cursor = p;
    if (IsListSeparator(static_cast<unsigned char>(*p)))
        return ListItem::None;
    // The byte before the colon is never a separator here, and a Shift-JIS trail
    // byte is never a colon, so the mark test needs no code-page awareness.
    if (p[1] == ':') {
        currentDisc = (*p >= '0' && *p <= '9') ? *p - '0' : 0;
        p += 2;
    }
    const char* start = p;
    while (!IsListSeparator(static_cast<unsigned char>(*p)))
        ++p;
    const std::size_t length = static_cast<std::size_t>(p - start);
    // Stop on the value's NUL so that later calls keep answering None.
    *cursor = *p ? p + 1 : p;
    if (length == 0) {
        if (capacity)
            out[0] = '\0';
        return ListItem::MarkOnly;
    }
    if (capacity == 0 || length > capacity - 1) {
        if (capacity)
            out[0] = '\0';
        return ListItem::TooLong;
    }
    for (std::size_t i = 0; i < length; ++i)
        out[i] = start[i];
    out[length] = '\0';
    return ListItem::Taken;
}

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Sign and magnitude of the number at `text`. A magnitude above `limit` gives
// `limit` and reports the overflow.
bool ScanNumber(const char* text, bool* negative, uint64_t limit, uint64_t* magnitude)
{
    while (IsBlank(*text))
        ++text;
    *negative = false;
    if (*text == '+' || *text == '-') {
        *negative = *text == '-';
        ++text;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (overflow || value > (limit - digit) / 10) {
            overflow = true;
            value = limit;
        } else {
            value = value * 10 + digit;
        }
    }
    *magnitude = value;
    return overflow;
}
}

int32_t ParseScriptInt(const char* text)
{
    bool negative = false;
    uint64_t magnitude = 0;
    // 2^31 is the largest magnitude either sign can need.
    ScanNumber(text, &negative, uint64_t{1} << 31, &magnitude);
    if (negative)
        return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

uint64_t ParseScriptSize(const char* text)
{
    bool negative = false;
    uint64_t magnitude = 0;
    if (ScanNumber(text, &negative, UINT64_MAX, &magnitude))
        return UINT64_MAX;
    return negative ? uint64_t{0} - magnitude : magnitude;
}
