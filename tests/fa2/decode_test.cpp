// Well-formed streams: the format's own examples byte for byte, every distance
// and length code, the pairs, overlapping copies and flag-word placement.
#include "fa2/fa2.h"
#include "tests/fa2/stream_builder.h"

#include <gtest/gtest.h>

#include <random>

using fa2test::Bytes;
using fa2test::FirstDifference;
using fa2test::StreamBuilder;

namespace {

struct Decoded {
    Fa2DecodeResult result;
    std::vector<uint8_t> out;
    size_t consumed;
};

// Decodes into a buffer of exactly `capacity` bytes followed by guard bytes that
// must survive: the decoder may use its buffer as scratch, never what follows it.
Decoded Decode(const std::vector<uint8_t>& stream, size_t capacity)
{
    std::vector<uint8_t> buffer(capacity + 64, 0xA5);
    // The input is copied to the end of an exactly sized block, so that ASan and
    // the guard below both see any read past the end.
    std::vector<uint8_t> input(stream);
    size_t written = 0, consumed = 0;
    const Fa2DecodeResult r = Fa2Decompress(buffer.data(), capacity, input.data(), input.size(), &written, &consumed);
    for (size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xA5) << "decoder wrote " << i - capacity << " bytes past its capacity";
    buffer.resize(written);
    return {r, buffer, consumed};
}

void ExpectDecodes(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& expected)
{
    const Decoded d = Decode(stream, expected.size());
    ASSERT_EQ(d.result, kFa2DecodeOk) << Fa2DecodeResultText(d.result);
    EXPECT_EQ(FirstDifference(d.out, expected), -1) << "output differs";
    EXPECT_EQ(d.consumed, stream.size());
}

}  // namespace

TEST(Fa2Decode, ExamplesOfTheFormat)
{
    // Empty stream: flag bits 011 111 (the end marker), then its byte FF.
    ExpectDecodes({0x00, 0x00, 0x00, 0x7C, 0xFF}, {});
    // Literals A, B; long match F = 1 (distance 2), N = 10; end marker.
    ExpectDecodes({0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF}, Bytes("ABABABABABAB"));

    // 32 literals fill the first word exactly: the second word follows the 32nd literal byte.
    const std::string digits = "0123456789abcdefghijklmnopqrstuv";
    std::vector<uint8_t> stream = {0xFF, 0xFF, 0xFF, 0xFF};
    stream.insert(stream.end(), digits.begin(), digits.end());
    const uint8_t tail[] = {0x00, 0x00, 0x00, 0xBE, 0x58, 0xFF};  // literal X, end marker
    stream.insert(stream.end(), tail, tail + sizeof tail);
    ExpectDecodes(stream, Bytes(digits + "X"));
}

TEST(Fa2Decode, WordBoundaryInsideATokenFollowsTheByteField)
{
    // First word: 29 literal bits, then 00 (long match) and the distance prefix 1,
    // which use its last bits. The distance byte comes next; only then the second
    // word, whose first bit is the distance's extra bit.
    std::vector<uint8_t> stream = {0xF9, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> expected;
    for (int i = 0; i < 29; ++i) {
        stream.push_back(static_cast<uint8_t>('a' + i % 26));
        expected.push_back(static_cast<uint8_t>('a' + i % 26));
    }
    stream.push_back(0x00);  // distance byte: F = 0 * 2 + x
    // Second word: x = 0 (distance 1), length 1 (N = 3), end marker 011 + 111.
    const uint8_t tail[] = {0x00, 0x00, 0x00, 0x5F, 0xFF};
    stream.insert(stream.end(), tail, tail + sizeof tail);
    expected.insert(expected.end(), 3, expected.back());
    ExpectDecodes(stream, expected);
}

TEST(Fa2Decode, EndMarkerStopsReading)
{
    // Bytes after the marker, and the rest of its word, are never consumed.
    const Decoded d = Decode({0x00, 0x00, 0x00, 0x7C, 0xFF, 0x12, 0x34, 0x56, 0x78, 0x9A}, 0);
    EXPECT_EQ(d.result, kFa2DecodeOk);
    EXPECT_EQ(d.consumed, 5u);
    // A far pair one below the marker (v = 2046) is a copy, not an end.
    StreamBuilder b;
    std::vector<uint8_t> expected;
    for (int i = 0; i < 2303; ++i) {
        b.Literal(static_cast<uint8_t>(i * 7));
        expected.push_back(static_cast<uint8_t>(i * 7));
    }
    b.FarValue(2046);
    b.End();
    expected.push_back(expected[0]);
    expected.push_back(expected[1]);
    ExpectDecodes(b.bytes, expected);
}

TEST(Fa2Decode, EveryDistanceAndLengthCode)
{
    // Boundaries of every distance prefix and every length code, in all pairings.
    const unsigned distances[] = {1, 2, 3, 4, 5, 7, 8, 9, 16, 255, 256, 257, 511, 512, 513, 1023, 1024, 1025,
                                  2047, 2048, 2049, 4095, 4096, 4097, 8191, 8192};
    const unsigned lengths[] = {3, 4, 5, 6, 7, 10, 11, 26, 27, 28, 100, 281, 282};
    std::mt19937 rng(7);
    for (unsigned distance : distances) {
        for (unsigned length : lengths) {
            StreamBuilder b;
            std::vector<uint8_t> expected;
            for (unsigned i = 0; i < distance; ++i) {
                const uint8_t v = static_cast<uint8_t>(rng());
                b.Literal(v);
                expected.push_back(v);
            }
            b.Long(distance, length);
            for (unsigned i = 0; i < length; ++i)
                expected.push_back(expected[expected.size() - distance]);
            b.Literal(0x5A);  // decoding goes on correctly after the match
            expected.push_back(0x5A);
            b.End();
            SCOPED_TRACE(testing::Message() << "distance " << distance << " length " << length);
            ExpectDecodes(b.bytes, expected);
        }
    }
}

TEST(Fa2Decode, NearAndFarPairsAtEveryDistance)
{
    std::vector<uint8_t> history;
    StreamBuilder b;
    for (unsigned i = 0; i < 2400; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * 31 + (i >> 8));
        b.Literal(v);
        history.push_back(v);
    }
    for (unsigned distance = 1; distance <= 2303; ++distance) {
        if (distance <= 256)
            b.Near(distance);
        else
            b.Far(distance);
        for (int i = 0; i < 2; ++i)
            history.push_back(history[history.size() - distance]);
    }
    b.End();
    ExpectDecodes(b.bytes, history);
}

