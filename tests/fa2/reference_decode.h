// The FA2 byte rule written from the token codes rather than the codec's tables:
// a decoder that reads one bit and one byte at a time, for the decode fuzz target.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fa2test {

// The byte rule. False for any damaged stream (or more output than `capacity`);
// on success `out` holds the output and `consumed` the stream's length.
inline bool ReferenceDecode(const std::vector<uint8_t>& in, size_t capacity, std::vector<uint8_t>* out,
                            size_t* consumed)
{
    size_t pos = 0;
    uint32_t word = 0;
    unsigned left = 0;
    bool ok = true;
    auto bit = [&]() -> unsigned {
        if (left == 0) {
            if (in.size() - pos < 4)
                return ok = false, 0;
            word = in[pos] | in[pos + 1] << 8 | in[pos + 2] << 16 | uint32_t(in[pos + 3]) << 24;
            pos += 4, left = 32;
        }
        return (word >> --left) & 1;
    };
    auto bits = [&](unsigned n) {
        unsigned v = 0;
        while (n--)
            v = v * 2 + bit();
        return v;
    };
    auto byte = [&]() -> unsigned { return pos < in.size() ? in[pos++] : (ok = false, 0); };
    auto zeros = [&](unsigned most) {
        unsigned z = 0;
        while (z < most && ok && !bit())
            ++z;
        return z;
    };
    out->clear();
    while (ok) {
        size_t distance = 0, length = 2;
        if (bit()) {
            const unsigned b = byte();
            if (!ok || out->size() == capacity)
                return false;
            out->push_back(static_cast<uint8_t>(b));
            continue;
        }
        if (bit()) {
            const unsigned far = bit(), b = byte(), v = far ? b * 8 + bits(3) : 0;
            if (ok && far && v == 2047)
                return *consumed = pos, true;
            distance = far ? v + 257 : b + 1;
        } else {
            const unsigned z = zeros(4), b = byte(), extra = z < 2 ? 1 : z;
            distance = (z == 0 ? b * 2 + bits(1) : ((256 + b) << extra) + bits(extra)) + 1;
            static const unsigned kBase[] = {3, 4, 5, 7, 11, 27}, kExtra[] = {0, 0, 1, 2, 4, 0};
            const unsigned lz = zeros(5);
            length = kBase[lz] + (lz == 5 ? byte() : bits(kExtra[lz]));
        }
        if (!ok || distance > out->size() || length > capacity - out->size())
            return false;
        for (size_t i = 0; i < length; ++i)
            out->push_back((*out)[out->size() - distance]);
    }
    return false;
}

}  // namespace fa2test
