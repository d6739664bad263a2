// FA2 stream expansion, guarded against damaged input.
//
// Every guard compares a length with the space that remains (`len > end - p`),
// never a pointer sum with an end, so nothing wraps on 32-bit targets.
#include "fa2/fa2.h"

#include <bit>
#include <cstring>
#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {
inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
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
};

// Any token after its leading 0, in two lookups. The first takes the 9 bits after
// the 0: a pair whole, or a long match's distance code. The second takes the 9
// bits after those, a long match's length code; a pair's row points into a half
// of the table whose entries all say "two bytes, no bits".
struct HeadCode {
    uint16_t add;
    uint8_t shift;
    uint8_t used;        // flag bits so far, the leading 0 included
    uint16_t lengthRow;  // 0 for a long match, 512 for a pair
};

struct TwoLevelTables {
    HeadCode head[512];
    LengthCode length[1024];
};

constexpr TwoLevelTables MakeTwoLevelTables()
{
    TwoLevelTables t{};
    for (unsigned i = 0; i < 512; ++i) {
        if (i & 0x100) {
            const unsigned far = (i >> 7) & 1;
            const unsigned x = (i >> 4) & 7;
            t.head[i] = far ? HeadCode{static_cast<uint16_t>(257 + x), 3, 6, 512} : HeadCode{1, 0, 3, 512};
        } else {
            const DistanceCode dc = kCodes.distance[i & 0xFF];
            t.head[i] = {dc.add, dc.shift, static_cast<uint8_t>(2 + dc.used), 0};
        }
    }
    for (unsigned i = 0; i < 512; ++i) {
        t.length[i] = kCodes.length[i];
        t.length[512 + i] = {2, 0, 0};
    }
    return t;
}

constexpr TwoLevelTables kTwoLevel = MakeTwoLevelTables();

constexpr Token ParseTwoLevel(uint64_t view)
{
    const HeadCode h = kTwoLevel.head[(view >> 54) & 0x1FF];
    const LengthCode l = kTwoLevel.length[((view << h.used) >> 55) + h.lengthRow];
    return {h.add, h.shift, l.base, l.byteMask, uint32_t{h.used} + l.used};
}

// Pairs and the common long matches in one lookup: a table of the 15 bits after
// the leading 0 holds every token whose codes fit in them and whose only byte
// field is its first, decoded but for that byte, in 16 bits: its length in flag
// bits, its distance code with the extra bits (one of 41, kept in a small table)
// and its length. One table for pairs and matches alike leaves no branch on
// which comes. Any other token reads as 0 bits long. The next token cannot be
// parsed before this one's length in bits is known, so that lookup lies on the
// path from one token to the next: a second table holds the lengths alone, in
// bytes, which in half the room hits the first-level cache more often; the rest
// of the token is looked up beside that path. The tables are 96 KiB, too large to
// carry in the program file: they are built into zeroed memory before main runs.
constexpr unsigned kTokenKeyBits = 15;

struct DistanceBase {
    uint16_t add;
    uint8_t shift;
};

// Long matches by distance class and extra bits, then the near pair, then the
// far pair by its 3 bits: distance = add + (byte << shift).
struct DistanceBases {
    DistanceBase code[64];
};

constexpr DistanceBases MakeDistanceBases()
{
    DistanceBases t{};
    unsigned i = 0;
    for (unsigned z = 0; z < 5; ++z) {
        const unsigned extra = z < 2 ? 1 : z;
        for (unsigned x = 0; x < (1u << extra); ++x)
            t.code[i++] = {static_cast<uint16_t>((z == 0 ? 0 : 256u << extra) + x + 1), static_cast<uint8_t>(extra)};
    }
    t.code[i++] = {1, 0};
    for (unsigned x = 0; x < 8; ++x)
        t.code[i++] = {static_cast<uint16_t>(257 + x), 3};
    return t;
}

constexpr DistanceBases kDistanceBases = MakeDistanceBases();

