// Pack and open fuzz target: the input is cut into up to eight members (the first
// byte chooses the cuts), packed with a plain or compressed directory, opened
// again and read back; every member must come back byte for byte. The whole input
// also goes through the encoder and decoder alone.
#include "fa2/fa2.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> stream(Fa2CompressBound(size));
    const size_t streamSize = Fa2Compress(stream.data(), stream.size(), data, size);
    if (streamSize == 0)
        std::abort();
    std::vector<uint8_t> back(size);
    size_t written = 0, consumed = 0;
    if (Fa2Decompress(back.data(), size, stream.data(), streamSize, &written, &consumed) != kFa2DecodeOk ||
        written != size || consumed != streamSize || (size && std::memcmp(back.data(), data, size) != 0))
        std::abort();

    if (size == 0)
        return 0;
    const unsigned count = 1 + data[0] % 8;
    const uint8_t* rest = data + 1;
    const size_t restSize = size - 1;
    std::vector<Fa2PackMember> members(count);
    std::vector<std::vector<char>> names(count, std::vector<char>(16, 0));
    size_t at = 0;
    for (unsigned i = 0; i < count; ++i) {
        const size_t end = i + 1 == count ? restSize : restSize * (i + 1) / count;
        std::snprintf(names[i].data(), 16, "M%u.BIN", i);
        members[i] = {names[i].data(), rest + at, static_cast<uint32_t>(end - at), uint64_t{i} << 40};
        at = end;
    }
    uint8_t* image = nullptr;
    size_t imageSize = 0;
    if (Fa2BuildArchive(members.data(), count, data[0] & 0x80, &image, &imageSize, nullptr) != kFa2PackOk)
        std::abort();
    Fa2Header header;
    if (!Fa2ReadImageHeader(image, imageSize, &header))
        std::abort();
    std::vector<uint8_t> block(Fa2ArchiveBytes(&header));
    Fa2Archive* archive = reinterpret_cast<Fa2Archive*>(block.data());
    if (!Fa2ReadImageDirectory(image, imageSize, &header, archive) || header.entryCount != count)
        std::abort();
    for (unsigned i = 0; i < count; ++i) {
        std::vector<uint8_t> out(members[i].size);
        if (!Fa2ReadMember(image, imageSize, archive, i, out.data(), out.size()) ||
            (members[i].size && std::memcmp(out.data(), members[i].data, members[i].size) != 0) ||
            Fa2FindMemberAscii(archive, names[i].data()) != static_cast<int32_t>(i))
            std::abort();
    }
    std::free(image);
    return 0;
}
