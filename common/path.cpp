#include "common/path.h"
#include "common/sjis.h"

#include <cstring>

namespace {
bool DefaultLeadByte(unsigned char c) { return IsSjisLeadByte(c); }
LeadByteTest g_leadByteTest = DefaultLeadByte;
}

void SetLeadByteTest(LeadByteTest test) { g_leadByteTest = test ? test : DefaultLeadByte; }
bool IsLeadByte(unsigned char c) { return g_leadByteTest(c); }

int AppendPath(char* path, std::size_t capacity, const char* component)
{
    const std::size_t length = std::strlen(path);
    bool needSeparator = true;
    if (length > 0) {
        // Walk whole characters: only a single-byte last character can be the separator.
        std::size_t i = 0;
        bool lastIsBackslash = false;
        while (i < length) {
            const auto c = static_cast<unsigned char>(path[i]);
            if (IsLeadByte(c)) {
                // A separator behind a lone lead byte would be read as its second byte:
                // the joined path would name another folder.
                if (i + 1 == length)
                    return 0;
                lastIsBackslash = false;
                i += 2;
            } else {
                lastIsBackslash = (c == '\\');
                i += 1;
            }
        }
        needSeparator = !lastIsBackslash;
    }
    const std::size_t componentLength = std::strlen(component);
    const std::size_t total = length + (needSeparator ? 1 : 0) + componentLength;
    // The text, its terminator and the second NUL that makes it a one-item list.
    if (capacity < 2 || total > capacity - 2)
        return 0;
    char* end = path + length;
    if (needSeparator)
        *end++ = '\\';
    std::memcpy(end, component, componentLength);
    end[componentLength] = '\0';
    end[componentLength + 1] = '\0';
    return 1;
}

int CopyText(char* out, std::size_t capacity, const char* text)
{
    const std::size_t length = std::strlen(text);
    if (length >= capacity)
        return 0;
    std::memcpy(out, text, length + 1);
    return 1;
}

int AppendText(char* out, std::size_t capacity, std::size_t* length, const char* text)
{
    const std::size_t n = std::strlen(text);
    if (*length >= capacity || n >= capacity - *length)
        return 0;
    std::memcpy(out + *length, text, n + 1);
    *length += n;
    return 1;
}

int JoinTexts(char* out, std::size_t capacity, std::initializer_list<const char*> pieces)
{
    std::size_t length = 0;
    if (capacity == 0)
        return 0;
    out[0] = '\0';
    for (const char* piece : pieces) {
        if (!AppendText(out, capacity, &length, piece)) {
            out[0] = '\0';
            return 0;
        }
    }
    return 1;
}

int BytesEqual(const void* a, const void* b, std::size_t count)
{
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i < count; ++i)
        if (x[i] != y[i])
            return 0;
    return 1;
}

unsigned MemberNameOffset(const char* path, bool (*isLead)(unsigned char))
{
    if (!isLead)
        isLead = IsLeadByte;
    unsigned start = 0;
    for (unsigned i = 0; path[i] != '\0';) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (isLead(c) && path[i + 1] != '\0') {
            i += 2;
            continue;
        }
        if (c == '\\')
            start = i + 1;
        ++i;
    }
    return start;
}
