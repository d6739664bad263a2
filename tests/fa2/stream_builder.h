// Test helpers for FA2 streams, written straight from the token tables so that
// they check the codec rather than share its code: a builder that places flag
// words the way the format requires, and a byte-at-a-time reference decoder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fa2test {

class StreamBuilder {
public:
    void Bit(unsigned bit)
    {
        if (used_ == 32) {
            wordAt_ = bytes.size();
            bytes.insert(bytes.end(), 4, 0);
            used_ = 0;
        }
        if (bit)
            bytes[wordAt_ + 3 - used_ / 8] |= static_cast<uint8_t>(0x80 >> (used_ % 8));
        ++used_;
    }
    void Bits(uint32_t value, unsigned count)
    {
        while (count--)
            Bit((value >> count) & 1);
    }
    void Byte(uint32_t value) { bytes.push_back(static_cast<uint8_t>(value)); }

    void Literal(uint8_t b)
    {
        Bit(1);
        Byte(b);
    }
    void Near(unsigned distance)  // 1 to 256
    {
        Bits(0b010, 3);
        Byte(distance - 1);
    }
    void FarValue(unsigned v)  // v = distance - 257; 2047 is the end marker
    {
        Bits(0b011, 3);
        Byte(v >> 3);
        Bits(v & 7, 3);
    }
    void Far(unsigned distance) { FarValue(distance - 257); }
    void End() { FarValue(2047); }
    void Long(unsigned distance, unsigned length)  // 1 to 8192, 3 to 282
    {
        Bits(0b00, 2);
        const unsigned f = distance - 1;
        if (f <= 511) {
            Bit(1), Byte(f >> 1), Bits(f & 1, 1);
        } else if (f <= 1023) {
            Bits(0b01, 2), Byte(f / 2 - 256), Bits(f % 2, 1);
        } else if (f <= 2047) {
            Bits(0b001, 3), Byte(f / 4 - 256), Bits(f % 4, 2);
        } else if (f <= 4095) {
            Bits(0b0001, 4), Byte(f / 8 - 256), Bits(f % 8, 3);
        } else {
            Bits(0b0000, 4), Byte(f / 16 - 256), Bits(f % 16, 4);
        }
        if (length == 3)
            Bit(1);
        else if (length == 4)
            Bits(0b01, 2);
        else if (length <= 6)
            Bits(0b001, 3), Bits(length - 5, 1);
        else if (length <= 10)
            Bits(0b0001, 4), Bits(length - 7, 2);
        else if (length <= 26)
            Bits(0b00001, 5), Bits(length - 11, 4);
        else
            Bits(0b00000, 5), Byte(length - 27);
    }

    std::vector<uint8_t> bytes;

private:
    size_t wordAt_ = 0;
    unsigned used_ = 32;
};

// The plain rule: one bit, one byte, one copied byte at a time. Returns false for
// any damaged stream; on success fills `out` and `consumed`.
inline bool ReferenceDecode(const std::vector<uint8_t>& in, size_t capacity, std::vector<uint8_t>* out,
                            size_t* consumed)
{
    size_t pos = 0;
    uint32_t word = 0;
    unsigned left = 0;
    bool ok = true;
    auto bit = [&]() -> unsigned {
        if (left == 0) {
            if (in.size() - pos < 4) {
                ok = false;
                return 0;
            }
            word = in[pos] | in[pos + 1] << 8 | in[pos + 2] << 16 | uint32_t(in[pos + 3]) << 24;
            pos += 4;
            left = 32;
        }
        const unsigned b = word >> 31;
        word <<= 1;
        --left;
        return b;
    };
    auto bits = [&](unsigned n) {
        unsigned v = 0;
        while (n--)
            v = v * 2 + bit();
        return v;
    };
    auto byte = [&]() -> unsigned {
        if (pos == in.size()) {
            ok = false;
            return 0;
        }
        return in[pos++];
    };
    auto copy = [&](size_t distance, size_t length) {
        if (distance > out->size() || length > capacity - out->size()) {
            ok = false;
            return;
        }
        for (size_t i = 0; i < length; ++i)
            out->push_back((*out)[out->size() - distance]);
    };
    out->clear();
    while (ok) {
        if (bit()) {
            const unsigned b = byte();
            if (!ok || out->size() == capacity)
                return false;
            out->push_back(static_cast<uint8_t>(b));
        } else if (bit()) {
            const unsigned far = bit();
            const unsigned b = byte();
            if (!far) {
                copy(b + 1, 2);
                continue;
            }
            const unsigned v = b * 8 + bits(3);
            if (ok && v == 2047) {
                *consumed = pos;
                return true;
            }
            copy(v + 257, 2);
        } else {
            unsigned zeros = 0;
            while (zeros < 4 && ok && !bit())
                ++zeros;
            const unsigned b = byte();
            const unsigned extra[] = {1, 1, 2, 3, 4};
            const unsigned x = bits(extra[zeros]);
            const unsigned f = zeros == 0 ? b * 2 + x : ((256 + b) << extra[zeros]) + x;
            unsigned lz = 0;
            while (lz < 5 && ok && !bit())
                ++lz;
            unsigned n = 0;
            switch (lz) {
            case 0: n = 3; break;
            case 1: n = 4; break;
            case 2: n = 5 + bits(1); break;
            case 3: n = 7 + bits(2); break;
            case 4: n = 11 + bits(4); break;
            default: n = 27 + byte(); break;
            }
            if (ok)
                copy(f + 1, n);
        }
    }
    return false;
}

// Index of the first differing byte, or -1 when equal (a length mismatch counts
// at the shorter length).
inline long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

}  // namespace fa2test
