// The FA2 codec: hand-built streams, round trips, a brute-force optimum, and
// damaged archives. Long random token streams held against the byte rule are the
// decode fuzz corpus's tokens-* seeds, which the ordinary run replays.
#include "fa2/encode_tuning.h"
#include "fa2/fa2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

using Bytes = std::vector<uint8_t>;

namespace {
// Decodes into exactly `capacity` bytes followed by guard bytes that must survive,
// by the portable loop and by the fastest, which must agree.
Fa2DecodeResult Decode(const Bytes& stream, size_t capacity, Bytes* out = nullptr, size_t* consumed = nullptr)
{
    Bytes buffer[2];
    size_t written[2] = {}, used[2] = {};
    Fa2DecodeResult r[2];
    for (int fastest = 0; fastest < 2; ++fastest) {
        Bytes& b = buffer[fastest];
        b.assign(capacity + 64, 0xA5);
        Fa2SetDecodeLoop(fastest ? Fa2DecodeLoop::kFastest : Fa2DecodeLoop::kPortable);
        r[fastest] = Fa2Decompress(b.data(), capacity, stream.data(), stream.size(), &written[fastest], &used[fastest]);
        EXPECT_EQ(Bytes(b.begin() + capacity, b.end()), Bytes(64, 0xA5)) << "written past the capacity";
        EXPECT_LE(used[fastest], stream.size());
        b.resize(std::min(written[fastest], capacity));
    }
    EXPECT_TRUE(r[0] == r[1] && written[0] == written[1] && used[0] == used[1] && buffer[0] == buffer[1]);
    if (out)
        *out = buffer[1], *consumed = used[1];
    return r[1];
}

Bytes Cat(Bytes a, const std::string& text) { return a.insert(a.end(), text.begin(), text.end()), a; }

Bytes Random(size_t n, uint32_t seed, unsigned alphabet = 256)
{
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng() % alphabet);
    return v;
}

// Copies from the edges of every distance and length class, some just beyond the
// window or the far pair's reach, between runs of random bytes.
Bytes Copies(size_t n, uint32_t seed, unsigned alphabet = 256)
{
    static const unsigned kLengths[] = {3, 4, 5, 6, 7, 10, 11, 26, 27, 282, 300};
    static const unsigned kDistances[] = {1, 3, 256, 257, 512, 513, 1024, 1025, 2048, 2303, 2304, 4096, 4097, 8192,
                                          8193};
    std::mt19937 rng(seed);
    Bytes v = Random(64, seed, alphabet);
    while (v.size() < n) {
        const unsigned length = rng() % 2 ? kLengths[rng() % 11] : 3 + rng() % 8;
        const unsigned distance = std::min<unsigned>(rng() % 2 ? kDistances[rng() % 15] : 1 + rng() % 8200, v.size());
        for (unsigned k = 0; k < length; ++k)
            v.push_back(v[v.size() - distance]);
        for (unsigned k = rng() % 3 ? 0 : 1 + rng() % 8; k > 0; --k)
            v.push_back(static_cast<uint8_t>(rng() % alphabet));
    }
    return v.resize(n), v;
}

Bytes Encode(const Bytes& data, const Fa2EncodeTuning& tuning = kFa2DefaultTuning, Fa2EncodeStats* stats = nullptr)
{
    Bytes stream(Fa2CompressBound(data.size()));
    stream.resize(Fa2CompressTuned(stream.data(), stream.size(), data.data(), data.size(), tuning, stats));
    EXPECT_FALSE(stream.empty()) << "encoder failed";
    return stream;
}
}  // namespace

