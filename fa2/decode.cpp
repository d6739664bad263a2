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

// Length code by its count of leading zeros: extra bits and the base of N.
constexpr uint8_t kLengthExtraBits[6] = {0, 0, 1, 2, 4, 0};
constexpr uint16_t kLengthBase[6] = {3, 4, 5, 7, 11, 27};

// A long match's distance code (prefix and extra bits, at most 8 flag bits) read
// from the next 8 flag bits: distance = add + (byte << shift).
struct DistanceCode {
    uint16_t add;
    uint8_t shift;
    uint8_t used;  // prefix and extra bits
    uint8_t head;  // 00 and the prefix: the flag bits before the distance byte
};
// Its length code (at most 9 flag bits) from the next 9: N = base + (byte & byteMask),
// where the byte field is present only for the code 00000.
struct LengthCode {
    uint16_t base;
    uint8_t used;
    uint8_t byteMask;
};

struct CodeTables {
    DistanceCode distance[256];
    LengthCode length[512];
};

constexpr CodeTables MakeCodeTables()
{
    CodeTables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned zeros = 0;
        while (zeros < 4 && !(i & (0x80u >> zeros)))
            ++zeros;
        const unsigned prefix = zeros < 4 ? zeros + 1 : 4;
        const unsigned extra = zeros < 2 ? 1 : zeros;
        const unsigned x = (i >> (8 - prefix - extra)) & ((1u << extra) - 1);
        t.distance[i] = {static_cast<uint16_t>((zeros == 0 ? 0 : 256u << extra) + x + 1),
                         static_cast<uint8_t>(extra), static_cast<uint8_t>(prefix + extra),
                         static_cast<uint8_t>(2 + prefix)};
    }
    for (unsigned i = 0; i < 512; ++i) {
        unsigned zeros = 0;
        while (zeros < 5 && !(i & (0x100u >> zeros)))
            ++zeros;
        const unsigned code = zeros < 5 ? zeros + 1 : 5;
        const unsigned extra = kLengthExtraBits[zeros];
        const unsigned x = (i >> (9 - code - extra)) & ((1u << extra) - 1);
        t.length[i] = {static_cast<uint16_t>(kLengthBase[zeros] + x), static_cast<uint8_t>(code + extra),
                       static_cast<uint8_t>(zeros == 5 ? 0xFF : 0)};
    }
    return t;
}

constexpr CodeTables kCodes = MakeCodeTables();

// A pair or long match parsed from flag bits alone: distance = add + (byte << shift),
// N = base + (next byte & byteMask).
struct Token {
    uint32_t add;
    uint32_t shift;
    uint32_t base;
    uint32_t byteMask;
    uint32_t used;  // flag bits of the token, its leading 0 included
    uint32_t head;  // flag bits before its first byte field
};

// Parses the token whose leading 0 is bit 63 of `view`.
// Both codes of a long match at once, for the common case where together they
// take at most 12 flag bits; `used` 0 marks the longer combinations.
struct MatchCode {
    uint16_t add;
    uint16_t base;
    uint8_t shift;
    uint8_t used;  // flag bits after the leading 00
    uint8_t head;
    uint8_t byteMask;
};

struct MatchTable {
    MatchCode code[4096];
};

constexpr MatchTable MakeMatchTable()
{
    MatchTable t{};
    for (unsigned i = 0; i < 4096; ++i) {
        const DistanceCode dc = kCodes.distance[i >> 4];
        const LengthCode lc = kCodes.length[((i << dc.used) & 0xFFF) >> 3];
        if (dc.used + lc.used <= 12)
            t.code[i] = {dc.add, lc.base, dc.shift, static_cast<uint8_t>(dc.used + lc.used), dc.head, lc.byteMask};
    }
    return t;
}

constexpr MatchTable kMatches = MakeMatchTable();

