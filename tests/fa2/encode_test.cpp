// The encoder: round trips over varied data, and its parse against a brute-force
// optimum over every possible token.
#include "fa2/encode_tuning.h"
#include "fa2/fa2.h"
#include "tests/fa2/corpus.h"
#include "tests/fa2/stream_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using fa2test::FirstDifference;

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, const Fa2EncodeTuning& tuning = kFa2DefaultTuning,
                            Fa2EncodeStats* stats = nullptr)
{
    std::vector<uint8_t> stream(Fa2CompressBound(data.size()));
    const size_t n = Fa2CompressTuned(stream.data(), stream.size(), data.data(), data.size(), tuning, stats);
    EXPECT_GT(n, 0u) << "encoder failed";
    stream.resize(n);
    return stream;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, const Fa2EncodeTuning& tuning = kFa2DefaultTuning)
{
    const std::vector<uint8_t> stream = Encode(data, tuning);
    std::vector<uint8_t> back(data.size());
    size_t written = 0, consumed = 0;
    ASSERT_EQ(Fa2Decompress(back.data(), back.size(), stream.data(), stream.size(), &written, &consumed),
              kFa2DecodeOk);
    back.resize(written);
    EXPECT_EQ(FirstDifference(back, data), -1) << "round trip of " << data.size() << " bytes differs";
    EXPECT_EQ(consumed, stream.size()) << "stream length and its end marker disagree";
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& unit, size_t n)
{
    std::vector<uint8_t> v;
    while (v.size() < n)
        v.insert(v.end(), unit.begin(), unit.end());
    v.resize(n);
    return v;
}

// Copies of every length class from every distance class, some beyond the window,
// between short runs of random bytes: the parse meets long matches whose nearest
// distance changes inside a length class, and short ones at the distances where a
// far pair and a three-byte match cost about the same.
std::vector<uint8_t> Copies(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v = RandomBytes(64, seed);
    static const unsigned kLengths[] = {3, 4, 5, 6, 7, 10, 11, 26, 27, 100, 282, 300};
    static const unsigned kDistances[] = {1, 3, 256, 257, 300, 512, 513, 1024, 1025, 2048, 2303, 2304, 4096, 4097, 8192, 8193};
    while (v.size() < n) {
        if (rng() % 3 == 0) {
            for (unsigned k = 1 + rng() % 8; k > 0; --k)
                v.push_back(static_cast<uint8_t>(rng()));
            continue;
        }
        const unsigned length = rng() % 2 ? kLengths[rng() % 12] : 3 + rng() % 8;
        unsigned distance = rng() % 2 ? kDistances[rng() % 16] + rng() % 3 : 1 + rng() % 8200;
        if (distance > v.size())
            distance = static_cast<unsigned>(v.size());
        for (unsigned k = 0; k < length; ++k)
            v.push_back(v[v.size() - distance]);
    }
    v.resize(n);
    return v;
}

// The fewest bits and the fewest bytes over every parse, found without the
// encoder's match finder: for each position and length the nearest earlier
// occurrence, by brute force over the window, then a shortest path. The byte
// count tracks the fill of the current flag word (a new word costs 4 bytes).
struct Optimum {
    uint64_t bits;
    uint64_t bytes;
};

struct TokenCost {
    unsigned flagBits;
    unsigned byteFields;
};

TokenCost CostOf(unsigned length, unsigned distance)
{
    if (length == 1)
        return {1, 1};
    if (length == 2)
        return distance <= 256 ? TokenCost{3, 1} : TokenCost{6, 1};
    const unsigned f = distance - 1;
    // "00", then prefix + extra bits of the distance code, then the length code.
    unsigned flags = 2 + (f < 512 ? 2 : f < 1024 ? 3 : f < 2048 ? 5 : f < 4096 ? 7 : 8);
    unsigned bytes = 1;
    if (length == 3)
        flags += 1;
    else if (length == 4)
        flags += 2;
    else if (length <= 6)
        flags += 4;
    else if (length <= 10)
        flags += 6;
    else if (length <= 26)
        flags += 9;
    else
        flags += 5, bytes += 1;
    return {flags, bytes};
}

