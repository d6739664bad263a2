// Portable checks behind the wizard's platform code: which banner files the pixel
// rule fits, which banner a random number picks, and the install-folder preview.
#pragma once
#include <cstddef>
#include <cstdint>

// Fixed offsets of a banner file: the bitmap information behind the 14-byte file
// header, and the pixel rows directly behind a 40-byte information header.
constexpr uint32_t kBannerInfoOffset = 14;
constexpr uint32_t kBannerInfoHeaderSize = 40;
constexpr uint32_t kBannerPixelOffset = kBannerInfoOffset + kBannerInfoHeaderSize;
static_assert(kBannerPixelOffset == 54, "pixels start behind the file and information headers");

// The picture as the pixel rule reads it.
struct BannerLayout {
    int32_t width;
    int32_t height;        // always positive: rows are stored bottom-up
    uint16_t bitsPerPixel; // 16, 24 or 32
    uint32_t rowBytes;     // ((bits + 7) / 8) * width, rounded up to a multiple of 4
    uint32_t pixelBytes;   // rowBytes * height, all of it inside the file from byte 54
};

// Returns 1 and fills `layout` when the file's pixel data are exactly what the rule
// takes from byte 54: a 40-byte information header, one plane, 16/24/32 bits per
// pixel, no compression, no colour table, positive width and height, and the whole
// pixel data inside `size`. Returns 0 for anything else (then `layout` is
// unspecified); nothing beyond `size` bytes of `file` is read.
int CheckBannerLayout(const unsigned char* file, uint32_t size, BannerLayout* layout);

// The banner that a generator value `r` (0 to 32767) picks among `count` names:
// r * count / 32768. Returns -1 when there is no name to pick.
int BannerIndex(int r, int count);

// Builds the preview "edit\company\game" into `out` (capacity bytes). When the
// joined path does not fit, `out` becomes empty and 0 is returned: a preview that
// is cut would name a folder the installation would not use.
int BuildPreviewText(const char* edit, const char* company, const char* game, char* out, std::size_t capacity);