inline Token ParseToken(uint64_t view)
{
    if (view & (uint64_t{1} << 62)) {
        const uint32_t far = (view >> 61) & 1;
        const uint32_t x = (view >> 58) & 7;
        return far ? Token{257 + x, 3, 2, 0, 6, 3} : Token{1, 0, 2, 0, 3, 3};
    }
    const MatchCode mc = kMatches.code[(view >> 50) & 0xFFF];
    if (mc.used)
        return {mc.add, mc.shift, mc.base, mc.byteMask, 2u + mc.used, mc.head};
    const DistanceCode dc = kCodes.distance[(view >> 54) & 0xFF];
    const LengthCode lc = kCodes.length[(view >> (53 - dc.used)) & 0x1FF];
    return {dc.add, dc.shift, lc.base, lc.byteMask, 2u + dc.used + lc.used, dc.head};
}
static_assert(kCodes.distance[0x80].add == 1 && kCodes.distance[0x00].add == 4097);
static_assert(kCodes.length[0x100].base == 3 && kCodes.length[0x000].byteMask == 0xFF);
// Room beyond a match that the wide copy may use as scratch.
constexpr size_t kCopySlack = 7 + 16;
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
        {
            // A run of literals (often empty): their bytes lie back to back in the
            // input, since no flag word can fall between them. The run never counts
            // past `bits`, because the bits below the unread ones are zero. Taking
            // the run without a test spares a poorly predicted branch per token.
            const unsigned run = static_cast<unsigned>(std::countl_one(word));
            if (inEnd - in >= 32 && outEnd - out >= 32) {
                std::memcpy(out, in, 32);
            } else {
                if (static_cast<size_t>(inEnd - in) < run)
                    FA2_FAIL(kFa2DecodeInputOverrun);
                if (static_cast<size_t>(outEnd - out) < run)
                    FA2_FAIL(kFa2DecodeOutputOverrun);
                if (run)  // `out` may be null for an empty buffer
                    std::memcpy(out, in, run);
            }
            in += run;
            out += run;
            word = static_cast<uint32_t>(uint64_t{word} << run);
            bits -= run;
            if (bits == 0)
                continue;
        }
        size_t distance, length;
        // Fast path: the token is parsed from this word as though its bits went on
        // as zeros; the parse is the true one when it used no more than `bits`,
        // since each code examines only the bits it consumes. Otherwise the token
        // straddles two flag words: the next word lies before the first byte field
        // when the head of the token does not fit (which the same argument decides),
        // else just after it, and the token is parsed again from both words.
        bool parsed = false;
        if (inEnd - in >= 6) {
            uint64_t view = uint64_t{word} << 32;
            Token t = ParseToken(view);
            if (t.used <= bits) {
                distance = t.add + (size_t{in[0]} << t.shift);
                length = t.base + (in[1] & t.byteMask);
                in += 1 + (t.byteMask & 1);
                word <<= t.used;
                bits -= t.used;
            } else {
                const uint8_t* next = t.head > bits ? in : in + 1;
                view |= uint64_t{Load32(next)} << (32 - bits);
                t = ParseToken(view);
                const uint8_t* fields = next + 4;
                const uint8_t* first = next == in ? fields++ : in;
                distance = t.add + (size_t{*first} << t.shift);
                length = t.base + (*fields & t.byteMask);
                in = fields + (t.byteMask & 1);
                word = static_cast<uint32_t>((view << t.used) >> 32);
                bits = 32 + bits - t.used;
            }
            // The far pair with v = 2047 is the end marker; no copy is that.
            if (length == 2 && distance == 2047 + 257)
                break;
            parsed = true;
        }
        if (!parsed) {
            word <<= 1;
            --bits;
            unsigned bit;
            FA2_BIT(bit);
            if (bit) {
                // A pair: 2 bytes from a near (1-256) or far (257-2303) distance.
                unsigned far, b;
                FA2_BIT(far);
                FA2_BYTE(b);
                distance = b + 1;
                if (far) {
                    unsigned x;
                    FA2_BITS(x, 3);
                    const unsigned v = b * 8 + x;
                    if (v == 2047)
                        break;
                    distance = v + 257;
                }
                length = 2;
            } else {
                // A long match. Distance prefix: 1, 01, 001, 0001 or 0000.
                unsigned zeros = 0;
                while (zeros < 4) {
                    FA2_BIT(bit);
                    if (bit)
                        break;
                    ++zeros;
                }
                unsigned b, x;
                FA2_BYTE(b);
                const unsigned extra = zeros < 2 ? 1 : zeros;
                FA2_BITS(x, extra);
                distance = (zeros == 0 ? (b << 1) | x : ((256 + b) << extra) | x) + 1;
                // Length code: 1, 01, 001x, 0001xx, 00001xxxx, 00000 + byte.
                zeros = 0;
                while (zeros < 5) {
                    FA2_BIT(bit);
                    if (bit)
                        break;
                    ++zeros;
                }
                switch (zeros) {
                case 0: length = 3; break;
                case 1: length = 4; break;
                case 2: FA2_BITS(x, 1); length = 5 + x; break;
                case 3: FA2_BITS(x, 2); length = 7 + x; break;
                case 4: FA2_BITS(x, 4); length = 11 + x; break;
                default: FA2_BYTE(x); length = 27 + x; break;
                }
            }
        }

        if (distance > static_cast<size_t>(out - outStart))
            FA2_FAIL(kFa2DecodeBadDistance);
        if (length > static_cast<size_t>(outEnd - out))
            FA2_FAIL(kFa2DecodeOutputOverrun);
        const uint8_t* src = out - distance;
        if (distance == 1) {
            std::memset(out, src[0], length);
            out += length;
        } else if (static_cast<size_t>(outEnd - out) >= length + kCopySlack) {
            // Wide copy that may spill past the match (7 bytes written by hand at
            // most, then at least 16 in 8-byte steps). A distance
            // under 8 is widened to a multiple of itself of at least 8, which reads
            // the same periodic bytes once that many have been written by hand.
            // Each 8-byte step reads only bytes that earlier steps completed.
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
            Copy8(out, src);
            Copy8(out + 8, src + 8);
            out += 16;
            src += 16;
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