// Where literal runs are common, tokens are mostly short, and a table of a bit
// less keeps to half the room in the first-level cache; where they are rare, the
// longer tokens that it would leave to the two lookups are common.
constexpr unsigned kShortTokenKeyBits = kTokenKeyBits - 1;

uint16_t g_tokens[1u << kTokenKeyBits];
uint16_t g_shortTokens[1u << kShortTokenKeyBits];
uint8_t g_tokenBits[1u << kTokenKeyBits];
uint8_t g_shortTokenBits[1u << kShortTokenKeyBits];

// Writes `entry` for every key whose first `bits` flag bits (the leading 0
// included) are `code`; tokens longer than the key are left out.
void FillKeys(uint16_t* table, unsigned keyBits, uint32_t code, unsigned bits, unsigned entry)
{
    if (bits > keyBits + 1)
        return;
    const unsigned rest = keyBits + 1 - bits;
    for (uint32_t low = 0; low < (1u << rest); ++low)
        table[code << rest | low] = static_cast<uint16_t>(entry);
}

// Every pair and long match by its flag bits, in the order of kDistanceBases, but
// those with a length byte and the far pairs that may be the end marker.
void BuildTokenTable(uint16_t* table, unsigned keyBits)
{
    unsigned index = 0;
    for (unsigned z = 0; z < 5; ++z) {
        const unsigned prefix = z < 4 ? z + 1 : 4;
        const unsigned extra = z < 2 ? 1 : z;
        for (unsigned x = 0; x < (1u << extra); ++x, ++index) {
            // 00, the prefix (z zeros, then a 1 unless there are four), the extra bits
            const uint32_t distance = (z < 4 ? 1u : 0u) << extra | x;
            const unsigned distanceBits = 2 + prefix + extra;
            for (unsigned lz = 0; lz < 5; ++lz) {
                const unsigned code = lz + 1;
                const unsigned lx = kLengthExtraBits[lz];
                for (unsigned y = 0; y < (1u << lx); ++y) {
                    const unsigned bits = distanceBits + code + lx;
                    FillKeys(table, keyBits, distance << (code + lx) | 1u << lx | y, bits,
                             bits | index << 5 | (kLengthBase[lz] + y) << 11);
                }
            }
        }
    }
    FillKeys(table, keyBits, 0b010, 3, 3 | index << 5 | 2 << 11);
    for (unsigned x = 0; x < 7; ++x)
        FillKeys(table, keyBits, 0b011 << 3 | x, 6, 6 | (index + 1 + x) << 5 | 2 << 11);
}

struct TokenTableAtStart {
    TokenTableAtStart()
    {
        BuildTokenTable(g_tokens, kTokenKeyBits);
        BuildTokenTable(g_shortTokens, kShortTokenKeyBits);
        for (unsigned i = 0; i < (1u << kTokenKeyBits); ++i)
            g_tokenBits[i] = g_tokens[i] & 31;
        for (unsigned i = 0; i < (1u << kShortTokenKeyBits); ++i)
            g_shortTokenBits[i] = g_shortTokens[i] & 31;
    }
} g_tokenTableAtStart;

// The flag bits before a token's first byte field, by the 6 bits after its
// leading 0, the bits past the end of a flag word read as zeros. A head that
// does not end within the word's remaining bits reads as longer than they are
// whatever follows, since no prefix code ends early on added bits.
struct HeadTable {
    uint8_t bits[64];
};

constexpr HeadTable MakeHeadTable()
{
    HeadTable t{};
    for (unsigned i = 0; i < 64; ++i)
        t.bits[i] = static_cast<uint8_t>(i & 0x20 ? 3 : kCodes.distance[(i << 3) & 0xFF].head);
    return t;
}

constexpr HeadTable kHeads = MakeHeadTable();

