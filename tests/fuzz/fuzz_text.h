// Text inputs for the fuzz targets: the input's NUL-separated pieces, each in a
// block of exactly its own size, so that reading one byte past its terminator is
// caught by the address sanitizer.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzztext {
struct Text {
    char* s;
    explicit Text(const char* begin, std::size_t length) : s(static_cast<char*>(std::malloc(length + 1)))
    {
        std::memcpy(s, begin, length);
        s[length] = '\0';
    }
    ~Text() { std::free(s); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
};

// The next piece of [*data, *data + *size): up to the next NUL, which is consumed.
inline Text NextPiece(const uint8_t** data, std::size_t* size)
{
    const char* begin = reinterpret_cast<const char*>(*data);
    const void* nul = std::memchr(begin, 0, *size);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : *size;
    const std::size_t used = nul ? length + 1 : length;
    *data += used;
    *size -= used;
    return Text(begin, length);
}
}

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition))     \
            std::abort();     \
    } while (0)