TEST(Fa2Decode, HandBuiltStreams)
{
    const Fa2DecodeResult ok = kFa2DecodeOk, in = kFa2DecodeInputOverrun, out = kFa2DecodeOutputOverrun,
                          behind = kFa2DecodeBadDistance;
    const Bytes marker = {0x00, 0x00, 0x00, 0x7C, 0xFF};  // flags 011 111: the end marker, then its byte FF
    // Literals A, B; long match F = 1 (distance 2), N = 10; end marker.
    const Bytes abab = {0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF};
    const Bytes digits = Cat({0xFF, 0xFF, 0xFF, 0xFF}, "0123456789abcdefghijklmnopqrstuv");  // 32 literals
    // 8191 literals; a long match 8192 back (00, prefix 0000, byte FF, 1111, N 3); the marker.
    Bytes window;
    for (int i = 0; i < 8191; ++i) {
        if (i % 32 == 0)  // the last word's 32nd bit is the match's first
            window.insert(window.end(), {static_cast<uint8_t>(i < 8160 ? 0xFF : 0xFE), 0xFF, 0xFF, 0xFF});
        window.push_back(static_cast<uint8_t>(i));
    }
    window.insert(window.end(), {0x00, 0x00, 0xDF, 0x07, 0xFF, 0xFF});
    // Literal a, long match F = 0 with N of 00000 + byte: the length byte is missing.
    const Bytes cut = {0x00, 0x00, 0x00, 0x90, 0x61, 0x00};
    const struct {
        const char* what;
        Bytes stream;
        size_t capacity;
        Fa2DecodeResult expected;
        std::string output = "";
        size_t consumed = 0;
    } cases[] = {
        {"end marker", marker, 0, ok, "", 5},
        {"nothing after the marker is read, by the fast steps too", Cat(marker, std::string(64, '\x12')), 400, ok, "", 5},
        {"match that fits exactly", abab, 12, ok, "ABABABABABAB", 8},
        // The next flag word follows the 32nd literal's byte.
        {"second flag word", Cat(digits, std::string("\0\0\0\xBE\x58\xFF", 6)), 33, ok, "0123456789abcdefghijklmnopqrstuvX", 42},
        // 29 literals, 00 (long match) and prefix 1 fill the first word; the
        // distance byte 00 comes next, then the word with its extra bit 0, N 3 and the marker.
        {"distance byte before the next word", Cat({0xF9, 0xFF, 0xFF, 0xFF}, std::string("abcdefghijklmnopqrstuvwxyzabc\0\0\0\0\x5F\xFF", 35)),
         32, ok, "abcdefghijklmnopqrstuvwxyzabcccc", 39},
        {"no input", {}, 16, in},
        {"near pair (010, byte 00) before any output", {0x00, 0x00, 0x00, 0x40, 0x00}, 16, behind},
        // flags 1 (literal 41), 011 + byte 00 + 000: a far pair at 257 after one byte
        {"far pair behind the start", {0x00, 0x00, 0x00, 0xB0, 0x41, 0x00}, 16, behind},
        // flags 1 (literal 41), 00 1 (long, prefix 1), byte 00, x 1 (distance 2), 1 (N 3)
        {"long match behind the start", {0x00, 0x00, 0x00, 0x9C, 0x41, 0x00}, 16, behind},
        {"distance 8192 after 8191 bytes", window, 9000, behind}, {"length byte missing", cut, 512, in},
        {"literal into no room", {0x00, 0x00, 0x00, 0x80, 0x41}, 0, out}, {"match one byte too long", abab, 11, out},
        // flags 1 (literal 41), 010 + byte 00: a pair of 2 bytes after one
        {"pair one byte too long", {0x00, 0x00, 0x00, 0xA0, 0x41, 0x00}, 2, out},
        {"32 literals into 31 bytes", digits, 31, out}, {"second flag word missing", digits, 64, in},
    };
    for (const auto& c : cases) {
        Bytes got;
        size_t consumed = 0;
        ASSERT_EQ(Decode(c.stream, c.capacity, &got, &consumed), c.expected) << c.what;
        EXPECT_TRUE(c.expected != ok || (got == Cat({}, c.output) && consumed == c.consumed)) << c.what;
    }
}

TEST(Fa2Encode, RoundTripsAndStaysInItsBuffer)
{
    std::vector<Bytes> inputs = {{}, {0x00}, Cat({}, "aba"), Bytes(100000, 0x20), Random(70000, 5),
                                 Copies(200000, 3, 16), Copies(100000, 1)};
    for (size_t unit : {2u, 3u, 9u, 8191u, 8192u, 8193u}) {  // short periods; repeats at the window's edge
        Bytes r = Random(unit, 77);
        while (r.size() < 3 * unit + 1000)
            r.insert(r.end(), r.begin(), r.begin() + unit);
        inputs.push_back(r);
    }
    // Short segments, early commits and shallow searches change the parse, never the output.
    for (const Fa2EncodeTuning& tuning : {kFa2DefaultTuning, {3, 4096, 8}, {20, 1, 1}, {282, 1000, 16}}) {
        for (const Bytes& data : inputs) {
            SCOPED_TRACE(testing::Message() << data.size() << " bytes, segment " << tuning.segmentLength);
            const Bytes stream = Encode(data, tuning);
            Bytes out;
            size_t consumed = 0;
            ASSERT_EQ(Decode(stream, data.size(), &out, &consumed), kFa2DecodeOk);
            EXPECT_EQ(std::mismatch(out.begin(), out.end(), data.begin()).first - out.begin(), long(data.size()));
            EXPECT_TRUE(consumed == stream.size() && stream.size() <= Fa2CompressBound(data.size()));
        }
        inputs = {Copies(30000, 9), Copies(30000, 2, 8)};
    }
    // Too little room is refused with nothing written past it; a cut stream is refused.
    const Bytes data = Copies(1500, 8), stream = Encode(data);
    for (size_t room = 0; room < stream.size(); ++room) {
        Bytes out(room + 8, 0xA5);
        ASSERT_EQ(Fa2Compress(out.data(), room, data.data(), data.size()), 0u) << room;
        ASSERT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xA5)) << room;
        ASSERT_EQ(Decode(Bytes(stream.begin(), stream.begin() + room), data.size()), kFa2DecodeInputOverrun) << room;
    }
}

