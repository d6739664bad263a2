// FA2 stream expansion, guarded against damaged input.
//
// Every guard compares a length with the space that remains (`len > end - p`),
// never a pointer sum with an end, so nothing wraps on 32-bit targets.
#include "fa2/fa2.h"

#include <bit>
#include <cstring>

namespace {
inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Copy8(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 8); }
}

const char* Fa2DecodeResultText(Fa2DecodeResult result)
{
    switch (result) {
    case kFa2DecodeOk: return "ok";
    case kFa2DecodeInputOverrun: return "stream ends before its end marker";
    case kFa2DecodeOutputOverrun: return "stream expands beyond the expected size";
    case kFa2DecodeBadDistance: return "copy reaches before the start of the output";
    }
    return "unknown result";
}

Fa2DecodeResult Fa2Decompress(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength,
                              size_t* written, size_t* consumed)
{
    uint8_t* const outStart = out;
    uint8_t* const outEnd = out + outCapacity;
    const uint8_t* const inStart = in;
    const uint8_t* const inEnd = in + inLength;
    Fa2DecodeResult result = kFa2DecodeOk;

    // Flag bits: the next unread bit is bit 31 of `word`, `bits` of them remain and
    // every bit below them is zero. A new word is loaded only when a bit is needed
    // and none remains, which is exactly where the encoder placed it.
    uint32_t word = 0;
    unsigned bits = 0;

#define FA2_FAIL(code)  \
    do {                \
        result = (code); \
        goto done;      \
    } while (0)
#define FA2_REFILL()                               \
    do {                                           \
        if (inEnd - in < 4)                        \
            FA2_FAIL(kFa2DecodeInputOverrun);      \
        word = Load32(in);                         \
        in += 4;                                   \
        bits = 32;                                 \
    } while (0)
#define FA2_BIT(v)           \
    do {                     \
        if (bits == 0)       \
            FA2_REFILL();    \
        (v) = word >> 31;    \
        word <<= 1;          \
        --bits;              \
    } while (0)
    // k is 1 to 8; a word boundary inside the field loads the next word midway.
#define FA2_BITS(v, k)                                                   \
    do {                                                                 \
        const unsigned need_ = (k);                                      \
        if (bits >= need_) {                                             \
            (v) = word >> (32 - need_);                                  \
            word <<= need_;                                              \
            bits -= need_;                                               \
        } else {                                                         \
            const unsigned have_ = bits;                                 \
            const uint32_t high_ = have_ ? word >> (32 - have_) : 0;     \
            FA2_REFILL();                                                \
            const unsigned rest_ = need_ - have_;                        \
            (v) = (high_ << rest_) | (word >> (32 - rest_));             \
            word <<= rest_;                                              \
            bits -= rest_;                                               \
        }                                                                \
    } while (0)
#define FA2_BYTE(v)                            \
    do {                                       \
        if (in == inEnd)                       \
            FA2_FAIL(kFa2DecodeInputOverrun);  \
        (v) = *in++;                           \
    } while (0)

    FA2_REFILL();
    for (;;) {
        if (bits == 0)
            FA2_REFILL();
        if (word & 0x80000000u) {
            // A run of literals: their bytes lie back to back in the input, since no
            // flag word can fall between them. The run never counts past `bits`,
            // because the bits below the unread ones are zero.
            const unsigned run = static_cast<unsigned>(std::countl_one(word));
            if (inEnd - in >= 32 && outEnd - out >= 32) {
                std::memcpy(out, in, 32);
            } else {
                if (static_cast<size_t>(inEnd - in) < run)
                    FA2_FAIL(kFa2DecodeInputOverrun);
                if (static_cast<size_t>(outEnd - out) < run)
                    FA2_FAIL(kFa2DecodeOutputOverrun);
                std::memcpy(out, in, run);
            }
            in += run;
            out += run;
            word = run == 32 ? 0 : word << run;
            bits -= run;
            continue;
        }
        word <<= 1;
        --bits;

        unsigned bit;
        FA2_BIT(bit);
        if (bit) {
            // A pair: 2 bytes from a near (1-256) or far (257-2303) distance.
            unsigned far, b;
            FA2_BIT(far);
            FA2_BYTE(b);
            size_t distance = b + 1;
            if (far) {
                unsigned x;
                FA2_BITS(x, 3);
                const unsigned v = b * 8 + x;
                if (v == 2047)
                    break;
                distance = v + 257;
            }
            if (distance > static_cast<size_t>(out - outStart))
                FA2_FAIL(kFa2DecodeBadDistance);
            if (outEnd - out < 2)
                FA2_FAIL(kFa2DecodeOutputOverrun);
            out[0] = out[-static_cast<ptrdiff_t>(distance)];
            out[1] = out[1 - static_cast<ptrdiff_t>(distance)];
            out += 2;
            continue;
        }

        // A long match. Distance prefix: 1, 01, 001, 0001 or 0000.
        unsigned zeros;
        if (bits >= 4) {
            zeros = static_cast<unsigned>(std::countl_zero(word | 0x08000000u));
            const unsigned used = zeros < 4 ? zeros + 1 : 4;
            word <<= used;
            bits -= used;
        } else {
            zeros = 0;
            while (zeros < 4) {
                FA2_BIT(bit);
                if (bit)
                    break;
                ++zeros;
            }
        }
        unsigned b, x;
        FA2_BYTE(b);
        const unsigned extra = zeros < 2 ? 1 : zeros;
        FA2_BITS(x, extra);
        const size_t distance = (zeros == 0 ? (b << 1) | x : ((256 + b) << extra) | x) + 1;

        // Length code: 1, 01, 001x, 0001xx, 00001xxxx, 00000 + byte.
        if (bits >= 5) {
            zeros = static_cast<unsigned>(std::countl_zero(word | 0x04000000u));
            const unsigned used = zeros < 5 ? zeros + 1 : 5;
            word <<= used;
            bits -= used;
        } else {
            zeros = 0;
            while (zeros < 5) {
                FA2_BIT(bit);
                if (bit)
                    break;
                ++zeros;
            }
        }
        size_t length;
        switch (zeros) {
        case 0: length = 3; break;
        case 1: length = 4; break;
        case 2: FA2_BITS(x, 1); length = 5 + x; break;
        case 3: FA2_BITS(x, 2); length = 7 + x; break;
        case 4: FA2_BITS(x, 4); length = 11 + x; break;
        default: FA2_BYTE(x); length = 27 + x; break;
        }

        if (distance > static_cast<size_t>(out - outStart))
            FA2_FAIL(kFa2DecodeBadDistance);
        if (length > static_cast<size_t>(outEnd - out))
            FA2_FAIL(kFa2DecodeOutputOverrun);
        const uint8_t* src = out - distance;
        if (distance == 1) {
            std::memset(out, src[0], length);
            out += length;
        } else if (static_cast<size_t>(outEnd - out) >= length + 8) {
            // Wide copy with room to spill up to 7 bytes past the match. A distance
            // under 8 is widened to a multiple of itself of at least 8, which reads
            // the same periodic bytes once that many have been written by hand.
            uint8_t* const end = out + length;
            if (distance < 8) {
                size_t wide = distance;
                while (wide < 8)
                    wide += distance;
                for (size_t i = 0; i < wide - distance; ++i)
                    out[i] = src[i];
                out += wide - distance;
                src = out - wide;
            }
            while (out < end) {
                Copy8(out, src);
                out += 8;
                src += 8;
            }
            out = end;
        } else {
            for (size_t i = 0; i < length; ++i)
                out[i] = src[i];
            out += length;
        }
    }

done:
#undef FA2_FAIL
#undef FA2_REFILL
#undef FA2_BIT
#undef FA2_BITS
#undef FA2_BYTE
    if (written)
        *written = static_cast<size_t>(out - outStart);
    if (consumed)
        *consumed = static_cast<size_t>(in - inStart);
    return result;
}