TEST(Fa2Decode, OverlappingCopiesRepeatTheLastBytes)
{
    // Distances below the length replicate a pattern; each period is checked at
    // lengths around the copy widths (fills, 4- and 8-byte steps).
    for (unsigned period = 1; period <= 12; ++period) {
        for (unsigned length : {3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 33u, 282u}) {
            StreamBuilder b;
            std::vector<uint8_t> expected;
            for (unsigned i = 0; i < period; ++i) {
                b.Literal(static_cast<uint8_t>('A' + i));
                expected.push_back(static_cast<uint8_t>('A' + i));
            }
            b.Long(period, length);
            for (unsigned i = 0; i < length; ++i)
                expected.push_back(expected[expected.size() - period]);
            b.End();
            SCOPED_TRACE(testing::Message() << "period " << period << " length " << length);
            ExpectDecodes(b.bytes, expected);
        }
    }
    // A distance-1 match of 282 after one byte gives 283 equal bytes; a near pair
    // at distance 1 repeats the last byte twice.
    StreamBuilder b;
    b.Literal('z');
    b.Long(1, 282);
    b.Near(1);
    b.End();
    ExpectDecodes(b.bytes, std::vector<uint8_t>(285, 'z'));
}

TEST(Fa2Decode, AgreesWithTheByteRuleOnRandomTokenStreams)
{
    // Random mixes of every token, decoded by the fast decoder into exactly sized
    // buffers and by the reference rule; both must agree byte for byte.
    // The last trials are long, with stretches of many and of few literals, so the
    // decoder changes how it takes literal runs several times within one stream.
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 420; ++trial) {
        StreamBuilder b;
        size_t produced = 0;
        const bool longTrial = trial >= 400;
        const int tokens = static_cast<int>(longTrial ? 4000 + rng() % 4000 : rng() % 600);
        for (int t = 0; t < tokens; ++t) {
            const unsigned kind = rng() % 8;
            const bool fewLiterals = longTrial && (t / 1500) % 2 == 0;
            if (produced < 2 || (fewLiterals ? rng() % 32 == 0 : kind < 3)) {
                b.Literal(static_cast<uint8_t>(rng() % 6));
                ++produced;
            } else if (kind == 3) {
                b.Near(1 + rng() % (produced < 256 ? produced : 256));
                produced += 2;
            } else if (kind == 4 && produced >= 257) {
                const unsigned most = produced < 2303 ? static_cast<unsigned>(produced) : 2303;
                b.Far(257 + rng() % (most - 256));
                produced += 2;
            } else {
                const unsigned most = produced < 8192 ? static_cast<unsigned>(produced) : 8192;
                const unsigned distance = rng() % 3 ? 1 + rng() % (most < 12 ? most : 12) : 1 + rng() % most;
                const unsigned length = rng() % 4 ? 3 + rng() % 30 : 3 + rng() % 280;
                b.Long(distance, length);
                produced += length;
            }
        }
        b.End();
        std::vector<uint8_t> expected;
        size_t consumed = 0;
        ASSERT_TRUE(fa2test::ReferenceDecode(b.bytes, SIZE_MAX, &expected, &consumed));
        ASSERT_EQ(expected.size(), produced);
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        ExpectDecodes(b.bytes, expected);
    }
}