TEST(Fa2Encode, ParseSpendsTheFewestBits)
{
    // The fewest bits over every parse, and among those the fewest copies, by brute
    // force: for each position and length the nearest earlier occurrence in the
    // window, then a shortest path. A weight is bits << 20 plus copies.
    auto cost = [](size_t length, size_t distance) -> uint64_t {
        if (length < 3)
            return length == 1 ? 9 << 20 : (distance <= 256 ? 11 << 20 : 14 << 20) + 1;
        const size_t f = distance - 1;
        return ((2 + (f < 512 ? 10 : f < 1024 ? 11 : f < 2048 ? 13 : f < 4096 ? 15 : 16) +
                 (length == 3 ? 1 : length == 4 ? 2 : length <= 6 ? 4 : length <= 10 ? 6 : length <= 26 ? 9 : 13)) << 20) + 1;
    };
    Bytes farPairs(3000);  // 2-byte copies 257 to 600 back, where a far pair competes with a 3-byte match
    std::mt19937 rng(31);
    for (size_t i = 0; i < farPairs.size(); ++i)
        farPairs[i] = i > 600 && rng() % 2 ? farPairs[i - 257 - rng() % 344] : static_cast<uint8_t>('a' + rng() % 3);
    for (const Bytes& d : {Copies(3000, 5, 4), Random(2500, 6, 4), Copies(9000, 7), farPairs}) {
        const size_t n = d.size();
        std::vector<uint64_t> best(n + 1, UINT64_MAX / 2);
        best[0] = 0;
        for (size_t p = 0; p < n; ++p) {
            best[p + 1] = std::min(best[p + 1], best[p] + cost(1, 0));
            const size_t limit = std::min<size_t>(282, n - p);
            size_t reached = 1;  // lengths up to this one have their nearest distance
            for (size_t dist = 1; dist <= std::min<size_t>(p, 8192) && reached < limit; ++dist) {
                size_t len = 0;
                while (len < limit && d[p + len] == d[p - dist + len])
                    ++len;
                for (; reached < len; ++reached)
                    if (reached > 1 || dist <= 2303)
                        best[p + reached + 1] = std::min(best[p + reached + 1], best[p] + cost(reached + 1, dist));
            }
        }
        for (const Fa2EncodeTuning& tuning : {kFa2ExactTuning, kFa2DefaultTuning}) {
            Fa2EncodeStats stats;
            const size_t size = Encode(d, tuning, &stats).size();
            EXPECT_EQ(stats.flagBits + 8 * stats.byteFields, (best[n] >> 20) + 14) << n << " bytes";  // and the end marker
            EXPECT_TRUE(tuning.segmentLength > kFa2LongestTieBreakSegment || stats.matches == (best[n] & 0xFFFFF)) << n;
            EXPECT_EQ(size, stats.byteFields + 4 * ((stats.flagBits + 31) / 32));  // no flag word to spare
        }
    }
}

namespace {
Bytes& Put32(Bytes& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
    return v;
}

// A header (magic, flags, directory offset, entry count), then `body` from byte 16.
Bytes Image(uint32_t flags, uint32_t directoryOffset, uint32_t entryCount, const Bytes& body)
{
    Bytes v(16);
    Put32(Put32(Put32(Put32(v, 0, kFa2Magic), 4, flags), 8, directoryOffset), 12, entryCount);
    return v.insert(v.end(), body.begin(), body.end()), v;
}

// A directory entry: name, attributes at 15, original size at 24, stored size at 28.
Bytes Entry(uint8_t attributes, uint32_t originalSize, uint32_t storedSize, const Bytes& next = {})
{
    Bytes e(32, 0);
    e[0] = 'M', e[15] = attributes;
    Put32(Put32(e, 24, originalSize), 28, storedSize);
    return e.insert(e.end(), next.begin(), next.end()), e;
}

// Opens an image as setup does: header, block, directory. Empty on failure.
Bytes Open(const Bytes& image)
{
    Fa2Header header;
    if (!Fa2ReadImageHeader(image.data(), image.size(), &header))
        return {};
    Bytes block(Fa2ArchiveBytes(&header));
    auto* archive = reinterpret_cast<Fa2Archive*>(block.data());
    return Fa2ReadImageDirectory(image.data(), image.size(), &header, archive) ? block : Bytes{};
}
}  // namespace

