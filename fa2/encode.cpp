// FA2 stream encoder: an optimal parse over exact bit costs.
//
// Every flag bit costs one bit of a 32-bit flag word and every byte field eight
// bits, so a token's cost is a fixed number of bits and the cost of a parse is
// the sum over its tokens. The shortest path over input positions therefore
// gives the fewest bits; only the padding of the last flag word (under 4 bytes)
// lies outside the sum.
//
// The match finder yields for each length the smallest distance, which is the
// cheapest: for two bytes the newest position with the same two, for three the
// newest with the same three (along a chain of positions whose three bytes hash
// alike), and for more a binary tree per hashed four-byte prefix over the 8 KiB
// window, newest position at the root. Walking the tree from the root meets
// older positions only, and meets the newest position of every common-prefix
// length.
//
// The parse need not try every length of a match. Let rest(x) be the fewest bits
// that code the input from position x to the end of the segment. Cut a cheapest
// coding from x at y > x: the token that y falls into, shortened to start at y,
// keeps its distance (the finder offers one at least as near), and a shorter
// token never costs more, with two exceptions. A 4-byte or longer match beyond
// the far pair's reach shortened to 2 bytes becomes two literals, 18 bits, still
// no more than the match. A 3-byte match at distance 257 to 512 (13 bits) cut to
// 2 bytes becomes a far pair (14 bits); that costs one bit more only when that
// token starts at x and y = x + 1. So rest(y) <= rest(x) for y >= x + 2. When a
// cheapest path steps from i to j, and a step from i of the same cost reaches
// j' >= j + 2, a path through j' is as cheap: trying the two longest lengths of
// every stretch of lengths that cost the same keeps a cheapest path.
#include "fa2/encode_tuning.h"
#include "fa2/fa2.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kLiteralCost = 9;
constexpr uint32_t kEndMarkerBits = 6;

// Bits of the length code for N = 3..282 (no byte field beyond N = 26 counts here
// separately: 00000 + byte is 13 bits).
constexpr uint32_t LengthCost(uint32_t n)
{
    return n == 3 ? 1 : n == 4 ? 2 : n <= 6 ? 4 : n <= 10 ? 6 : n <= 26 ? 9 : 13;
}

// Bits of a long match's distance code (prefix, byte, extra bits) for F = distance - 1.
constexpr uint32_t DistanceCost(uint32_t f)
{
    return f < 512 ? 10 : f < 1024 ? 11 : f < 2048 ? 13 : f < 4096 ? 15 : 16;
}

constexpr uint32_t MatchCost(uint32_t length, uint32_t distance)
{
    if (length == 2)
        return distance <= kFa2NearPairMaxDistance ? 11 : 14;
    return 2 + DistanceCost(distance - 1) + LengthCost(length);
}

// Per length 3..282 (with slack for the parse's masked steps past a match's
// end): the bits of the length code, and the longest length whose code costs
// the same.
struct LengthTables {
    uint8_t bits[kFa2MaxMatch + 5];
    uint16_t bucketEnd[kFa2MaxMatch + 5];
};

constexpr LengthTables MakeLengthTables()
{
    LengthTables t{};
    for (uint32_t n = kFa2MinMatch; n < kFa2MaxMatch + 5; ++n) {
        const uint32_t m = n < kFa2MaxMatch ? n : kFa2MaxMatch;
        t.bits[n] = static_cast<uint8_t>(LengthCost(m));
        uint32_t e = m;
        while (e < kFa2MaxMatch && LengthCost(e + 1) == LengthCost(m))
            ++e;
        t.bucketEnd[n] = static_cast<uint16_t>(e);
    }
    return t;
}

constexpr LengthTables kLengthTables = MakeLengthTables();

// Distance code bits by (distance - 1) >> 9.
constexpr uint8_t kDistanceCosts[16] = {10, 11, 13, 13, 15, 15, 15, 15, 16, 16, 16, 16, 16, 16, 16, 16};

