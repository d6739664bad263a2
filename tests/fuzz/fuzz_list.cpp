// List and number fuzz target: the first byte chooses the item capacity, the
// rest up to a NUL is a script value. Every item taken must be the bytes just
// before the separator the cursor passed, and the cursor must move forward inside
// the value; the number forms must agree with the C library's conversions.
#include "script/list.h"
#include "tests/fuzz/fuzz_text.h"

#include <climits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t capacity = data[0] % 48;
    ++data, --size;
    fuzztext::Text value = fuzztext::NextPiece(&data, &size);
    const char* end = value.s + std::strlen(value.s);
    char* out = static_cast<char*>(std::malloc(capacity ? capacity : 1));
    const char* cursor = value.s;
    for (const char* before = cursor;; before = cursor) {
        const ListItem result = NextListItem(out, capacity, &cursor);
        FUZZ_CHECK(cursor >= before && cursor <= end && (result == ListItem::None || cursor > before));
        FUZZ_CHECK(result != ListItem::TooLong || capacity == 0 || out[0] == '\0');
        if (result == ListItem::None)
            break;
        if (result == ListItem::TooLong)
            continue;
        const std::size_t length = std::strlen(out);
        // An item ends at the separator the cursor stepped over, or at the value's end.
        const char* stop = IsListSeparator(static_cast<unsigned char>(cursor[-1])) ? cursor - 1 : cursor;
        FUZZ_CHECK(length < capacity && stop - before >= static_cast<std::ptrdiff_t>(length));
        FUZZ_CHECK(std::memcmp(stop - length, out, length) == 0);
        // Before it, only spaces and at most one disc mark.
        const char* start = before + std::strspn(before, " ");
        FUZZ_CHECK(stop - length == start || (stop - length == start + 2 && start[1] == ':'));
        for (std::size_t i = 0; i < length; ++i)
            FUZZ_CHECK(!IsListSeparator(static_cast<unsigned char>(out[i])));
    }
    std::free(out);
    const long long wide = std::strtoll(value.s, nullptr, 10);
    FUZZ_CHECK(ParseScriptInt(value.s) == (wide < INT32_MIN ? INT32_MIN : wide > INT32_MAX ? INT32_MAX : wide));
    FUZZ_CHECK(ParseScriptSize(value.s) == std::strtoull(value.s, nullptr, 10));
    return 0;
}