static_assert(kCodes.distance[0x80].add == 1 && kCodes.distance[0x00].add == 4097);
static_assert(kCodes.length[0x100].base == 3 && kCodes.length[0x000].byteMask == 0xFF);
// Reads the pair or long match whose leading 0 is the next flag bit, and its byte
// fields, from at least 8 readable input bytes. Returns true when it took the
// slow way, the only way by which the end marker comes.
//
// The fast way takes a token that the table holds and that ends within this
// flag word, by one lookup of its length in bits and one compare; everything else
// reads as 0 bits long, which the same compare sends the slow way: a token longer
// than the key, one with a length byte, the far pair whose 3 bits are all ones
// (the end marker among them), and a token that straddles two flag words.
// Fewer steps on the common path count for more than the rare ones, which the
// processor mostly predicts.
//
// The slow way parses from this word and the next, as though both were valid:
// the next word lies before the first byte field when the head of the token does
// not fit, else just after it; when the token ends within this word, the bits
// beyond are never examined. Whether a token straddles follows the data, so that
// branch is often mispredicted; selecting between both words for every token
// was measured slower, as the selection lies on the path from one token to the
// next, where the branch does not.
template <unsigned kKeyBits>
[[gnu::always_inline]] inline bool ReadToken(const uint8_t*& in, uint32_t& word, unsigned& bits, size_t& distance,
                                             size_t& length)
{
    const uint32_t used = (kKeyBits == kTokenKeyBits ? g_tokenBits : g_shortTokenBits)[word >> (31 - kKeyBits)];
    if (__builtin_expect(used - 1 < bits, 1)) {
        const uint32_t e = (kKeyBits == kTokenKeyBits ? g_tokens : g_shortTokens)[word >> (31 - kKeyBits)];
        const DistanceBase d = kDistanceBases.code[(e >> 5) & 63];
        distance = d.add + (size_t{in[0]} << d.shift);
        length = e >> 11;
        in += 1;
        word <<= used;
        bits -= used;
        return false;
    }
    const uint64_t ahead = Load64(in);
    const size_t before = kHeads.bits[(word >> 25) & 63] > bits;
    const uint32_t next = static_cast<uint32_t>(ahead >> (8 - 8 * before));
    const uint64_t view = uint64_t{word} << 32 | uint64_t{next} << (32 - bits);
    // The table before the two lookups: most tokens here are common ones that
    // straddle, and it was measured faster than the two lookups alone. The entry is
    // read as on the fast way; sharing that code with it was measured slower, as
    // the compiler then laid out the loop's registers differently.
    const uint32_t e2 = (kKeyBits == kTokenKeyBits ? g_tokens : g_shortTokens)[view >> (63 - kKeyBits)];
    Token t;
    if (__builtin_expect((e2 & 31) != 0, 1)) {
        const DistanceBase d = kDistanceBases.code[(e2 >> 5) & 63];
        t = {d.add, d.shift, e2 >> 11, 0, e2 & 31};
    } else {
        t = ParseTwoLevel(view);
    }
    if (t.used <= bits) {
        distance = t.add + (size_t{in[0]} << t.shift);
        length = t.base + (in[1] & t.byteMask);
        in += 1 + (t.byteMask & 1);
        word <<= t.used;
        bits -= t.used;
    } else {
        const uint8_t* first = in + 4 * before;
        const uint8_t* second = first + 1 + 4 * (1 - before);
        distance = t.add + (size_t{*first} << t.shift);
        length = t.base + (*second & t.byteMask);
        in += 5 + (t.byteMask & 1);
        word = static_cast<uint32_t>((view << t.used) >> 32);
        bits = 32 + bits - t.used;
    }
    return true;
}

// How a copy with a period under 8 moves its source after its first 4 and 8 bytes.
constexpr uint8_t kPeriodStep[8] = {0, 1, 2, 1, 0, 4, 4, 4};
constexpr int8_t kPeriodBack[8] = {0, 0, 0, -1, -4, 1, 2, 3};
// Room beyond a match that the wide copy may use as scratch.
constexpr size_t kCopySlack = 7 + 16;

// Where the fast loop stands: the input and output positions and the flag bits.
struct Cursor {
    const uint8_t* in;
    uint8_t* out;
    uint32_t word;
    unsigned bits;
};
enum class Stop { kBudget, kEnd, kBadDistance };