TEST(Fa2Archive, MembersArePlacedAndKeptPlainWhenTheyDoNotShrink)
{
    const Bytes text = Copies(5000, 1, 16), noise = Random(37, 2);
    const Fa2PackMember members[] = {{"UNINST.exe", text.data(), 5000, 7}, {"FOURTEEN_BYTES", noise.data(), 37, 8},
                                     {"EMPTY", nullptr, 0, 9}, {"FIFTEEN_BYTES_X", nullptr, 0, 0}};
    uint8_t* built = nullptr;
    size_t size = 0;
    uint32_t failed = 0, second = 0;
    ASSERT_EQ(Fa2BuildArchive(members, 3, 1, &built, &size, nullptr), kFa2PackOk);
    const Bytes image(built, built + size), block = Open(image);
    std::free(built);
    const auto* archive = reinterpret_cast<const Fa2Archive*>(block.data());
    const Fa2Entry* e = Fa2Entries(archive);
    ASSERT_TRUE(block.size() == 16u + 3 * 32 && Fa2MemberOffset(archive, 1, &second));
    EXPECT_TRUE(e[0].attributes == kFa2MemberCompressed && e[1].attributes == 0);  // 37 random bytes stay plain
    EXPECT_EQ(second, 16 + ((e[0].storedSize + 15) & ~15u));
    EXPECT_EQ(archive->header.directoryOffset, second + 48);  // 37 bytes rounded up; the empty one takes none
    Bytes out(37);
    EXPECT_TRUE(Fa2ReadMember(image.data(), size, archive, 1, out.data(), 37) && out == noise);
    EXPECT_FALSE(Fa2ReadMember(image.data(), size, archive, 1, out.data(), 36));  // no room is no read
    EXPECT_EQ(Fa2BuildArchive(members + 2, 2, 1, &built, &size, &failed), kFa2PackNameTooLong);
    EXPECT_EQ(failed, 1u);
}

TEST(Fa2Archive, DamagedImagesAndMembersAreRefused)
{
    const Bytes entry = Entry(0, 0, 0), oneStream = Encode(entry);
    const Bytes images[] = {
        Bytes(15, 0),                                          // shorter than the header
        Image(0, 8, 0, {}),                                    // directory inside the header
        Image(0, 17, 0, {}),                                   // directory beyond the image
        Image(0, 16, 1, Bytes(31, 0)),                         // plain directory cut short
        Image(1, 16, 0x08000000, Encode({})),                  // 4 GiB of entries from a 5-byte stream
        Image(0, 16, 0xFFFFFFFF, entry),                       // entry count wraps the block size
        Image(1, 16, 2, oneStream),                            // stream holds one entry, header says two
        Image(1, 16, 1, Encode(Entry(0, 0, 0, entry))),        // stream holds two entries, header says one
        Image(1, 16, 1, Bytes(oneStream.begin(), oneStream.end() - 1)),  // stream's last byte missing
    };
    for (const Bytes& image : images)
        EXPECT_TRUE(Open(image).empty()) << &image - images;
    Fa2Header header;  // 5 bytes of stream expand to 455 at most: 14 entries may lie there, 15 are refused at once
    EXPECT_TRUE(Fa2ReadImageHeader(Image(1, 16, 14, Encode({})).data(), 21, &header));
    EXPECT_FALSE(Fa2ReadImageHeader(Image(1, 16, 15, Encode({})).data(), 21, &header));

    const Bytes abab = {0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};  // 12 bytes
    const struct { const char* what; Bytes entry; bool readable; } members[] = {
        {"compressed, exact", Entry(kFa2MemberCompressed, 12, 8), true},
        {"expands beyond originalSize", Entry(kFa2MemberCompressed, 11, 8), false},
        {"expands short of originalSize", Entry(kFa2MemberCompressed, 13, 8), false},
        {"storedSize cuts the end marker", Entry(kFa2MemberCompressed, 12, 7), false},
        {"stored bytes up to the image's end", Entry(0, 48, 48), true},  // from 16 to 64, the image's size
        {"stored bytes past the image", Entry(0, 49, 49), false},
        {"plain, originalSize above storedSize", Entry(0, 9, 8), false},
        {"the next offset passes 4 GiB", Entry(0, 0, 0xFFFFFFF0, entry), false},
    };
    for (const auto& c : members) {
        Bytes body = abab;
        body.insert(body.end(), c.entry.begin(), c.entry.end());
        const Bytes image = Image(0, 32, c.entry.size() / 32, body), block = Open(image);
        ASSERT_FALSE(block.empty()) << c.what;
        Bytes out(64, 0);
        EXPECT_EQ(Fa2ReadMember(image.data(), image.size(), reinterpret_cast<const Fa2Archive*>(block.data()),
                                c.entry.size() / 32 - 1, out.data(), 64) == 1, c.readable) << c.what;
    }
}
