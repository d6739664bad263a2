// Banner header checks, built with the address sanitizer: each file lies in a
// heap block of exactly its size, so a read past it fails the run.
#include "wizard/banner_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {
struct Header {
    uint32_t size = 40;  // of the information header
    int32_t width = 3, height = 2;
    uint16_t planes = 1, bits = 24;
    uint32_t compression = 0, coloursUsed = 0;
};

int Check(const Header& h, uint32_t fileSize, BannerLayout* layout)
{
    std::vector<unsigned char> f(fileSize < 54 ? 54 : fileSize, 0);
    const uint32_t fields[][3] = {{14, h.size, 4}, {18, uint32_t(h.width), 4}, {22, uint32_t(h.height), 4},
                                  {26, h.planes, 2}, {28, h.bits, 2}, {30, h.compression, 4}, {46, h.coloursUsed, 4}};
    for (const auto& field : fields)
        for (uint32_t i = 0; i < field[2]; ++i)
            f[field[0] + i] = static_cast<unsigned char>(field[1] >> (8 * i));
    std::unique_ptr<unsigned char[]> exact(new unsigned char[fileSize ? fileSize : 1]);
    std::memcpy(exact.get(), f.data(), fileSize);
    return CheckBannerLayout(exact.get(), fileSize, layout);
}
}

TEST(CheckBannerLayout, AcceptsBottomUpPicturesOf16To32BitsWithTheirPadding)
{
    const struct { int32_t width, height; uint16_t bits; uint32_t rowBytes; } cases[] = {{3, 2, 24, 12}, {4, 2, 24, 12}, {3, 5, 16, 8}, {5, 3, 32, 20}};
    BannerLayout layout;
    for (const auto& c : cases) {
        const Header h{40, c.width, c.height, 1, c.bits};
        const uint32_t pixels = c.rowBytes * c.height;
        ASSERT_EQ(Check(h, 54 + pixels + 7, &layout), 1) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(layout.rowBytes, c.rowBytes);
        EXPECT_EQ(layout.pixelBytes, pixels);  // bytes behind the pixels are not counted
        EXPECT_EQ(Check(h, 54 + pixels - 1, &layout), 0) << "one byte short";
    }
    for (uint32_t size = 0; size < 54; ++size)
        EXPECT_EQ(Check(Header{}, size, &layout), 0) << size << " bytes";
}

TEST(CheckBannerLayout, RejectionTable)
{
    const struct { const char* what; Header h; } cases[] = {
        {"V5 header", {124}}, {"core header", {12}}, {"colour table with 24 bits", {40, 3, 2, 1, 24, 0, 16}},
        {"8 bits", {40, 3, 2, 1, 8}}, {"15 bits", {40, 3, 2, 1, 15}}, {"run-length coded", {40, 3, 2, 1, 24, 1}},
        {"bit fields", {40, 3, 2, 1, 24, 3}}, {"top-down", {40, 3, -2}}, {"zero height", {40, 3, 0}},
        {"negative width", {40, -3, 2}}, {"two planes", {40, 3, 2, 2}},
        // Sizes beyond 32 bits, which cut to 32 bits would look small.
        {"row of 2^33 bytes", {40, 0x7FFFFFFF, 2, 1, 32}}, {"row of 2^32 bytes", {40, 0x40000000, 2, 1, 32}},
        {"2^31 rows", {40, 1, 0x7FFFFFFF, 1, 32}}, {"2^16 rows of 2^18 bytes", {40, 0x10000, 0x10000, 1, 32}},
    };
    for (const auto& c : cases) {
        BannerLayout layout;
        EXPECT_EQ(Check(c.h, 54 + 4096, &layout), 0) << c.what;
    }
}

TEST(WizardTexts, BannerChoiceAndAPreviewThatDoesNotFit)
{
    EXPECT_TRUE(BannerIndex(1639, 20) == 1 && BannerIndex(32767, 20) == 19);  // r * count / 32768, never count
    EXPECT_EQ(BannerIndex(5, 0), -1);
    char out[520];
    const std::string company(259, 'c');
    EXPECT_EQ(BuildPreviewText(std::string(249, 'f').c_str(), company.c_str(), "LANTERNA", out, sizeof out), 1);
    EXPECT_EQ(BuildPreviewText(std::string(250, 'f').c_str(), company.c_str(), "LANTERNA", out, sizeof out), 0);
    EXPECT_STREQ(out, "");  // a cut preview would name another folder
}
