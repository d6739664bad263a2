// Damaged streams: each is reported, and nothing is read or written outside the
// buffers (the guard bytes, and ASan in the fuzz build, watch for that).
#include "fa2/fa2.h"
#include "tests/fa2/stream_builder.h"

#include <gtest/gtest.h>

#include <random>

using fa2test::StreamBuilder;

namespace {

struct Case {
    const char* what;
    std::vector<uint8_t> stream;
    size_t capacity;
    Fa2DecodeResult expected;
};

Fa2DecodeResult DecodeDamaged(const std::vector<uint8_t>& stream, size_t capacity, size_t* written = nullptr)
{
    std::vector<uint8_t> out(capacity + 32, 0xA5);
    std::vector<uint8_t> in(stream);
    size_t w = 0, c = 0;
    const Fa2DecodeResult r = Fa2Decompress(out.data(), capacity, in.data(), in.size(), &w, &c);
    for (size_t i = capacity; i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xA5) << "write past capacity at +" << i - capacity;
    EXPECT_LE(w, capacity);
    EXPECT_LE(c, stream.size());
    if (written)
        *written = w;
    return r;
}

std::vector<uint8_t> Digits32()
{
    std::vector<uint8_t> s = {0xFF, 0xFF, 0xFF, 0xFF};  // 32 literal bits
    for (int i = 0; i < 32; ++i)
        s.push_back(static_cast<uint8_t>('0' + i % 10));
    return s;
}

}  // namespace

TEST(Fa2CorruptStream, EachDamageIsReported)
{
    std::vector<Case> cases = {
        {"no input at all", {}, 16, kFa2DecodeInputOverrun},
        {"first flag word cut to 3 bytes", {0x00, 0x00, 0x7C}, 16, kFa2DecodeInputOverrun},
        // flag 1 = literal, but the stream ends before its byte
        {"literal without its byte", {0x00, 0x00, 0x00, 0x80}, 16, kFa2DecodeInputOverrun},
        // flags 011 111 = end marker, but its byte FF is missing
        {"end marker without its byte", {0x00, 0x00, 0x00, 0x7C}, 16, kFa2DecodeInputOverrun},
        // flags 010 = near pair distance 1, byte 00, with no output yet
        {"near pair before any output", {0x00, 0x00, 0x00, 0x40, 0x00}, 16, kFa2DecodeBadDistance},
        // flags 1 (literal 41), 011 + byte 00 + 000 = far pair distance 257 after one byte
        {"far pair behind the output start", {0x00, 0x00, 0x00, 0xB0, 0x41, 0x00}, 16, kFa2DecodeBadDistance},
        // flags 1 (literal 41), 00 1 (long, prefix 1), byte 00, x 1 (distance 2), 1 (N 3)
        {"long match behind the output start", {0x00, 0x00, 0x00, 0x9C, 0x41, 0x00}, 16, kFa2DecodeBadDistance},
        // literal needs one byte of room
        {"literal into a full buffer", {0x00, 0x00, 0x00, 0x80, 0x41}, 0, kFa2DecodeOutputOverrun},
        // ABABABABABAB needs 12 bytes
        {"match one byte too long", {0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF}, 11, kFa2DecodeOutputOverrun},
        {"pair one byte too long", {0x00, 0x00, 0x00, 0xA0, 0x41, 0x00}, 2, kFa2DecodeOutputOverrun},
    };
    {
        // 32 literals, then the stream stops where its second flag word belongs.
        cases.push_back({"missing second flag word", Digits32(), 64, kFa2DecodeInputOverrun});
        std::vector<uint8_t> s = Digits32();
        s.push_back(0x00);
        s.push_back(0x00);
        cases.push_back({"second flag word cut to 2 bytes", s, 64, kFa2DecodeInputOverrun});
        cases.push_back({"32 literals into 31 bytes", Digits32(), 31, kFa2DecodeOutputOverrun});
    }
    {
        // A long match whose length byte (00000 + byte) is missing.
        StreamBuilder b;
        b.Literal('a');
        b.Long(1, 100);
        b.bytes.pop_back();
        cases.push_back({"length byte missing", b.bytes, 512, kFa2DecodeInputOverrun});
    }
    {
        // A distance of 8192 one byte before enough output exists.
        StreamBuilder b;
        for (int i = 0; i < 8191; ++i)
            b.Literal(static_cast<uint8_t>(i));
        b.Long(8192, 3);
        b.End();
        cases.push_back({"window distance one short of history", b.bytes, 9000, kFa2DecodeBadDistance});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeDamaged(c.stream, c.capacity), c.expected);
    }
}

TEST(Fa2CorruptStream, ExactCapacityIsEnough)
{
    // The boundary cases of the table above, with one more byte of room, succeed.
    EXPECT_EQ(DecodeDamaged({0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF}, 12), kFa2DecodeOk);
    EXPECT_EQ(DecodeDamaged({0x00, 0x00, 0x00, 0x7C, 0xFF}, 0), kFa2DecodeOk);
}

TEST(Fa2CorruptStream, EveryTruncationOfAValidStreamFails)
{
    std::mt19937 rng(99);
    std::vector<uint8_t> data(3000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = i > 40 && rng() % 3 ? data[i - 1 - rng() % 40] : static_cast<uint8_t>(rng() % 16);
    std::vector<uint8_t> stream(Fa2CompressBound(data.size()));
    stream.resize(Fa2Compress(stream.data(), stream.size(), data.data(), data.size()));
    ASSERT_GT(stream.size(), 0u);
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        const std::vector<uint8_t> head(stream.begin(), stream.begin() + cut);
        ASSERT_EQ(DecodeDamaged(head, data.size()), kFa2DecodeInputOverrun) << "cut at " << cut;
    }
}

TEST(Fa2CorruptStream, RandomDamageNeverEscapesTheBuffers)
{
    // Flipped bytes in valid streams: whatever the result, the guard bytes hold and
    // a successful decode agrees with the reference rule.
    std::mt19937 rng(4242);
    std::vector<uint8_t> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = i > 300 && rng() % 4 ? data[i - 1 - rng() % 300] : static_cast<uint8_t>(rng());
    std::vector<uint8_t> stream(Fa2CompressBound(data.size()));
    stream.resize(Fa2Compress(stream.data(), stream.size(), data.data(), data.size()));
    for (int trial = 0; trial < 2000; ++trial) {
        std::vector<uint8_t> damaged = stream;
        for (int k = 0; k <= trial % 3; ++k)
            damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        const size_t capacity = rng() % 2 ? data.size() : rng() % (2 * data.size());
        size_t written = 0;
        const Fa2DecodeResult r = DecodeDamaged(damaged, capacity, &written);
        std::vector<uint8_t> expected;
        size_t consumed = 0;
        const bool referenceOk = fa2test::ReferenceDecode(damaged, capacity, &expected, &consumed);
        ASSERT_EQ(r == kFa2DecodeOk, referenceOk) << "trial " << trial;
        if (referenceOk) {
            ASSERT_EQ(written, expected.size());
        }
    }
}