// A fast step reads at most a flag word, 32 literal bytes, and a token's two
// fields with a flag word between them (reading the 8 bytes where that word may
// lie), all within 43 bytes of where it starts (kInMargin leaves a few spare), and
// writes at most 32 literals, then a longest match and its copy scratch, within
// kOutMargin bytes. It moves on by at most kInStep and kOutStep bytes.
constexpr size_t kInMargin = 4 + 32 + 1 + 4 + 1 + 6;
constexpr size_t kOutMargin = 32 + kFa2MaxMatch + kCopySlack;
constexpr size_t kInStep = 4 + 32 + 4 + 2;
constexpr size_t kOutStep = 32 + kFa2MaxMatch;

// Decodes `budget` tokens (fewer when the end marker or a bad distance comes
// first), which the caller has checked all start within the margins, so that no
// single read or write needs a bound of its own. Counts in `runs` the tokens that
// followed a run of literals.
//
// With kRareLiterals the step tests the first flag bit before it counts a run:
// where literals are rare (text) that test is almost always right and shortens
// each step; where they are common it would often be wrong. With kWholeWindow the
// output already holds the longest distance, so no distance can reach before it.
template <bool kRareLiterals, bool kWholeWindow>
[[gnu::always_inline]] inline Stop FastSteps(Cursor& c, uint8_t* outStart, unsigned budget, unsigned& runs)
{
    const uint8_t* in = c.in;
    uint8_t* out = c.out;
    uint32_t word = c.word;
    unsigned bits = c.bits;
    unsigned afterRuns = 0;  // a local, as stores to the output could alias `runs`
    Stop stop = Stop::kBudget;
    for (; budget; --budget) {
        if (__builtin_expect(bits == 0, 0)) {
            word = Load32(in);
            in += 4;
            bits = 32;
        }
        if (!kRareLiterals || static_cast<int32_t>(word) < 0) {
            // A run of literals (often empty): their bytes lie back to back in the
            // input, since no flag word can fall between them. The run never counts
            // past `bits`, because the bits below the unread ones are zero, and the
            // low half of the inverted view is all ones, so the count never sees
            // zero.
            const unsigned run = static_cast<unsigned>(__builtin_clzll(~(uint64_t{word} << 32)));
            std::memcpy(out, in, 32);
            in += run;
            out += run;
            word = static_cast<uint32_t>(uint64_t{word} << run);
            bits -= run;
            if (bits == 0)
                continue;
            afterRuns += run != 0;
        }
        size_t distance, length;
        // The far pair with v = 2047 is the end marker.
        if (ReadToken<kRareLiterals ? kTokenKeyBits : kShortTokenKeyBits>(in, word, bits, distance, length) &&
            length == 2 && distance == 2047 + 257) {
            stop = Stop::kEnd;
            break;
        }
        if (!kWholeWindow && distance > static_cast<size_t>(out - outStart)) {
            stop = Stop::kBadDistance;
            break;
        }
        const uint8_t* src = out - distance;
        uint8_t* const end = out + length;
        if (__builtin_expect(distance < 8, 0)) {
            // A short period: four bytes one by one, then four more from a source
            // moved so that the pattern continues; after that the source lies at
            // least eight bytes behind and whole words reproduce the pattern.
            out[0] = src[0];
            out[1] = src[1];
            out[2] = src[2];
            out[3] = src[3];
            src += kPeriodStep[distance];
            std::memcpy(out + 4, src, 4);
            src -= kPeriodBack[distance];
            out += 8;
            while (out < end) {
                Copy8(out, src);
                out += 8;
                src += 8;
            }
        } else {
            Copy8(out, src);
            Copy8(out + 8, src + 8);
            while (__builtin_expect(out + 16 < end, 0)) {
                out += 16;
                src += 16;
                Copy8(out, src);
                Copy8(out + 8, src + 8);
            }
        }
        out = end;
    }
    c = {in, out, word, bits};
    runs = afterRuns;
    return stop;
}

