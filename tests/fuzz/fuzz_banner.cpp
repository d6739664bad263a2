// Banner header fuzz target: the input is a banner file in a block of exactly its
// size. An accepted layout must be the header's own fields, and its last pixel
// byte must lie inside the file (the sanitizer checks the read).
#include "tests/fuzz/fuzz_text.h"
#include "wizard/banner_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char* file = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(file, data, size);
    BannerLayout layout;
    if (CheckBannerLayout(file, static_cast<uint32_t>(size), &layout)) {
        int32_t width, height;
        uint16_t bits;
        std::memcpy(&width, file + 18, 4);  // little-endian host
        std::memcpy(&height, file + 22, 4);
        std::memcpy(&bits, file + 28, 2);
        FUZZ_CHECK(layout.width == width && layout.height == height && layout.bitsPerPixel == bits);
        FUZZ_CHECK(width > 0 && height > 0 && (bits == 16 || bits == 24 || bits == 32));
        const uint64_t packed = uint64_t{bits} / 8 * static_cast<uint64_t>(width);
        FUZZ_CHECK(layout.rowBytes % 4 == 0 && layout.rowBytes >= packed && layout.rowBytes < packed + 4);
        FUZZ_CHECK(uint64_t{layout.pixelBytes} == uint64_t{layout.rowBytes} * static_cast<uint64_t>(height));
        FUZZ_CHECK(kBannerPixelOffset + uint64_t{layout.pixelBytes} <= size);
        volatile unsigned char last = file[kBannerPixelOffset + layout.pixelBytes - 1];
        (void)last;
    }
    std::free(file);
    return 0;
}
