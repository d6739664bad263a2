// FA2 stream encoder: an optimal parse over exact bit costs.
//
// Every flag bit costs one bit of a 32-bit flag word and every byte field eight
// bits, so a token's cost is a fixed number of bits and the cost of a parse is
// the sum over its tokens. The shortest path over input positions therefore
// gives the fewest bits; only the padding of the last flag word (under 4 bytes)
// lies outside the sum.
//
// The match finder is a binary tree per two-byte prefix over the 8 KiB window,
// newest position at the root. Walking it from the root meets older positions
// only, and meets the newest position of every common-prefix length, so it
// yields for each length the smallest distance, which is the cheapest.
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

struct LengthCostTable {
    uint8_t bits[kFa2MaxMatch + 1];
};

constexpr LengthCostTable MakeLengthCosts()
{
    LengthCostTable t{};
    for (uint32_t n = kFa2MinMatch; n <= kFa2MaxMatch; ++n)
        t.bits[n] = static_cast<uint8_t>(LengthCost(n));
    return t;
}

constexpr LengthCostTable kLengthCosts = MakeLengthCosts();

static_assert(MatchCost(2, 256) == 11 && MatchCost(2, 257) == 14);
static_assert(MatchCost(282, 1) == 25 && MatchCost(3, 8192) == 19);

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
            // The whole field fits the current word (`count` is at most 8).
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
    w.Bits(0b00, 2);
    const uint32_t f = distance - 1;
    if (f < 512) {
        w.Bit(1);
        w.Byte(f >> 1);
        w.Bits(f & 1, 1);
    } else if (f < 1024) {
        w.Bits(0b01, 2);
        w.Byte((f >> 1) - 256);
        w.Bits(f & 1, 1);
    } else if (f < 2048) {
        w.Bits(0b001, 3);
        w.Byte((f >> 2) - 256);
        w.Bits(f & 3, 2);
    } else if (f < 4096) {
        w.Bits(0b0001, 4);
        w.Byte((f >> 3) - 256);
        w.Bits(f & 7, 3);
    } else {
        w.Bits(0b0000, 4);
        w.Byte((f >> 4) - 256);
        w.Bits(f & 15, 4);
    }
    if (length == 3) {
        w.Bit(1);
    } else if (length == 4) {
        w.Bits(0b01, 2);
    } else if (length <= 6) {
        w.Bits(0b001, 3);
        w.Bits(length - 5, 1);
    } else if (length <= 10) {
        w.Bits(0b0001, 4);
        w.Bits(length - 7, 2);
    } else if (length <= 26) {
        w.Bits(0b00001, 5);
        w.Bits(length - 11, 4);
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

// Binary-tree match finder over the window. Positions are absolute input offsets.
class MatchFinder {
public:
    static constexpr int32_t kNone = -1;

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
        std::free(son_);
    }

    // Sizes the tables for `n` input bytes. The heads hold position + 1 (0: none),
    // so that zeroed memory, which large calloc blocks get for free, is empty.
    bool Init(uint32_t n)
    {
        // Positions share a slot of the cycle only when more than the window
        // apart; a short input never wraps at all.
        const uint32_t cycle = n < 16384 ? std::bit_ceil(n < 2 ? 2u : n) : 16384;
        cycleMask_ = cycle - 1;
        treeBits_ = std::bit_width(n) < 8 ? 8 : std::bit_width(n) > 16 ? 16 : std::bit_width(n);
        pairHead_ = static_cast<uint32_t*>(std::calloc(kPairKeys, sizeof(uint32_t)));
        treeHead_ = static_cast<uint32_t*>(std::calloc(size_t{1} << treeBits_, sizeof(uint32_t)));
        son_ = static_cast<int32_t*>(std::malloc(2 * size_t{cycle} * sizeof(int32_t)));
        return pairHead_ && treeHead_ && son_;
    }

    // Inserts position `p` and stores in `matches` the cheapest candidates: strictly
    // increasing lengths (2 to `limit`), each with the smallest distance that
    // reaches it. Returns their count. Needs at least 2 bytes at `p`.
    //
    // Length 2 comes from the newest position with the same two bytes. Longer
    // matches come from a tree of the positions whose first three bytes hash
    // alike: every position sharing three bytes with `p` is in it, so the walk
    // still meets the nearest one of each length, and the trees stay shallow.
    uint32_t Find(const uint8_t* data, uint32_t p, uint32_t limit, uint32_t depth, Match* matches)
    {
        const uint8_t* const cur = data + p;
        const uint32_t pairKey = cur[0] | (cur[1] << 8);
        const int32_t pairCandidate = static_cast<int32_t>(pairHead_[pairKey]) - 1;
        pairHead_[pairKey] = p + 1;
        uint32_t count = 0;
        if (pairCandidate != kNone && p - static_cast<uint32_t>(pairCandidate) <= kFa2WindowSize)
            matches[count++] = {2, static_cast<uint16_t>(p - static_cast<uint32_t>(pairCandidate))};
        if (limit < 3)
            return count;
        const uint32_t treeKey = TreeKey(cur);
        int32_t candidate = static_cast<int32_t>(treeHead_[treeKey]) - 1;
        treeHead_[treeKey] = p + 1;
        // The next position's root is a random access; start it early.
        if (limit > 3) {
            const uint32_t next = treeHead_[TreeKey(cur + 1)];
            if (next)
                __builtin_prefetch(&son_[2 * ((next - 1) & cycleMask_)]);
        }
        // Index 1: where the next node below cur hangs, and its common length with
        // cur; index 0 the same above cur. Indexing by the comparison instead of
        // branching on it spares a mispredicted branch per visited node.
        int32_t* slot[2] = {&son_[2 * (p & cycleMask_) + 1], &son_[2 * (p & cycleMask_)]};
        uint32_t sideLength[2] = {0, 0};
        uint32_t best = 2;
        for (;;) {
            if (candidate == kNone || p - static_cast<uint32_t>(candidate) > kFa2WindowSize || depth-- == 0) {
                *slot[0] = *slot[1] = kNone;
                return count;
            }
            const uint32_t distance = p - static_cast<uint32_t>(candidate);
            int32_t* const pair = &son_[2 * (static_cast<uint32_t>(candidate) & cycleMask_)];
            const uint8_t* const pb = cur - distance;
            uint32_t len = sideLength[0] < sideLength[1] ? sideLength[0] : sideLength[1];
            len = CommonLength(pb, cur, len, limit);
            matches[count] = {static_cast<uint16_t>(len), static_cast<uint16_t>(distance)};
            count += len > best;
            best = len > best ? len : best;
            if (len == limit) {
                // Equal as far as it can matter: the new node replaces the old one.
                *slot[1] = pair[0];
                *slot[0] = pair[1];
                return count;
            }
            const unsigned below = pb[len] < cur[len];
            *slot[below] = candidate;
            slot[below] = pair + below;
            candidate = pair[below];
            sideLength[below] = len;
        }
    }

private:
    uint32_t TreeKey(const uint8_t* p) const
    {
        return ((p[0] << 16 | p[1] << 8 | p[2]) * 2654435761u) >> (32 - treeBits_);
    }

    static constexpr uint32_t kPairKeys = 65536;
    uint32_t* pairHead_ = nullptr;  // exact two-byte keys
    uint32_t* treeHead_ = nullptr;  // hashed three-byte keys
    int32_t* son_ = nullptr;        // two links per position of the cycle
    uint32_t cycleMask_ = 0;
    uint32_t treeBits_ = 16;
};