static_assert(MatchCost(2, 256) == 11 && MatchCost(2, 257) == 14);
static_assert(MatchCost(282, 1) == 25 && MatchCost(3, 8192) == 19);
static_assert(kLengthTables.bucketEnd[5] == 6 && kLengthTables.bucketEnd[11] == 26 && kLengthTables.bucketEnd[27] == 282);

constexpr bool DistanceTableAgrees()
{
    for (uint32_t f = 0; f < kFa2WindowSize; ++f)
        if (kDistanceCosts[f >> 9] != DistanceCost(f))
            return false;
    return true;
}
static_assert(DistanceTableAgrees());

struct BitWriter {
    uint8_t* out;
    size_t capacity;
    size_t position;
    size_t wordPosition;  // where the current flag word's 4 bytes are reserved
    uint32_t word;
    unsigned used;        // bits of `word` decided; 32 when a new word is due
    bool ok;
    uint64_t flagBits;
    uint64_t byteFields;

    void Bit(unsigned bit)
    {
        if (used == 32) {
            Flush();
            if (capacity - position < 4) {
                ok = false;
                return;
            }
            wordPosition = position;
            position += 4;
            word = 0;
            used = 0;
        }
        word |= static_cast<uint32_t>(bit & 1) << (31 - used);
        ++used;
        ++flagBits;
    }
    void Bits(uint32_t value, unsigned count)
    {
        if (used + count <= 32) {
            // The whole field fits the current word (`count` is at most 9).
            word |= (value & ((1u << count) - 1)) << (32 - used - count);
            used += count;
            flagBits += count;
            return;
        }
        while (count--)
            Bit(value >> count);
    }
    void Byte(uint32_t value)
    {
        ++byteFields;
        if (position == capacity) {
            ok = false;
            return;
        }
        out[position++] = static_cast<uint8_t>(value);
    }
    void Flush()
    {
        if (wordPosition != SIZE_MAX) {
            const uint32_t w = word;
            std::memcpy(out + wordPosition, &w, 4);
        }
    }
};

void EmitLiteral(BitWriter& w, uint8_t byte)
{
    w.Bit(1);
    w.Byte(byte);
}

// Codes of a long match as table rows, which spares the emitter a mispredicted
// branch per field. The distance code by (distance - 1) >> 9: the prefix bits
// (which follow 00), how far F shifts down for the byte (also the number of extra
// bits), and the byte's offset.
struct DistanceCode {
    uint8_t prefix;
    uint8_t prefixBits;
    uint8_t shift;
    uint16_t base;
};

constexpr DistanceCode kDistanceCodes[16] = {
    {0b1, 1, 1, 0},      {0b01, 2, 1, 256},   {0b001, 3, 2, 256},  {0b001, 3, 2, 256},
    {0b0001, 4, 3, 256}, {0b0001, 4, 3, 256}, {0b0001, 4, 3, 256}, {0b0001, 4, 3, 256},
    {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256},
    {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256}, {0b0000, 4, 4, 256},
};

// The length code of N = 3..26 as one field: prefix and extra bits together.
struct LengthCode {
    uint16_t value;
    uint8_t bits;
};

constexpr LengthCode MakeLengthCode(uint32_t n)
{
    return n == 3    ? LengthCode{0b1, 1}
           : n == 4  ? LengthCode{0b01, 2}
           : n <= 6  ? LengthCode{static_cast<uint16_t>(0b001 << 1 | (n - 5)), 4}
           : n <= 10 ? LengthCode{static_cast<uint16_t>(0b0001 << 2 | (n - 7)), 6}
                     : LengthCode{static_cast<uint16_t>(0b00001 << 4 | (n - 11)), 9};
}

struct LengthCodeTable {
    LengthCode codes[27];
};

constexpr LengthCodeTable MakeLengthCodes()
{
    LengthCodeTable t{};
    for (uint32_t n = kFa2MinMatch; n < 27; ++n)
        t.codes[n] = MakeLengthCode(n);
    return t;
}

constexpr LengthCodeTable kLengthCodes = MakeLengthCodes();

static_assert(kLengthCodes.codes[26].value == 0b000011111 && kLengthCodes.codes[26].bits == 9);

