#include "wizard/banner_check.h"

#include "common/path.h"

namespace {
// Little-endian fields of the information header, read by byte so that neither
// alignment nor host byte order matters.
uint32_t U32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Information header fields, as offsets from the start of the header.
constexpr uint32_t kSize = 0, kWidth = 4, kHeight = 8, kPlanes = 12, kBitCount = 14, kCompression = 16,
                   kColoursUsed = 32;
constexpr uint32_t kUncompressed = 0;
}

int CheckBannerLayout(const unsigned char* file, uint32_t size, BannerLayout* layout)
{
    if (size < kBannerPixelOffset)
        return 0;
    const unsigned char* info = file + kBannerInfoOffset;
    // A larger header (V4/V5) or a colour table would put the pixels behind byte 54.
    if (U32(info + kSize) != kBannerInfoHeaderSize || U32(info + kColoursUsed) != 0)
        return 0;
    const int32_t width = static_cast<int32_t>(U32(info + kWidth));
    const int32_t height = static_cast<int32_t>(U32(info + kHeight));
    const uint16_t bits = U16(info + kBitCount);
    if (U16(info + kPlanes) != 1 || U32(info + kCompression) != kUncompressed)
        return 0;
    if (bits != 16 && bits != 24 && bits != 32)
        return 0;
    // A negative height is a top-down picture; its rows would land upside down.
    if (width <= 0 || height <= 0)
        return 0;
    // 64-bit products: a width near 2^31 must not wrap into a small row length.
    const uint64_t rowBytes = ((uint64_t{bits} + 7) / 8 * static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (pixelBytes > size - kBannerPixelOffset)
        return 0;
    layout->width = width;
    layout->height = height;
    layout->bitsPerPixel = bits;
    layout->rowBytes = static_cast<uint32_t>(rowBytes);
    layout->pixelBytes = static_cast<uint32_t>(pixelBytes);
    return 1;
}

int BannerIndex(int r, int count)
{
    if (count <= 0)
        return -1;
    return static_cast<int>(static_cast<int64_t>(r) * count / 32768);
}

int BuildPreviewText(const char* edit, const char* company, const char* game, char* out, std::size_t capacity)
{
    if (CopyText(out, capacity, edit) && AppendPath(out, capacity, company) && AppendPath(out, capacity, game))
        return 1;
    if (capacity)
        out[0] = '\0';
    return 0;
}
