// Memory-form open fuzz target: the input is an archive image. Opening and
// reading every member must stay inside the image and the buffers, and a member
// that reads back must have exactly its original size.
#include "fa2/fa2.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint8_t* image = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(image, data, size);
    Fa2Header header;
    if (Fa2ReadImageHeader(image, size, &header)) {
        const size_t bytes = Fa2ArchiveBytes(&header);
        // A header that passes the checks can still ask for a lot when its directory
        // is compressed; the fuzzer's memory limit is not this test's subject.
        if (bytes <= (64u << 20)) {
            Fa2Archive* archive = static_cast<Fa2Archive*>(std::malloc(bytes));
            if (Fa2ReadImageDirectory(image, size, &header, archive)) {
                const Fa2Entry* entries = Fa2Entries(archive);
                for (uint32_t i = 0; i < header.entryCount && i < 64; ++i) {
                    const uint32_t n = entries[i].originalSize;
                    if (n > (16u << 20))
                        continue;
                    uint8_t* out = static_cast<uint8_t*>(std::malloc(n ? n : 1));
                    Fa2ReadMember(image, size, archive, i, out, n);
                    std::free(out);
                }
                Fa2FindMemberAscii(archive, "UPDATE.INI");
            }
            std::free(archive);
        }
    }
    std::free(image);
    return 0;
}