void EmitMatch(BitWriter& w, uint32_t length, uint32_t distance)
{
    if (length == 2) {
        if (distance <= kFa2NearPairMaxDistance) {
            w.Bits(0b010, 3);
            w.Byte(distance - 1);
        } else {
            const uint32_t v = distance - 257;
            w.Bits(0b011, 3);
            w.Byte(v >> 3);
            w.Bits(v & 7, 3);
        }
        return;
    }
    const uint32_t f = distance - 1;
    const DistanceCode& code = kDistanceCodes[f >> 9];
    w.Bits(code.prefix, 2 + code.prefixBits);  // 00, then the prefix
    w.Byte((f >> code.shift) - code.base);
    w.Bits(f & ((1u << code.shift) - 1), code.shift);
    if (length < 27) {
        w.Bits(kLengthCodes.codes[length].value, kLengthCodes.codes[length].bits);
    } else {
        w.Bits(0b00000, 5);
        w.Byte(length - 27);
    }
}

void EmitEndMarker(BitWriter& w)
{
    w.Bits(0b011, 3);
    w.Byte(0xFF);
    w.Bits(0b111, 3);
}

// Length of the common prefix of a and b, known to be at least `from`, at most
// `limit` (both readable up to it). Eight bytes at a time while that stays inside.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t limit)
{
    uint32_t len = from;
    while (limit - len >= 8) {
        uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (x != y)
            return len + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
        len += 8;
    }
    while (len < limit && a[len] == b[len])
        ++len;
    return len;
}

// mask ? a : b for a mask of all ones or zeros, computed rather than branched on.
inline uint32_t Select(uint32_t mask, uint32_t a, uint32_t b) { return b ^ ((a ^ b) & mask); }

// Binary-tree match finder over the window. Tables hold positions plus kBias, so
// that 0 (zeroed memory, which large calloc blocks get for free) means none and
// none, like a position that has left the window, lies more than the window away.
class MatchFinder {
public:
    struct Match {
        uint16_t length;
        uint16_t distance;
    };

    MatchFinder() = default;
    MatchFinder(const MatchFinder&) = delete;
    MatchFinder& operator=(const MatchFinder&) = delete;
    ~MatchFinder()
    {
        std::free(pairHead_);
        std::free(treeHead_);
        std::free(tripleHead_);
        std::free(tripleChain_);
        std::free(son_);
    }

    // Sizes the tables for `n` input bytes.
    bool Init(uint32_t n)
    {
        treeBits_ = std::bit_width(n) < 8 ? 8 : std::bit_width(n) > 16 ? 16 : std::bit_width(n);
        pairHead_ = static_cast<uint32_t*>(std::calloc(kPairKeys, sizeof(uint32_t)));
        treeHead_ = static_cast<uint32_t*>(std::calloc(size_t{1} << treeBits_, sizeof(uint32_t)));
        tripleHead_ = static_cast<uint32_t*>(std::calloc(size_t{1} << treeBits_, sizeof(uint32_t)));
        // Every insertion writes its chain entry and both links of its node before
        // anything reads them, so these start uninitialised (and untouched pages
        // cost nothing).
        tripleChain_ = static_cast<uint32_t*>(std::malloc(size_t{kCycle} * sizeof(uint32_t)));
        son_ = static_cast<uint32_t*>(std::malloc(2 * size_t{kCycle} * sizeof(uint32_t)));
        return pairHead_ && treeHead_ && tripleHead_ && tripleChain_ && son_;
    }

