// Memory-form open fuzz target: the input is an archive image. Opening and
// reading every member must stay inside the image and the buffers.
#include "fa2/fa2.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto* image = static_cast<uint8_t*>(std::malloc(size + !size));
    if (size)
        std::memcpy(image, data, size);
    Fa2Header header;
    // A header that passes the checks can still ask for a lot when its directory
    // is compressed; the fuzzer's memory limit is not this test's subject.
    if (Fa2ReadImageHeader(image, size, &header) && Fa2ArchiveBytes(&header) <= (64u << 20)) {
        auto* archive = static_cast<Fa2Archive*>(std::malloc(Fa2ArchiveBytes(&header)));
        if (Fa2ReadImageDirectory(image, size, &header, archive)) {
            for (uint32_t i = 0; i < header.entryCount && i < 64; ++i) {
                const uint32_t n = Fa2Entries(archive)[i].originalSize;
                if (n > (16u << 20))
                    continue;
                auto* out = static_cast<uint8_t*>(std::malloc(n + !n));
                Fa2ReadMember(image, size, archive, i, out, n), std::free(out);
            }
            Fa2FindMemberAscii(archive, "UPDATE.INI");
        }
        std::free(archive);
    }
    std::free(image);
    return 0;
}