constexpr uint32_t kUnreached = UINT32_MAX;

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
    const uint32_t segmentLength = n < tuning.segmentLength ? (n ? n : 1) : tuning.segmentLength;

    MatchFinder finder;
    if (!finder.Init(n))
        return 0;
    std::unique_ptr<uint32_t[]> price(new (std::nothrow) uint32_t[segmentLength + 1]);
    std::unique_ptr<uint16_t[]> fromLength(new (std::nothrow) uint16_t[segmentLength + 1]);
    std::unique_ptr<uint16_t[]> fromDistance(new (std::nothrow) uint16_t[segmentLength + 1]);
    std::unique_ptr<uint32_t[]> path(new (std::nothrow) uint32_t[segmentLength]);
    if (!price || !fromLength || !fromDistance || !path)
        return 0;

    BitWriter w{out, outCapacity, 0, SIZE_MAX, 0, 32, true, 0, 0};
    MatchFinder::Match matches[kFa2MaxMatch + 1];  // one spare: Find stores before counting

    for (uint32_t start = 0; start < n; start += segmentLength) {
        const uint32_t end = n - start < segmentLength ? n : start + segmentLength;
        const uint32_t span = end - start;
        price[0] = 0;
        for (uint32_t i = 1; i <= span; ++i)
            price[i] = kUnreached;

        uint32_t committedTo = 0;  // relative position before which a taken match runs
        for (uint32_t i = 0; i < span; ++i) {
            const uint32_t p = start + i;
            const uint32_t base = price[i];
            if (base + kLiteralCost < price[i + 1]) {
                price[i + 1] = base + kLiteralCost;
                fromLength[i + 1] = 1;
            }
            if (n - p < 2)
                continue;
            // The tree holds every position, so its search runs even where the parse
            // tries nothing; tokens stop at the segment's end.
            const uint32_t treeLimit = n - p < kFa2MaxMatch ? n - p : kFa2MaxMatch;
            const uint32_t found = finder.Find(in, p, treeLimit, tuning.searchDepth, matches);
            if (i < committedTo)
                continue;
            const uint32_t room = span - i;
            uint32_t shorter = 1;
            for (uint32_t m = 0; m < found && shorter < room; ++m) {
                const uint32_t distance = matches[m].distance;
                uint32_t longest = matches[m].length;
                if (longest > room)
                    longest = room;
                uint32_t len = shorter + 1;
                if (len == 2) {
                    if (distance <= kFa2FarPairMaxDistance && base + MatchCost(2, distance) < price[i + 2]) {
                        price[i + 2] = base + MatchCost(2, distance);
                        fromLength[i + 2] = 2;
                        fromDistance[i + 2] = static_cast<uint16_t>(distance);
                    }
                    ++len;
                }
                const uint32_t distanceBase = base + 2 + DistanceCost(distance - 1);
                for (; len <= longest; ++len) {
                    const uint32_t cost = distanceBase + kLengthCosts.bits[len];
                    if (cost < price[i + len]) {
                        price[i + len] = cost;
                        fromLength[i + len] = static_cast<uint16_t>(len);
                        fromDistance[i + len] = static_cast<uint16_t>(distance);
                    }
                }
                shorter = longest;
            }
            if (found && matches[found - 1].length >= tuning.commitLength)
                committedTo = i + matches[found - 1].length;
        }

        // Walk the cheapest path back, then write it forwards.
        uint32_t tokens = 0;
        for (uint32_t i = span; i > 0; i -= fromLength[i])
            path[tokens++] = i;
        uint32_t at = 0;
        while (tokens) {
            const uint32_t next = path[--tokens];
            const uint32_t len = next - at;
            if (len == 1)
                EmitLiteral(w, in[start + at]);
            else
                EmitMatch(w, len, fromDistance[next]);
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
    }
    return w.position;
}

size_t Fa2Compress(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength)
{
    return Fa2CompressTuned(out, outCapacity, in, inLength, kFa2DefaultTuning, nullptr);
}