Optimum ReferenceOptimum(const std::vector<uint8_t>& d)
{
    const size_t n = d.size();
    constexpr uint64_t kInf = UINT64_MAX / 4;
    std::vector<uint64_t> bits(n + 1, kInf);
    // bytes[p * 32 + r]: fewest bytes to reach p with r flag bits used in the last word.
    std::vector<uint64_t> bytes((n + 1) * 32, kInf);
    bits[0] = 0;
    bytes[0] = 0;
    auto relax = [&](size_t from, size_t to, TokenCost c) {
        bits[to] = std::min(bits[to], bits[from] + c.flagBits + 8 * c.byteFields);
        for (unsigned r = 0; r < 32; ++r) {
            const uint64_t base = bytes[from * 32 + r];
            if (base == kInf)
                continue;
            // r == 0 means the last word is full (or none exists): the token opens one.
            const bool opens = r == 0 || r + c.flagBits > 32;
            const unsigned nr = (r + c.flagBits) % 32;
            uint64_t& slot = bytes[to * 32 + nr];
            slot = std::min(slot, base + (opens ? 4 : 0) + c.byteFields);
        }
    };
    std::vector<unsigned> nearest(283);
    for (size_t p = 0; p < n; ++p) {
        relax(p, p + 1, CostOf(1, 0));
        std::fill(nearest.begin(), nearest.end(), 0u);
        const size_t limit = std::min<size_t>(282, n - p);
        size_t filled = 1;
        for (size_t dist = 1; dist <= std::min<size_t>(p, 8192) && filled < limit; ++dist) {
            size_t len = 0;
            while (len < limit && d[p + len] == d[p - dist + len])
                ++len;
            for (; filled < len; ++filled)
                nearest[filled + 1] = static_cast<unsigned>(dist);
        }
        for (size_t len = 2; len <= limit && nearest[len]; ++len) {
            if (len == 2 && nearest[2] > 2303)
                continue;
            relax(p, p + len, CostOf(static_cast<unsigned>(len), nearest[len]));
        }
    }
    Optimum o{bits[n] + 14, kInf};
    for (unsigned r = 0; r < 32; ++r) {
        const uint64_t base = bytes[n * 32 + r];
        if (base != kInf)
            o.bytes = std::min(o.bytes, base + ((r == 0 || r + 6 > 32) ? 4 : 0) + 1);
    }
    return o;
}

// The fewest bits alone, fast enough for large inputs: the nearest earlier
// occurrence of each length comes from walking every earlier position in the
// window with the same first two bytes, and the shortest path tries every length.
uint64_t ReferenceBits(const std::vector<uint8_t>& d)
{
    const size_t n = d.size();
    constexpr uint64_t kInf = UINT64_MAX / 4;
    std::vector<uint64_t> bits(n + 1, kInf);
    bits[0] = 0;
    std::vector<int64_t> head(65536, -1), previous(n, -1);
    std::vector<unsigned> nearest(283);
    for (size_t p = 0; p < n; ++p) {
        bits[p + 1] = std::min(bits[p + 1], bits[p] + 9);
        if (n - p < 2)
            continue;
        const size_t limit = std::min<size_t>(282, n - p);
        size_t filled = 1;
        const unsigned key = d[p] | d[p + 1] << 8;
        for (int64_t q = head[key]; q >= 0 && p - q <= 8192 && filled < limit; q = previous[q]) {
            size_t len = 2;
            while (len < limit && d[p + len] == d[q + len])
                ++len;
            for (; filled < len; ++filled)
                nearest[filled + 1] = static_cast<unsigned>(p - q);
        }
        previous[p] = head[key];
        head[key] = static_cast<int64_t>(p);
        for (size_t len = 2; len <= filled; ++len) {
            if (len == 2 && nearest[2] > 2303)
                continue;
            const TokenCost c = CostOf(static_cast<unsigned>(len), nearest[len]);
            bits[p + len] = std::min(bits[p + len], bits[p] + c.flagBits + 8 * c.byteFields);
        }
    }
    return bits[n] + 14;
}

}  // namespace

