// Test helpers for FA2 streams, written from the token codes rather than the
// codec's tables: a builder that places flag words where the format puts them,
// and a decoder that follows the byte rule one bit and one byte at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fa2test {

struct StreamBuilder {
    std::vector<uint8_t> bytes;
    size_t wordAt = 0;
    unsigned used = 32;
    void Bit(unsigned bit)
    {
        if (used == 32)  // a new flag word goes where its first bit is needed
            wordAt = bytes.size(), bytes.insert(bytes.end(), 4, 0), used = 0;
        if (bit)
            bytes[wordAt + 3 - used / 8] |= static_cast<uint8_t>(0x80 >> (used % 8));
        ++used;
    }
    void Bits(uint32_t value, unsigned count)
    {
        while (count--)
            Bit((value >> count) & 1);
    }
    void Byte(uint32_t value) { bytes.push_back(static_cast<uint8_t>(value)); }
    void Literal(uint8_t b) { Bit(1), Byte(b); }
    void Near(unsigned distance) { Bits(0b010, 3), Byte(distance - 1); }  // 1 to 256
    void FarValue(unsigned v) { Bits(0b011, 3), Byte(v >> 3), Bits(v & 7, 3); }  // distance - 257; 2047 ends
    void End() { FarValue(2047); }
    void Long(unsigned distance, unsigned length)  // 1 to 8192, 3 to 282
    {
        const unsigned f = distance - 1, zeros = f < 512 ? 0 : f < 1024 ? 1 : f < 2048 ? 2 : f < 4096 ? 3 : 4;
        const unsigned extra = zeros < 2 ? 1 : zeros;
        Bits(0, 2), Bits(zeros < 4, zeros < 4 ? zeros + 1 : 4);  // 1, 01, 001, 0001 or 0000
        Byte(zeros == 0 ? f >> 1 : (f >> extra) - 256), Bits(f, extra);
        static const unsigned kBase[] = {3, 4, 5, 7, 11}, kExtra[] = {0, 0, 1, 2, 4};
        const unsigned lz = length < 5 ? length - 3 : length < 7 ? 2 : length < 11 ? 3 : 4;
        if (length >= 27)
            Bits(0, 5), Byte(length - 27);
        else  // 1, 01, 001x, 0001xx, 00001xxxx
            Bits(1, lz + 1), Bits(length - kBase[lz], kExtra[lz]);
    }
};

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
