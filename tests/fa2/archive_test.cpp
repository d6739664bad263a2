// Archive images: the writer's layout byte for byte, opening plain and
// compressed directories, member placement and reads, and damaged images.
#include "fa2/fa2.h"
#include "tests/fa2/corpus.h"
#include "tests/fa2/pack.h"
#include "tests/fa2/stream_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using fa2test::FirstDifference;

namespace {

uint32_t U32(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | uint32_t(v[at + 3]) << 24;
}

std::vector<uint8_t> Build(const std::vector<Fa2PackMember>& members, int compressDirectory)
{
    return fa2test::PackArchive(members, compressDirectory);
}

// Opens an image as the program does (header check, block, directory); empty on failure.
std::vector<uint8_t> Open(const std::vector<uint8_t>& image)
{
    Fa2Header header;
    if (!Fa2ReadImageHeader(image.data(), image.size(), &header))
        return {};
    std::vector<uint8_t> block(Fa2ArchiveBytes(&header));
    if (!Fa2ReadImageDirectory(image.data(), image.size(), &header, reinterpret_cast<Fa2Archive*>(block.data())))
        return {};
    return block;
}

const Fa2Archive* AsArchive(const std::vector<uint8_t>& block)
{
    return reinterpret_cast<const Fa2Archive*>(block.data());
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// A hand-made image: header, then `body` from offset 16.
std::vector<uint8_t> Image(uint32_t flags, uint32_t directoryOffset, uint32_t entryCount, std::vector<uint8_t> body)
{
    std::vector<uint8_t> v(16 + body.size());
    Put32(v, 0, kFa2Magic);
    Put32(v, 4, flags);
    Put32(v, 8, directoryOffset);
    Put32(v, 12, entryCount);
    std::copy(body.begin(), body.end(), v.begin() + 16);
    return v;
}

// One 32-byte directory entry.
std::vector<uint8_t> Entry(const char* name, uint8_t attributes, uint32_t originalSize, uint32_t storedSize,
                           uint64_t fileTime = 0)
{
    std::vector<uint8_t> e(32, 0);
    std::memcpy(e.data(), name, std::strlen(name));
    e[15] = attributes;
    Put32(e, 16, static_cast<uint32_t>(fileTime));
    Put32(e, 20, static_cast<uint32_t>(fileTime >> 32));
    Put32(e, 24, originalSize);
    Put32(e, 28, storedSize);
    return e;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

std::vector<uint8_t> Compressed(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> s(Fa2CompressBound(data.size()));
    s.resize(Fa2Compress(s.data(), s.size(), data.data(), data.size()));
    return s;
}

}  // namespace

TEST(Fa2Archive, WriterLayoutByteForByte)
{
    // A compressible member, an incompressible one (kept plain), an empty one.
    const std::vector<uint8_t> text = fa2test::EnglishText(5000);
    std::vector<uint8_t> noise(37);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 97 + 13);
    const std::vector<Fa2PackMember> members = {
        {"UNINST.exe", text.data(), 5000, 0x01D2C3B4A5968778ull},
        {"NOISE.BIN", noise.data(), 37, 1},
        {"EMPTY", nullptr, 0, 2},
    };
    const std::vector<uint8_t> stream = Compressed(text);
    const std::vector<uint8_t> image = Build(members, 0);

    EXPECT_EQ(U32(image, 0), kFa2Magic);
    EXPECT_EQ(U32(image, 4), 0u);  // plain directory
    const uint32_t first = 16;
    const uint32_t second = first + ((static_cast<uint32_t>(stream.size()) + 15) & ~15u);
    const uint32_t third = second + 48;  // 37 rounded up to 16
    EXPECT_EQ(U32(image, 8), third);     // an empty member takes no room
    EXPECT_EQ(U32(image, 12), 3u);
    ASSERT_EQ(image.size(), third + 3 * 32u);

    EXPECT_EQ(FirstDifference(std::vector<uint8_t>(image.begin() + first, image.begin() + first + stream.size()),
                              stream),
              -1);
    for (size_t i = first + stream.size(); i < second; ++i)
        EXPECT_EQ(image[i], 0) << "fill at " << i;
    EXPECT_EQ(std::memcmp(image.data() + second, noise.data(), 37), 0);
    for (size_t i = second + 37; i < third; ++i)
        EXPECT_EQ(image[i], 0) << "fill at " << i;

    const std::vector<uint8_t> directory(image.begin() + third, image.end());
    const std::vector<uint8_t> expected =
        Concat({Entry("UNINST.exe", kFa2MemberCompressed, 5000, static_cast<uint32_t>(stream.size()),
                      0x01D2C3B4A5968778ull),
                Entry("NOISE.BIN", 0, 37, 37, 1), Entry("EMPTY", 0, 0, 0, 2)});
    EXPECT_EQ(FirstDifference(directory, expected), -1);
}

TEST(Fa2Archive, CompressedDirectoryOpensAndMembersReadBack)
{
    const std::vector<uint8_t> a = fa2test::EnglishText(20000, 3);
    const std::vector<uint8_t> b = fa2test::MixedData(3000, 4);
    const std::vector<Fa2PackMember> members = {{"A.TXT", a.data(), 20000, 5}, {"B.DAT", b.data(), 3000, 6}};
    const std::vector<uint8_t> image = Build(members, 1);
    EXPECT_EQ(U32(image, 4), kFa2DirectoryCompressed);

    const std::vector<uint8_t> block = Open(image);
    ASSERT_EQ(block.size(), 16u + 2 * 32u);
    EXPECT_EQ(std::memcmp(block.data(), image.data(), 16), 0);  // the header, copied
    const Fa2Archive* archive = AsArchive(block);
    const Fa2Entry* e = Fa2Entries(archive);
    EXPECT_STREQ(e[0].name, "A.TXT");
    EXPECT_EQ(e[1].originalSize, 3000u);
    EXPECT_EQ(e[1].fileTime, 6u);

    uint32_t offset = 0;
    ASSERT_TRUE(Fa2MemberOffset(archive, 1, &offset));
    EXPECT_EQ(offset, 16 + ((e[0].storedSize + 15) & ~15u));
    // The directory begins at the 16-byte boundary after the last member.
    EXPECT_EQ(U32(image, 8), offset + ((e[1].storedSize + 15) & ~15u));

    for (uint32_t i = 0; i < 2; ++i) {
        std::vector<uint8_t> out(e[i].originalSize);
        ASSERT_TRUE(Fa2ReadMember(image.data(), image.size(), archive, i, out.data(), out.size()));
        EXPECT_EQ(FirstDifference(out, i == 0 ? a : b), -1) << "member " << i;
    }
}

TEST(Fa2Archive, EmptyArchivesAndTheMagic)
{
    // No members, plain directory: the block is the 16 header bytes.
    EXPECT_EQ(Open(Image(0, 16, 0, {})).size(), 16u);
    // No members, compressed directory: an empty stream.
    EXPECT_EQ(Open(Build({}, 1)).size(), 16u);
    // Bytes after a compressed directory's end marker are never read.
    std::vector<uint8_t> trailing = Build({{"A", nullptr, 0, 0}}, 1);
    trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    EXPECT_EQ(Open(trailing).size(), 48u);
    // A memory image is not tested for the magic.
    std::vector<uint8_t> image = Image(0, 16, 1, Entry("X", 0, 0, 0));
    Put32(image, 0, 0x12345678);
    EXPECT_EQ(Open(image).size(), 48u);
}

TEST(Fa2Archive, DamagedImagesAreRefused)
{
    const std::vector<uint8_t> emptyStream = {0x00, 0x00, 0x00, 0x7C, 0xFF};
    const std::vector<uint8_t> oneEntry = Entry("A", 0, 0, 0);
    const std::vector<uint8_t> oneEntryStream = Compressed(oneEntry);
    const std::vector<uint8_t> twoEntryStream = Compressed(Concat({oneEntry, oneEntry}));
    std::vector<uint8_t> cutStream(oneEntryStream.begin(), oneEntryStream.end() - 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
    };
    const Case cases[] = {
        {"shorter than the header", std::vector<uint8_t>(15, 0)},
        // directoryOffset 8: the directory would overlap the header
        {"directory inside the header", Image(0, 8, 0, {})},
        // directoryOffset 17 in a 16-byte image
        {"directory beyond the image", Image(0, 17, 0, {})},
        // one plain entry declared, 31 bytes present
        {"plain directory cut short", Image(0, 16, 1, std::vector<uint8_t>(31, 0))},
        // entryCount 0x08000000: 4 GiB of entries from 5 bytes of stream
        {"entry count too large for the stream", Image(1, 16, 0x08000000, emptyStream)},
        // entryCount 0xFFFFFFFF, plain: the block size would wrap
        {"entry count wraps the block size", Image(0, 16, 0xFFFFFFFF, oneEntry)},
        // the stream holds one entry, the header says two
        {"compressed directory too short", Image(1, 16, 2, oneEntryStream)},
        // the stream holds two entries, the header says one
        {"compressed directory too long", Image(1, 16, 1, twoEntryStream)},
        // the stream's last byte is missing
        {"compressed directory truncated", Image(1, 16, 1, cutStream)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(Open(c.image).empty()) << c.what;
}

TEST(Fa2Archive, DamagedMembersAreRefused)
{
    const std::vector<uint8_t> data = fa2test::Bytes("ABABABABABAB");
    const std::vector<uint8_t> stream = {0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF};  // 12 bytes
    struct Case {
        const char* what;
        std::vector<uint8_t> entry;
        bool readable;
    };
    const Case cases[] = {
        {"compressed, exact", Entry("M", kFa2MemberCompressed, 12, 8), true},
        {"plain, exact", Entry("M", 0, 8, 8), true},
        // the stream gives 12 bytes, the entry says 11: it would write past the member
        {"expands beyond originalSize", Entry("M", kFa2MemberCompressed, 11, 8), false},
        // the stream gives 12 bytes, the entry says 13
        {"expands short of originalSize", Entry("M", kFa2MemberCompressed, 13, 8), false},
        // storedSize 7 cuts the stream's end marker
        {"stream cut by storedSize", Entry("M", kFa2MemberCompressed, 12, 7), false},
        // 16 + 49 bytes run past the 64-byte image (header, 16 data bytes, the entry)
        {"stored bytes beyond the image", Entry("M", 0, 49, 49), false},
        {"stored bytes up to the image's end", Entry("M", 0, 48, 48), true},
        // a plain member never stores fewer bytes than it expands to
        {"plain originalSize above storedSize", Entry("M", 0, 9, 8), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> body = stream;
        body.resize(16, 0);
        body.insert(body.end(), c.entry.begin(), c.entry.end());
        const std::vector<uint8_t> image = Image(0, 32, 1, body);
        const std::vector<uint8_t> block = Open(image);
        ASSERT_FALSE(block.empty());
        std::vector<uint8_t> out(64, 0);
        EXPECT_EQ(Fa2ReadMember(image.data(), image.size(), AsArchive(block), 0, out.data(), 64) == 1, c.readable);
    }
    // Offsets that pass 4 GiB are refused rather than wrapped.
    const std::vector<uint8_t> image =
        Image(0, 16, 2, Concat({Entry("BIG", 0, 0, 0xFFFFFFF8), Entry("NEXT", 0, 0, 0)}));
    const std::vector<uint8_t> block = Open(image);
    uint32_t offset;
    EXPECT_FALSE(Fa2MemberOffset(AsArchive(block), 1, &offset));
    EXPECT_FALSE(Fa2LocateMember(AsArchive(block), 1, image.size(), &offset));
}

TEST(Fa2Archive, NamesMatchIgnoringAsciiCaseOnly)
{
    const std::vector<uint8_t> image = Image(
        0, 16, 5,
        Concat({Entry("update.ini", 0, 0, 0), Entry("UNINST.exe", 0, 0, 0), Entry("UNINST.EXE", 0, 0, 0),
                Entry("ABCDEFGHIJKLMN", 0, 0, 0),
                // ア (83 41) is not ヂ (83 61): trail bytes are not letters
                Entry("\x83\x41.TXT", 0, 0, 0)}));
    const std::vector<uint8_t> block = Open(image);
    ASSERT_FALSE(block.empty());
    const Fa2Archive* a = AsArchive(block);
    EXPECT_EQ(Fa2FindMemberAscii(a, "UPDATE.INI"), 0);
    EXPECT_EQ(Fa2FindMemberAscii(a, "uninst.exe"), 1);  // the first of two equal names
    EXPECT_EQ(Fa2FindMemberAscii(a, "abcdefghijklmn"), 3);
    EXPECT_EQ(Fa2FindMemberAscii(a, "ABCDEFGHIJKLMNO"), -1);
    EXPECT_EQ(Fa2FindMemberAscii(a, "ABCDEFGHIJKLM"), -1);
    EXPECT_EQ(Fa2FindMemberAscii(a, "\x83\x41.txt"), 4);
    EXPECT_EQ(Fa2FindMemberAscii(a, "\x83\x61.TXT"), -1);
    EXPECT_EQ(Fa2FindMemberAscii(a, ""), -1);

    // A field without a terminator holds 15 bytes; the attributes byte is never read as name.
    Fa2Entry e = {};
    std::memcpy(e.name, "ABCDEFGHIJKLMNO", 15);
    e.attributes = 'P';
    EXPECT_TRUE(Fa2NameEqualsAscii(e.name, "abcdefghijklmno"));
    EXPECT_FALSE(Fa2NameEqualsAscii(e.name, "abcdefghijklmnoP"));
}

TEST(Fa2Archive, WriterRefusesBadNames)
{
    const uint8_t byte = 0;
    const std::vector<Fa2PackMember> members = {{"GOOD", &byte, 1, 0}, {"FIFTEEN_BYTES_X", &byte, 1, 0}};
    uint8_t* image = nullptr;
    size_t size = 0;
    uint32_t failed = 99;
    EXPECT_EQ(Fa2BuildArchive(members.data(), 2, 1, &image, &size, &failed), kFa2PackNameTooLong);
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(image, nullptr);
    // Fourteen bytes still fit beside the terminator.
    const std::vector<Fa2PackMember> fits = {{"FOURTEEN_BYTES", &byte, 1, 0}};
    const std::vector<uint8_t> built = Build(fits, 0);
    const std::vector<uint8_t> block = Open(built);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Fa2Entries(AsArchive(block))[0].name[14], 0);
    EXPECT_EQ(Fa2FindMemberAscii(AsArchive(block), "fourteen_bytes"), 0);
}

TEST(Fa2Archive, FreeSpaceRule)
{
    struct Case {
        uint32_t size;
        uint64_t available;
        int suffices;
        int32_t shortfall;
    };
    const Case cases[] = {
        {1000, 1000, 1, 0},           // an exact fit is enough
        {1000, 400, 0, 600},          // the message's %i
        {0, 0, 1, 0},
        {1000, 1ull << 40, 1, 0},     // a large drive, compared in 64 bits
        {0xFFFFFFFFu, 0, 0, -1},      // the shortfall is shown as a signed 32-bit number
    };
    for (const Case& c : cases) {
        int32_t shortfall = 0;
        EXPECT_EQ(Fa2SpaceSuffices(c.size, c.available, &shortfall), c.suffices) << c.size << " " << c.available;
        EXPECT_EQ(shortfall, c.shortfall) << c.size << " " << c.available;
    }
}