TEST(Fa2Encode, RoundTripsOfVariedData)
{
    std::vector<std::vector<uint8_t>> inputs = {
        {},
        {0x00},
        {0xFF, 0xFF},
        {'a', 'b', 'a'},
        std::vector<uint8_t>(3, 'x'),
        std::vector<uint8_t>(281, 0),
        std::vector<uint8_t>(282, 0),
        std::vector<uint8_t>(283, 0),
        std::vector<uint8_t>(284, 0),
        std::vector<uint8_t>(100000, 0x20),
        RandomBytes(1, 1),
        RandomBytes(8191, 2),
        RandomBytes(8192, 3),
        RandomBytes(8193, 4),
        RandomBytes(70000, 5),
        fa2test::EnglishText(8192),
        fa2test::EnglishText(200000, 3),
        fa2test::MixedData(100000),
        Copies(100000, 1),
    };
    for (unsigned period = 2; period <= 9; ++period)
        inputs.push_back(Repeat(RandomBytes(period, period), 1000));
    for (size_t unit : {8191u, 8192u, 8193u})
        inputs.push_back(Repeat(RandomBytes(unit, 77), 3 * unit + 5));
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "input " << i << " of " << inputs[i].size() << " bytes");
        ExpectRoundTrip(inputs[i]);
    }
}

TEST(Fa2Encode, SegmentsAndCommitsKeepRoundTrips)
{
    // Short parse segments, early commits and shallow searches change the parse,
    // never the output.
    const Fa2EncodeTuning tunings[] = {
        {282, 1000, UINT32_MAX}, {3, 4096, 8}, {20, 1, 1}, {1000, 1u << 30, 0}, {282, 1u << 20, 16}};
    const std::vector<uint8_t> data = fa2test::MixedData(30000, 9);
    std::vector<uint8_t> runs = fa2test::EnglishText(5000);
    runs.insert(runs.end(), 3000, 'z');
    runs.insert(runs.end(), runs.begin(), runs.begin() + 4000);
    for (const Fa2EncodeTuning& t : tunings) {
        SCOPED_TRACE(testing::Message() << "commit " << t.commitLength << " segment " << t.segmentLength << " depth "
                                        << t.searchDepth);
        ExpectRoundTrip(data, t);
        ExpectRoundTrip(runs, t);
    }
}

TEST(Fa2Encode, UsesTheWholeWindowAndNoMore)
{
    // A random block repeated at exactly the window's distance is found...
    const std::vector<uint8_t> unit = RandomBytes(8192, 11);
    const std::vector<uint8_t> within = Repeat(unit, 2 * 8192);
    EXPECT_LT(Encode(within).size(), 8192 * 9 / 8 + 200u);
    // ...one byte further it is out of reach, and the data stays incompressible.
    const std::vector<uint8_t> beyond = Repeat(RandomBytes(8193, 11), 2 * 8193);
    EXPECT_GT(Encode(beyond).size(), 2 * 8193u);
}

TEST(Fa2Encode, IncompressibleDataStaysWithinTheBound)
{
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 31u, 32u, 33u, 1000u, 65536u}) {
        const std::vector<uint8_t> data = RandomBytes(n, static_cast<uint32_t>(n) + 100);
        const std::vector<uint8_t> stream = Encode(data);
        EXPECT_LE(stream.size(), Fa2CompressBound(n)) << n;
        // A too-small buffer is refused, not overrun.
        std::vector<uint8_t> small(stream.size() - 1 + 8, 0xA5);
        EXPECT_EQ(Fa2Compress(small.data(), stream.size() - 1, data.data(), data.size()), 0u) << n;
        for (size_t i = stream.size() - 1; i < small.size(); ++i)
            EXPECT_EQ(small[i], 0xA5) << "encoder wrote past its capacity, input " << n;
    }
}

TEST(Fa2Encode, ReproducesTheFormatExamples)
{
    // Where the cheapest parse is unique, the encoder gives the example streams exactly.
    EXPECT_EQ(Encode({}), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x7C, 0xFF}));
    EXPECT_EQ(Encode(fa2test::Bytes("ABABABABABAB")),
              (std::vector<uint8_t>{0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF}));
}

