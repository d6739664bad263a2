#include "app/random.h"
#include "wizard/banner_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {
struct Header {
    uint32_t headerSize = 40;
    int32_t width = 3;
    int32_t height = 2;
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
};

void Put32(std::vector<unsigned char>& f, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

void Put16(std::vector<unsigned char>& f, std::size_t at, uint16_t v)
{
    f[at] = static_cast<unsigned char>(v);
    f[at + 1] = static_cast<unsigned char>(v >> 8);
}

// A banner file of exactly `size` bytes: file header "BM" (not examined), then the
// information header at byte 14, field by field.
std::vector<unsigned char> MakeFile(const Header& h, std::size_t size)
{
    std::vector<unsigned char> f(size < 54 ? 54 : size, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, static_cast<uint32_t>(size));  // file size
    Put32(f, 10, 54);                           // pixel offset
    Put32(f, 14, h.headerSize);                 // biSize
    Put32(f, 18, static_cast<uint32_t>(h.width));
    Put32(f, 22, static_cast<uint32_t>(h.height));
    Put16(f, 26, h.planes);                     // biPlanes
    Put16(f, 28, h.bits);                       // biBitCount
    Put32(f, 30, h.compression);                // biCompression
    Put32(f, 34, 0);                            // biSizeImage (not used)
    Put32(f, 46, h.coloursUsed);                // biClrUsed
    f.resize(size);
    return f;
}

// Checks a copy on the heap of exactly the file's size, so that a read past the
// end is caught by the address sanitizer this test is built with.
int Check(const std::vector<unsigned char>& f, BannerLayout* layout)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[f.size() ? f.size() : 1]);
    if (!f.empty())
        std::memcpy(exact.get(), f.data(), f.size());
    return CheckBannerLayout(exact.get(), static_cast<uint32_t>(f.size()), layout);
}
}

TEST(CheckBannerLayout, AcceptsUncompressedBottomUpPicturesOf16To32Bits)
{
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint32_t rowBytes;  // padded to a multiple of 4
    };
    const Case cases[] = {
        {3, 2, 24, 12},   // 9 bytes of pixels padded to 12
        {4, 2, 24, 12},   // no padding
        {1, 1, 16, 4},    // 2 bytes padded to 4
        {3, 5, 16, 8},    // 6 bytes padded to 8
        {5, 3, 32, 20},   // 32-bit rows never need padding
        {200, 60, 24, 600},
    };
    for (const Case& c : cases) {
        Header h;
        h.width = c.width;
        h.height = c.height;
        h.bits = c.bits;
        const std::size_t pixels = std::size_t{c.rowBytes} * c.height;
        BannerLayout layout;
        ASSERT_EQ(Check(MakeFile(h, 54 + pixels), &layout), 1) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(layout.rowBytes, c.rowBytes);
        EXPECT_EQ(layout.pixelBytes, pixels);
        EXPECT_EQ(layout.width, c.width);
        EXPECT_EQ(layout.height, c.height);
        // Trailing bytes behind the pixel data are allowed and not counted.
        ASSERT_EQ(Check(MakeFile(h, 54 + pixels + 7), &layout), 1);
        EXPECT_EQ(layout.pixelBytes, pixels);
        // One byte short of the pixel data is a truncated file.
        EXPECT_EQ(Check(MakeFile(h, 54 + pixels - 1), &layout), 0) << c.width << "x" << c.height;
    }
}