// Each variant is a function of its own, so that the registers are all the
// loop's. On x86-64, where the processor counts leading zeros and shifts by a
// register in one step each (LZCNT and BMI2, since about 2013), the same loop is
// built a second time to use them, as both lie on the path from one token to the
// next. The 32-bit programs expand one small package and keep the one loop.
using StepsFunction = Stop (*)(Cursor&, uint8_t*, unsigned, unsigned&);

template <bool kRareLiterals, bool kWholeWindow>
[[gnu::noinline]] Stop PortableSteps(Cursor& c, uint8_t* outStart, unsigned budget, unsigned& runs)
{
    return FastSteps<kRareLiterals, kWholeWindow>(c, outStart, budget, runs);
}

#if defined(__GNUC__) && defined(__x86_64__)
template <bool kRareLiterals, bool kWholeWindow>
[[gnu::noinline, gnu::target("bmi,bmi2,lzcnt")]] Stop BitSteps(Cursor& c, uint8_t* outStart, unsigned budget,
                                                               unsigned& runs)
{
    return FastSteps<kRareLiterals, kWholeWindow>(c, outStart, budget, runs);
}

// BMI1 and BMI2 (leaf 7, EBX bits 3 and 8) and LZCNT (leaf 0x80000001, ECX bit 5).
bool HasBitInstructions()
{
    static const bool has = [] {
        unsigned a, b, c, d;
        if (!__get_cpuid_count(7, 0, &a, &b, &c, &d) || (b & 0x108) != 0x108)
            return false;
        return __get_cpuid(0x80000001, &a, &b, &c, &d) && (c & 0x20);
    }();
    return has;
}
#else
template <bool kRareLiterals, bool kWholeWindow>
constexpr StepsFunction BitSteps = PortableSteps<kRareLiterals, kWholeWindow>;

bool HasBitInstructions() { return false; }
#endif

// By [bit instructions][whole window][rare literals].
constexpr StepsFunction kSteps[2][2][2] = {
    {{PortableSteps<false, false>, PortableSteps<true, false>}, {PortableSteps<false, true>, PortableSteps<true, true>}},
    {{BitSteps<false, false>, BitSteps<true, false>}, {BitSteps<false, true>, BitSteps<true, true>}},
};

Fa2DecodeLoop g_decodeLoop = Fa2DecodeLoop::kFastest;
}

void Fa2SetDecodeLoop(Fa2DecodeLoop loop) { g_decodeLoop = loop; }

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

    {
        // Blocks of tokens through the fast steps, each block in the variant that
        // suits how often literals came in the block before.
        constexpr size_t kBlock = 1024;
        Cursor c{in, out, word, bits};
        bool rareLiterals = false;
        const bool bitInstructions = g_decodeLoop == Fa2DecodeLoop::kFastest && HasBitInstructions();
        for (;;) {
            const size_t inRoom = static_cast<size_t>(inEnd - c.in);
            const size_t outRoom = static_cast<size_t>(outEnd - c.out);
            if (inRoom < kInMargin || outRoom < kOutMargin)
                break;
            // As many steps as surely start within the margins, at most a block.
            size_t budget = (inRoom - kInMargin) / kInStep + 1;
            budget = budget < kBlock ? budget : kBlock;
            budget = (outRoom - kOutMargin) / kOutStep + 1 < budget ? (outRoom - kOutMargin) / kOutStep + 1 : budget;
            const bool wholeWindow = static_cast<size_t>(c.out - outStart) >= kFa2WindowSize;
            unsigned runs = 0;
            const unsigned n = static_cast<unsigned>(budget);
            const Stop stop = kSteps[bitInstructions][wholeWindow][rareLiterals](c, outStart, n, runs);
            in = c.in;
            out = c.out;
            word = c.word;
            bits = c.bits;
            if (stop == Stop::kEnd)
                goto done;
            if (stop == Stop::kBadDistance)
                FA2_FAIL(kFa2DecodeBadDistance);
            rareLiterals = runs * 100 < n * 15;
        }
    }
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
        bool parsed = false;
        if (inEnd - in >= 8) {
            ReadToken<kTokenKeyBits>(in, word, bits, distance, length);
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
