// Pack and open fuzz target: the input is cut into up to eight members (the first
// byte chooses the cuts), packed with a plain or compressed directory, opened
// again and read back; every member must come back byte for byte. The whole input
// also goes through the encoder and decoder alone.
#include "fa2/fa2.h"
#include "tests/fuzz/fuzz_text.h"

#include <cstdio>
#include <vector>

using Bytes = std::vector<uint8_t>;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes stream(Fa2CompressBound(size)), back(size);
    stream.resize(Fa2Compress(stream.data(), stream.size(), data, size));
    size_t written = 0, consumed = 0;
    FUZZ_CHECK(!stream.empty() && Fa2Decompress(back.data(), size, stream.data(), stream.size(), &written,
                                                &consumed) == kFa2DecodeOk);
    FUZZ_CHECK(written == size && consumed == stream.size() && back == Bytes(data, data + size));
    if (size == 0)
        return 0;
    const unsigned count = 1 + data[0] % 8;
    const size_t restSize = size - 1;
    std::vector<Fa2PackMember> members(count);
    char names[8][16];
    for (unsigned i = 0, at = 0; i < count; at = static_cast<unsigned>(restSize * ++i / count)) {
        std::snprintf(names[i], 16, "M%u.BIN", i);
        members[i] = {names[i], data + 1 + at, static_cast<uint32_t>(restSize * (i + 1) / count - at), uint64_t{i} << 40};
    }
    uint8_t* image = nullptr;
    size_t imageSize = 0;
    Fa2Header header;
    FUZZ_CHECK(Fa2BuildArchive(members.data(), count, data[0] & 0x80, &image, &imageSize, nullptr) == kFa2PackOk);
    FUZZ_CHECK(Fa2ReadImageHeader(image, imageSize, &header) && header.entryCount == count);
    Bytes block(Fa2ArchiveBytes(&header));
    auto* archive = reinterpret_cast<Fa2Archive*>(block.data());
    FUZZ_CHECK(Fa2ReadImageDirectory(image, imageSize, &header, archive));
    for (unsigned i = 0; i < count; ++i) {
        Bytes out(members[i].size);
        FUZZ_CHECK(Fa2ReadMember(image, imageSize, archive, i, out.data(), out.size()));
        FUZZ_CHECK(out == Bytes(members[i].data, members[i].data + members[i].size));
        FUZZ_CHECK(Fa2FindMemberAscii(archive, names[i]) == static_cast<int32_t>(i));
    }
    std::free(image);
    return 0;
}