TEST(CheckBannerLayout, RejectsWhatThePixelRuleDoesNotFit)
{
    struct Case {
        const char* what;
        Header header;
    };
    auto with = [](void (*change)(Header&)) {
        Header h;
        change(h);
        return h;
    };
    const Case cases[] = {
        {"V4 header", with([](Header& h) { h.headerSize = 108; })},
        {"V5 header", with([](Header& h) { h.headerSize = 124; })},
        {"OS/2 core header", with([](Header& h) { h.headerSize = 12; })},
        {"colour table with 24 bits", with([](Header& h) { h.coloursUsed = 16; })},
        {"8 bits", with([](Header& h) { h.bits = 8; })},
        {"4 bits", with([](Header& h) { h.bits = 4; })},
        {"1 bit", with([](Header& h) { h.bits = 1; })},
        {"15 bits", with([](Header& h) { h.bits = 15; })},
        {"48 bits", with([](Header& h) { h.bits = 48; })},
        {"run-length coded", with([](Header& h) { h.compression = 1; })},
        {"bit fields (masks behind the header)", with([](Header& h) { h.compression = 3; })},
        {"JPEG inside", with([](Header& h) { h.compression = 4; })},
        {"top-down", with([](Header& h) { h.height = -2; })},
        {"zero height", with([](Header& h) { h.height = 0; })},
        {"zero width", with([](Header& h) { h.width = 0; })},
        {"negative width", with([](Header& h) { h.width = -3; })},
        {"two planes", with([](Header& h) { h.planes = 2; })},
        // Products beyond 32 bits, which truncated to 32 bits would look small.
        {"row of 2^33 bytes", with([](Header& h) { h.width = 0x7FFFFFFF, h.bits = 32; })},
        {"row of 2^32 bytes (0 after wrapping)", with([](Header& h) { h.width = 0x40000000, h.bits = 32; })},
        {"2^31 rows", with([](Header& h) { h.width = 1, h.height = 0x7FFFFFFF, h.bits = 32; })},
        {"2^16 rows of 2^18 bytes", with([](Header& h) { h.width = 0x10000, h.height = 0x10000, h.bits = 32; })},
    };
    for (const Case& c : cases) {
        BannerLayout layout;
        // Plenty of bytes: only the header decides.
        EXPECT_EQ(Check(MakeFile(c.header, 54 + 4096), &layout), 0) << c.what;
    }
}

TEST(CheckBannerLayout, FilesShorterThanTheHeadersAreRejectedWithoutReadingPastThem)
{
    const std::vector<unsigned char> whole = MakeFile(Header{}, 54 + 12);
    for (std::size_t size = 0; size < 54; ++size) {
        std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        BannerLayout layout;
        EXPECT_EQ(Check(cut, &layout), 0) << size << " bytes";
    }
}

TEST(BannerIndex, SpreadsTheGeneratorRangeEvenlyOverTheNames)
{
    for (int count : {1, 2, 3, 7, 20}) {
        std::vector<int> hits(static_cast<std::size_t>(count), 0);
        for (int r = 0; r <= 32767; ++r) {
            const int index = BannerIndex(r, count);
            ASSERT_GE(index, 0) << r;
            ASSERT_LT(index, count) << r;
            ++hits[static_cast<std::size_t>(index)];
        }
        // r * n / 32768 gives each name floor or ceil of 32768 / n values.
        for (int h : hits) {
            EXPECT_GE(h, 32768 / count) << count;
            EXPECT_LE(h, 32768 / count + 1) << count;
        }
    }
    EXPECT_EQ(BannerIndex(32767, 20), 19);
    EXPECT_EQ(BannerIndex(1638, 20), 0);  // 1638 * 20 = 32760
    EXPECT_EQ(BannerIndex(1639, 20), 1);  // 1639 * 20 = 32780
    EXPECT_EQ(BannerIndex(123, 0), -1);
    EXPECT_EQ(BannerIndex(123, -1), -1);
}

TEST(BannerIndex, TimerSeedsAFewMillisecondsApartPickDifferentBanners)
{
    // The first number after seeding, for start times one run of setup apart.
    std::set<int> chosen;
    for (uint32_t seed : {81234u, 81297u, 83020u, 90011u, 120456u, 455000u, 1000003u, 7654321u}) {
        SeedRandom(seed);
        const int r = NextRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
        chosen.insert(BannerIndex(r, 20));
    }
    EXPECT_GE(chosen.size(), 4u);
    // A seed fixes the choice: the same start time gives the same banner.
    SeedRandom(90011u);
    const int first = BannerIndex(NextRandom(), 20);
    SeedRandom(90011u);
    EXPECT_EQ(BannerIndex(NextRandom(), 20), first);
}
