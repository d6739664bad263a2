// Text inputs for the fuzz targets: the input's NUL-separated pieces, each in a
// block of exactly its own size, so that the sanitizer catches a read past its NUL.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition) ((condition) ? void() : std::abort())

namespace fuzztext {
struct Text {
    char* s;
    Text(const char* begin, std::size_t length) : s(static_cast<char*>(std::malloc(length + 1)))
    {
        std::memcpy(s, begin, length), s[length] = '\0';
    }
    ~Text() { std::free(s); }
    Text(const Text&) = delete;
};

// The next piece of [*data, *data + *size), up to and without the next NUL.
inline Text NextPiece(const uint8_t** data, std::size_t* size)
{
    const char* begin = reinterpret_cast<const char*>(*data);
    const char* nul = static_cast<const char*>(std::memchr(begin, 0, *size));
    const std::size_t length = nul ? static_cast<std::size_t>(nul - begin) : *size, step = length + (nul != nullptr);
    *data += step, *size -= step;
    return Text(begin, length);
}
}
