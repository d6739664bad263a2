#include "script/profile.h"

#include <cstring>

#include "common/sjis.h"

namespace {
bool IsBlank(unsigned char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// `length` bytes at `name` against the NUL-terminated `wanted`. Only ASCII letters
// fold: a lead byte never equals an ASCII byte, so no trail byte is compared with one.
bool SameName(const char* name, std::size_t length, const char* wanted)
{
    std::size_t i = 0;
    for (; i < length; ++i) {
        if (!wanted[i] || Lower(name[i]) != Lower(wanted[i]))
            return false;
    }
    return wanted[i] == '\0';
}

// Width of the character at `p`, `left` bytes remaining.
std::size_t CharWidth(const char* p, std::size_t left)
{
    return (left >= 2 && IsSjisLeadByte(static_cast<unsigned char>(*p))) ? 2 : 1;
}

std::size_t CountChars(const char* p, std::size_t n)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < n; i += CharWidth(p + i, n - i))
        ++chars;
    return chars;
}

// One non-blank line: either a section header or a key with an optional value.
struct Line {
    int number;
    bool header;
    const char* name;
    std::size_t nameLength;
    const char* value;  // null: the line has no '='
    std::size_t valueLength;
};

// Splits the next line at `*cursor`; false at the end of the text.
bool NextLine(const ProfileText& text, const char** cursor, int* number, Line* line)
{
    const char* end = text.data + text.size;
    for (const char* p = *cursor; p < end;) {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        const char* stop = p;
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
        ++*number;
        while (start < stop && IsBlank(static_cast<unsigned char>(*start)))
            ++start;
        while (stop > start && IsBlank(static_cast<unsigned char>(stop[-1])))
            --stop;
        if (start == stop)
            continue;
        *cursor = p;
        line->number = *number;
        if (*start == '[') {
            // The last ']' of the line closes the name; a trail byte 0x5D is no bracket.
            const char* bracket = nullptr;
            for (const char* q = start + 1; q < stop; q += CharWidth(q, static_cast<std::size_t>(stop - q))) {
                if (*q == ']')
                    bracket = q;
            }
            if (bracket) {
                line->header = true;
                line->name = start + 1;
                line->nameLength = static_cast<std::size_t>(bracket - start - 1);
                return true;
            }
        }
        line->header = false;
        line->name = start;
        line->value = nullptr;
        line->valueLength = 0;
        // '=' is never a trail byte, so the first one is the separator.
        const char* equals = static_cast<const char*>(std::memchr(start, '=', static_cast<std::size_t>(stop - start)));
        const char* nameEnd = equals ? equals : stop;
        if (equals) {
            const char* value = equals + 1;
            while (value < stop && IsBlank(static_cast<unsigned char>(*value)))
                ++value;
            line->value = value;
            line->valueLength = static_cast<std::size_t>(stop - value);
            while (nameEnd > start && IsBlank(static_cast<unsigned char>(nameEnd[-1])))
                --nameEnd;
        }
        line->nameLength = static_cast<std::size_t>(nameEnd - start);
        return true;
    }
    *cursor = end;
    return false;
}

// The reader works in characters: it keeps capacity - 1 characters, and a quoted
// value loses its last kept character whenever the capacity reaches the length
// behind the opening mark (the closing mark, or at exactly that length a character
// of the text). The result is then cut to whole characters within capacity - 1 bytes.
std::size_t CopyValue(const char* v, std::size_t n, char* out, std::size_t capacity)
{
    std::size_t chars = CountChars(v, n);
    std::size_t keep = chars < capacity - 1 ? chars : capacity - 1;
    if (n >= 2 && (v[0] == '"' || v[0] == '\'') && v[n - 1] == v[0]) {
        ++v;
        --n;
        --chars;
        keep = chars < capacity - 1 ? chars : capacity - 1;
        if (capacity >= chars && keep > 0)
            --keep;
    }
    std::size_t bytes = 0;
    bool split = false;
    for (std::size_t c = 0; c < keep && !split; ++c) {
        const std::size_t width = CharWidth(v + bytes, n - bytes);
        split = width > capacity - 1 - bytes;
        if (!split)
            bytes += width;
    }
    std::memcpy(out, v, bytes);
    out[bytes] = '\0';
    // A character that would be split makes the platform's reader answer with the
    // whole capacity, even when nothing before it was stored.
    return split ? capacity - 1 : bytes;
}
}

std::size_t ReadProfileString(const ProfileText& text, const char* section, const char* key, char* out,
                              std::size_t capacity, int* line)
{
    if (line)
        *line = 0;
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    const char* cursor = text.data;
    int number = 0;
    Line l;
    bool inSection = false, seen = false;
    while (NextLine(text, &cursor, &number, &l)) {
        if (l.header) {
            if (seen)
                return 0;
            inSection = seen = SameName(l.name, l.nameLength, section);
            continue;
        }
        if (!inSection || !SameName(l.name, l.nameLength, key))
            continue;
        if (line)
            *line = l.number;
        return l.value ? CopyValue(l.value, l.valueLength, out, capacity) : 0;
    }
    return 0;
}

int FindProfileSection(const ProfileText& text, const char* section)
{
    const char* cursor = text.data;
    int number = 0;
    Line l;
    while (NextLine(text, &cursor, &number, &l)) {
        if (l.header && SameName(l.name, l.nameLength, section))
            return l.number;
    }
    return 0;
}