    // Inserts position `p` and stores in `matches` the cheapest candidates: strictly
    // increasing lengths (2 to `limit`), each with the smallest distance that
    // reaches it. Returns their count. Needs at least 2 bytes at `p`. Visits at
    // most `depth` tree nodes when kLimited.
    //
    // Length 2 comes from the newest position with the same two bytes, length 3
    // from the newest with the same three. Longer matches come from a tree of the
    // positions whose first four bytes hash alike: every position sharing four
    // bytes with `p` is in it, so the walk still meets the nearest one of each
    // length, and the trees stay shallow. The walk is most of the encoder's time,
    // so keying the trees by four bytes rather than three pays for the chain.
    template <bool kLimited>
    uint32_t Find(const uint8_t* data, uint32_t p, uint32_t limit, uint32_t depth, Match* matches)
    {
        Match* out = matches;
        uint32_t root;
        if (Start(data, p, limit, out, root)) {
            // An empty tree, common in data with few repeats, needs no walk.
            if (p + kBias - root <= kFa2WindowSize)
                out = WalkTree<kLimited>(data + p, p + kBias, limit, root, depth, out);
            else
                std::memset(&son_[Node(p + kBias)], 0, 8);
        }
        return static_cast<uint32_t>(out - matches);
    }

private:
    // Looks up and inserts the pair head, the triple chain and the tree root of
    // `p`, storing the pair and triple candidates at `out`. Returns true when a
    // tree walk from `root` follows.
    bool Start(const uint8_t* data, uint32_t p, uint32_t limit, Match*& out, uint32_t& root)
    {
        const uint8_t* const cur = data + p;
        const uint32_t self = p + kBias;
        const uint32_t pairKey = cur[0] | (cur[1] << 8);
        const uint32_t pairDistance = self - pairHead_[pairKey];
        pairHead_[pairKey] = self;
        if (pairDistance <= kFa2WindowSize)
            *out++ = {2, static_cast<uint16_t>(pairDistance)};
        if (limit < 3)
            return false;
        // The nearest three-byte match: the newest position whose three bytes hash
        // alike, or an older one along the chain when the bytes differ. A match
        // this long is also the shortest that the tree records.
        const uint32_t tripleKey = TripleKey(cur);
        uint32_t triple = tripleHead_[tripleKey];
        tripleHead_[tripleKey] = self;
        tripleChain_[p & (kCycle - 1)] = triple;
        const uint32_t head = cur[0] | cur[1] << 8 | cur[2] << 16;
        for (;;) {
            const uint32_t distance = self - triple;
            if (distance > kFa2WindowSize)
                break;
            uint32_t bytes;
            std::memcpy(&bytes, cur - distance, 4);
            if (((bytes ^ head) & 0xFFFFFF) == 0) {
                *out++ = {3, static_cast<uint16_t>(distance)};
                break;
            }
            triple = tripleChain_[(triple - kBias) & (kCycle - 1)];
        }
        if (limit < 4)
            return false;
        const uint32_t treeKey = TreeKey(cur);
        root = treeHead_[treeKey];
        treeHead_[treeKey] = self;
        // The three heads are random accesses into tables larger than the first
        // level caches, and waiting on them is a large part of the encoder's time:
        // fetch a later position's heads now, and the next position's root node
        // (its head fetched earlier).
        if (limit > kAhead + 3) {
            const uint8_t* const ahead = cur + kAhead;
            __builtin_prefetch(&pairHead_[ahead[0] | ahead[1] << 8]);
            __builtin_prefetch(&tripleHead_[TripleKey(ahead)]);
            __builtin_prefetch(&treeHead_[TreeKey(ahead)]);
            __builtin_prefetch(&son_[Node(treeHead_[TreeKey(cur + 1)])]);
        }
        return true;
    }