TEST(Fa2Encode, ParseIsOptimalInBits)
{
    // Against every possible token: the exact parse (no commits) spends exactly the
    // fewest bits, and its bytes differ from the true minimum only by the padding of
    // the last flag word.
    std::mt19937 rng(31);
    std::vector<std::vector<uint8_t>> inputs = {
        fa2test::EnglishText(2500, 5),
        fa2test::MixedData(2500, 6),
        RandomBytes(1500, 8),
        Repeat(fa2test::Bytes("abcab"), 700),
    };
    std::vector<uint8_t> small(2500);
    for (size_t i = 0; i < small.size(); ++i)
        small[i] = i > 10 && rng() % 3 ? small[i - 1 - rng() % 10] : static_cast<uint8_t>('a' + rng() % 4);
    inputs.push_back(small);
    std::vector<uint8_t> withRuns = fa2test::EnglishText(1200, 4);
    withRuns.insert(withRuns.end(), 700, 0);
    withRuns.insert(withRuns.end(), withRuns.begin() + 100, withRuns.begin() + 900);
    inputs.push_back(withRuns);
    inputs.push_back(Copies(9000, 7));
    // Short copies from 257 to 600 back, where a three-byte match (13 bits) cut to
    // a far pair (14 bits) costs more, among bytes of a small alphabet.
    std::vector<uint8_t> farPairs(3000);
    for (size_t i = 0; i < farPairs.size(); ++i)
        farPairs[i] = i > 600 && rng() % 2 ? farPairs[i - 257 - rng() % 344] : static_cast<uint8_t>('a' + rng() % 3);
    inputs.push_back(farPairs);

    const Fa2EncodeTuning& exact = kFa2ExactTuning;
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "input " << i);
        const Optimum best = ReferenceOptimum(inputs[i]);
        Fa2EncodeStats stats;
        const size_t size = Encode(inputs[i], exact, &stats).size();
        EXPECT_EQ(stats.flagBits + 8 * stats.byteFields, best.bits);
        EXPECT_GE(size, best.bytes);
        EXPECT_LE(size, best.bytes + 3);
        // The default parse commits to maximal matches in long repeats; it stays
        // within 0.1% of the optimum plus the last word's padding.
        const size_t fast = Encode(inputs[i]).size();
        EXPECT_LE(fast, best.bytes + best.bytes / 1000 + 3);
    }
}

TEST(Fa2Encode, DefaultParseWithinATenthOfAPercentOnLargeInputs)
{
    const Fa2EncodeTuning& exact = kFa2ExactTuning;
    std::vector<uint8_t> sparse(300000, 0);
    for (size_t i = 0; i < sparse.size(); i += 3001)
        sparse[i] = static_cast<uint8_t>(i);
    const std::vector<std::vector<uint8_t>> inputs = {fa2test::EnglishText(300000, 21), fa2test::MixedData(300000, 22),
                                                      sparse};
    for (const auto& data : inputs) {
        const size_t best = Encode(data, exact).size();
        const size_t fast = Encode(data).size();
        EXPECT_LE(fast * 1000, best * 1001) << fast << " vs " << best;
    }
}

TEST(Fa2Encode, ParseIsOptimalInBitsOnLargeInputs)
{
    // Against a reference that tries every length of every position, over inputs
    // long enough to fill the window many times; the default parse too.
    const std::vector<std::vector<uint8_t>> inputs = {fa2test::EnglishText(200000, 23), fa2test::MixedData(200000, 24),
                                                      Copies(200000, 25)};
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "input " << i);
        const uint64_t best = ReferenceBits(inputs[i]);
        for (const Fa2EncodeTuning& tuning : {kFa2ExactTuning, kFa2DefaultTuning}) {
            Fa2EncodeStats stats;
            Encode(inputs[i], tuning, &stats);
            EXPECT_EQ(stats.flagBits + 8 * stats.byteFields, best);
        }
    }
}

TEST(Fa2Encode, AmongTheCheapestParsesTakesFewerMatches)
{
    // One segment this long weighs bits alone; two halves also count matches, so
    // they take far fewer for the same bits but for the cut between them.
    const std::vector<uint8_t> data = fa2test::MixedData(600000, 26);
    Fa2EncodeStats bitsAlone, fewest;
    Encode(data, kFa2ExactTuning, &bitsAlone);
    Encode(data, {UINT32_MAX, 300000, UINT32_MAX}, &fewest);
    const uint64_t bits = bitsAlone.flagBits + 8 * bitsAlone.byteFields;
    EXPECT_LE(fewest.flagBits + 8 * fewest.byteFields, bits + bits / 10000);
    EXPECT_LT(fewest.matches * 100, bitsAlone.matches * 97) << fewest.matches << " vs " << bitsAlone.matches;
}