    // Walks the tree from `root`, hanging `self` (its bytes at `cur`) in as the
    // new root, and stores at `out` each candidate longer than all before it.
    // Every node still to be met shares the smaller of belowLength and
    // aboveLength with cur; each node met hangs below cur's lower or higher
    // open link. The step selects instead of branching on the comparison, which
    // goes either way at random, and keeps the chain of dependent loads short:
    // both links of a node are read at once, and the order comes from the
    // compared words, not from a further load. Kept out of line: inlined into
    // the parse, the walk's state lived on the stack and every step paid for it.
    template <bool kLimited>
    [[gnu::noinline]] Match* WalkTree(const uint8_t* cur, uint32_t self, uint32_t limit, uint32_t candidate,
                                      uint32_t depth, Match* out)
    {
        uint32_t* const son = son_;
        uint32_t belowSlot = Node(self);
        uint32_t aboveSlot = belowSlot + 1;
        uint32_t belowLength = 0, aboveLength = 0;
        uint32_t longest = 3;  // no candidate this short or shorter comes from the tree
        for (;;) {
            const uint32_t distance = self - candidate;
            if (distance > kFa2WindowSize || (kLimited && depth-- == 0))
                break;
            const uint32_t node = Node(candidate);
            uint64_t links;  // lower in the low half, higher in the high half
            std::memcpy(&links, &son[node], 8);
            const uint8_t* const pb = cur - distance;
            uint32_t len = belowLength < aboveLength ? belowLength : aboveLength;
            uint64_t x, y;
            uint32_t isBelow;
            if (limit - len >= 8 && (std::memcpy(&x, pb + len, 8), std::memcpy(&y, cur + len, 8), x != y)) {
                len += static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
                // Little-endian words compare as strings once byte-swapped.
                isBelow = __builtin_bswap64(x) < __builtin_bswap64(y);
            } else {
                len = CommonLength(pb, cur, len, limit);
                if (len == limit) {
                    // Equal as far as it can matter: the new node replaces the old one.
                    *out = {static_cast<uint16_t>(len), static_cast<uint16_t>(distance)};
                    out += len > longest;
                    son[belowSlot] = static_cast<uint32_t>(links);
                    son[aboveSlot] = static_cast<uint32_t>(links >> 32);
                    return out;
                }
                isBelow = pb[len] < cur[len];
            }
            *out = {static_cast<uint16_t>(len), static_cast<uint16_t>(distance)};
            out += len > longest;
            longest = len > longest ? len : longest;
            const uint32_t mask = 0u - isBelow;
            son[Select(mask, belowSlot, aboveSlot)] = candidate;
            belowSlot = Select(mask, node + 1, belowSlot);
            aboveSlot = Select(mask, aboveSlot, node);
            belowLength = Select(mask, len, belowLength);
            aboveLength = Select(mask, aboveLength, len);
            candidate = static_cast<uint32_t>(links >> (mask & 32));
        }
        son[belowSlot] = son[aboveSlot] = 0;
        return out;
    }

    uint32_t TripleKey(const uint8_t* p) const
    {
        return ((p[0] << 16 | p[1] << 8 | p[2]) * 2654435761u) >> (32 - treeBits_);
    }
    uint32_t TreeKey(const uint8_t* p) const
    {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return (v * 2654435761u) >> (32 - treeBits_);
    }

    // Positions share a node of the cycle only when more than the window apart.
    static constexpr uint32_t kCycle = 2 * kFa2WindowSize;
    static constexpr uint32_t Node(uint32_t biased) { return 2 * ((biased - kBias) & (kCycle - 1)); }

    static constexpr uint32_t kBias = kFa2WindowSize + 1;
    static constexpr uint32_t kAhead = 2;  // how many positions ahead the heads are fetched
    static constexpr uint32_t kPairKeys = 65536;
    uint32_t* pairHead_ = nullptr;     // exact two-byte keys
    uint32_t* tripleHead_ = nullptr;   // hashed three-byte keys
    uint32_t* tripleChain_ = nullptr;  // per position of the cycle: the next older one of its key
    uint32_t* treeHead_ = nullptr;     // hashed four-byte keys
    uint32_t* son_ = nullptr;          // two links per position of the cycle: lower, higher
    uint32_t treeBits_ = 16;
};

// A parse step: what it weighs to reach a position in the high 42 bits, the token
// that reaches it (length, distance - 1) in the low 22, so that one unsigned
// minimum keeps the lighter of two steps without a branch. The weight is the
// bits, scaled by 2^19 and plus the count of pairs and long matches on the path
// when a segment is short enough for that count to stay below 2^19 (its bits then
// stay below 2^23): among the cheapest paths the parse takes one with the fewest
// tokens, which expands fastest, at no cost in bits. A longer segment weighs bits
// alone.
constexpr unsigned kWeightShift = 22;

constexpr uint64_t Step(uint64_t weight, uint32_t length, uint32_t distance)
{
    return weight << kWeightShift | length << 13 | (distance - 1);
}
constexpr uint32_t StepLength(uint64_t step) { return static_cast<uint32_t>(step >> 13) & 0x1FF; }
constexpr uint32_t StepDistance(uint64_t step) { return (static_cast<uint32_t>(step) & 0x1FFF) + 1; }
constexpr uint64_t kUnreached = UINT64_MAX;
static_assert(StepLength(Step(5, kFa2MaxMatch, kFa2WindowSize)) == kFa2MaxMatch &&
              StepDistance(Step(5, kFa2MaxMatch, kFa2WindowSize)) == kFa2WindowSize);

inline void Relax(uint64_t& slot, uint64_t step) { slot = step < slot ? step : slot; }

}  // namespace

size_t Fa2CompressBound(size_t length)
{
    // All literals: 9 bits each, plus the end marker, plus a partly used last word.
    return length + length / 8 + 16;
}

size_t Fa2CompressTuned(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength,
                        const Fa2EncodeTuning& tuning, Fa2EncodeStats* stats)
{
    if (inLength > 0x7FFFFFFF || tuning.segmentLength == 0)
        return 0;
    const uint32_t n = static_cast<uint32_t>(inLength);
    // A segment's costs stay below 2^32 bits (at most 9 a position).
    constexpr uint32_t kLongestSegment = 1u << 28;
    uint32_t segmentLength = tuning.segmentLength < kLongestSegment ? tuning.segmentLength : kLongestSegment;
    segmentLength = n < segmentLength ? (n ? n : 1) : segmentLength;

    MatchFinder finder;
    if (!finder.Init(n))
        return 0;
    // Four slack steps past the segment's end take the parse's masked tries.
    std::unique_ptr<uint64_t[]> step(new (std::nothrow) uint64_t[segmentLength + 5]);
    if (!step)
        return 0;

    BitWriter w{out, outCapacity, 0, SIZE_MAX, 0, 32, true, 0, 0};
    // One spare: the finder stores before counting.
    MatchFinder::Match matches[kFa2MaxMatch + 1];

    uint64_t matchCount = 0;
    for (uint32_t start = 0; start < n; start += segmentLength) {
        const uint32_t end = n - start < segmentLength ? n : start + segmentLength;
        const uint32_t span = end - start;
        const bool tieBreak = span <= kFa2LongestTieBreakSegment;
        const unsigned bitShift = tieBreak ? 19 : 0;
        const uint64_t tokenWeight = tieBreak ? 1 : 0;
        step[0] = 0;
        for (uint32_t i = 1; i < span + 5; ++i)
            step[i] = kUnreached;

        // Steps are sums of parts, as no field carries into the next: the weight
        // of the step a token starts from, the token's own weight and length, and
        // its distance - 1. Per length, the length code's bits and the length;
        // per (distance - 1) >> 9, the rest of a long match's bits. (A distance of
        // 1 adds nothing to the low bits.)
        uint64_t lengthSteps[kFa2MaxMatch + 5];
        for (uint32_t len = kFa2MinMatch; len < kFa2MaxMatch + 5; ++len)
            lengthSteps[len] = Step(uint64_t{kLengthTables.bits[len]} << bitShift, len, 1);
        uint64_t distanceSteps[16];
        for (uint32_t c = 0; c < 16; ++c)
            distanceSteps[c] = Step(tokenWeight + ((2u + kDistanceCosts[c]) << bitShift), 0, 1);
        const uint64_t literalStep = Step(kLiteralCost << bitShift, 1, 1);
        const uint64_t pairStep = Step(tokenWeight, 2, 1);
        constexpr uint64_t kWeightMask = ~((uint64_t{1} << kWeightShift) - 1);
        constexpr uint64_t kOneLength = Step(0, 1, 1);

        uint32_t committedTo = 0;  // relative position before which a taken match runs
        // Tries the tokens from relative position i, given its candidates.
        auto tryTokens = [&](uint32_t i, const MatchFinder::Match* candidates, uint32_t found) {
            const uint64_t here = step[i] & kWeightMask;
            uint64_t* const to = &step[i];
            Relax(to[1], here + literalStep);
            if (i < committedTo || found == 0)
                return;
            const uint32_t room = span - i;
            if (room < 2)
                return;
            // The first candidate is the nearest pair: a position sharing more bytes
            // also shares the first two, and the pair head is the newest of those.
            const uint32_t pairDistance = candidates[0].distance;
            Relax(to[2], pairDistance <= kFa2FarPairMaxDistance
                             ? here + pairStep + (uint64_t{MatchCost(2, pairDistance)} << bitShift << kWeightShift) +
                                   (pairDistance - 1)
                             : kUnreached);
            // The second is the nearest triple, when there is any candidate more.
            if (found < 2 || room < 3)
                return;
            const uint32_t tripleDistance = candidates[1].distance;
            Relax(to[3], here + distanceSteps[(tripleDistance - 1) >> 9] + lengthSteps[3] + (tripleDistance - 1));
            uint32_t shorter = 3;
            for (uint32_t m = 2; m < found && shorter < room; ++m) {
                const uint32_t distance = candidates[m].distance;
                const uint32_t longest = candidates[m].length < room ? candidates[m].length : room;
                const uint64_t from = here + distanceSteps[(distance - 1) >> 9] + (distance - 1);
                // Lengths shorter + 1 to longest come from this distance. The first
                // four are tried without a branch (past `longest` they lose to
                // anything); beyond them, the two longest lengths of each stretch
                // of one length-code size (see the note at the top).
                uint64_t* const at = to + shorter;
                const uint64_t* const lengthStep = lengthSteps + shorter;
                const uint32_t reach = longest - shorter;  // at least 1: lengths grow
                Relax(at[1], from + lengthStep[1]);
                for (uint32_t k = 2; k <= 4; ++k)
                    Relax(at[k], (from + lengthStep[k]) | (uint64_t{0} - (k > reach)));
                for (uint32_t len = shorter + 5; len <= longest;) {
                    const uint32_t last = kLengthTables.bucketEnd[len] < longest ? kLengthTables.bucketEnd[len] : longest;
                    const uint64_t cost = from + lengthSteps[last];
                    Relax(to[last - 1], cost - kOneLength);
                    Relax(to[last], cost);
                    len = last + 1;
                }
                shorter = longest;
            }
            if (candidates[found - 1].length >= tuning.commitLength)
                committedTo = i + candidates[found - 1].length;
        };
        // The tree holds every position, so its search runs even where the parse
        // tries nothing; tokens stop at the segment's end.
        const bool unlimited = tuning.searchDepth == UINT32_MAX;
        for (uint32_t i = 0; i < span; ++i) {
            const uint32_t p = start + i;
            const uint32_t limit = n - p < kFa2MaxMatch ? n - p : kFa2MaxMatch;
            uint32_t found = 0;
            if (limit >= 2)
                found = unlimited ? finder.Find<false>(in, p, limit, 0, matches)
                                  : finder.Find<true>(in, p, limit, tuning.searchDepth, matches);
            tryTokens(i, matches, found);
        }

        // Walk the cheapest path back, leaving in the high half of each step on it
        // (its cost no longer needed) where the token from there ends; then write
        // the tokens forwards. The low halves keep the token that reaches each step.
        for (uint32_t i = span; i > 0;) {
            const uint32_t from = i - StepLength(step[i]);
            step[from] = (step[from] & ((uint64_t{1} << kWeightShift) - 1)) | uint64_t{i} << 32;
            i = from;
        }
        for (uint32_t at = 0; at < span;) {
            const uint32_t next = static_cast<uint32_t>(step[at] >> 32);
            const uint32_t len = next - at;
            if (len == 1) {
                EmitLiteral(w, in[start + at]);
            } else {
                EmitMatch(w, len, StepDistance(step[next]));
                ++matchCount;
            }
            at = next;
        }
        if (!w.ok)
            return 0;
    }
    EmitEndMarker(w);
    if (!w.ok)
        return 0;
    w.Flush();
    if (stats) {
        stats->flagBits = w.flagBits;
        stats->byteFields = w.byteFields;
        stats->matches = matchCount;
    }
    return w.position;
}

size_t Fa2Compress(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength)
{
    return Fa2CompressTuned(out, outCapacity, in, inLength, kFa2DefaultTuning, nullptr);
}
