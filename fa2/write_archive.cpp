// Laying out new FA2 archives (the tools' side): members compressed, placed and
// indexed by a directory.
#include "fa2/fa2.h"

#include <cstdlib>
#include <cstring>

Fa2PackResult Fa2BuildArchive(const Fa2PackMember* members, uint32_t count, int compressDirectory, uint8_t** image,
                              size_t* imageSize, uint32_t* failedMember)
{
    uint32_t failedIndex = 0;
    Fa2PackResult result = kFa2PackOk;
    uint8_t** streams = nullptr;
    Fa2Entry* entries = nullptr;
    uint8_t* directoryStream = nullptr;
    uint8_t* block = nullptr;
    size_t directoryStored = 0;
    uint64_t at = kFa2DataStart;
    const size_t directoryBytes = size_t(count) * sizeof(Fa2Entry);

    if (uint64_t(count) * sizeof(Fa2Entry) > kFa2Limit32) {
        result = kFa2PackTooLarge;
        goto done;
    }
    streams = static_cast<uint8_t**>(std::calloc(count ? count : 1, sizeof *streams));
    entries = static_cast<Fa2Entry*>(std::calloc(count ? count : 1, sizeof *entries));
    if (!streams || !entries) {
        result = kFa2PackNoMemory;
        goto done;
    }

    for (uint32_t i = 0; i < count; ++i) {
        const Fa2PackMember& m = members[i];
        failedIndex = i;
        const size_t nameLength = std::strlen(m.name);
        if (nameLength == 0 || nameLength > kFa2MaxNameLength) {
            result = kFa2PackNameTooLong;
            goto done;
        }
        Fa2Entry& e = entries[i];
        std::memcpy(e.name, m.name, nameLength);
        e.fileTime = m.fileTime;
        e.originalSize = m.size;
        e.storedSize = m.size;
        const size_t bound = Fa2CompressBound(m.size);
        streams[i] = static_cast<uint8_t*>(std::malloc(bound));
        if (!streams[i]) {
            result = kFa2PackNoMemory;
            goto done;
        }
        const size_t stored = Fa2Compress(streams[i], bound, m.data, m.size);
        if (stored == 0) {
            result = kFa2PackNoMemory;
            goto done;
        }
        if (stored <= m.size) {
            e.attributes = kFa2MemberCompressed;
            e.storedSize = static_cast<uint32_t>(stored);
        } else {
            std::free(streams[i]);
            streams[i] = nullptr;
        }
        at += Fa2RoundToPlacement(e.storedSize);
        if (at > kFa2Limit32) {
            result = kFa2PackTooLarge;
            goto done;
        }
    }

    directoryStored = directoryBytes;
    if (compressDirectory) {
        const size_t bound = Fa2CompressBound(directoryBytes);
        directoryStream = static_cast<uint8_t*>(std::malloc(bound));
        if (!directoryStream) {
            result = kFa2PackNoMemory;
            goto done;
        }
        directoryStored = Fa2Compress(directoryStream, bound, reinterpret_cast<const uint8_t*>(entries), directoryBytes);
        if (directoryStored == 0) {
            result = kFa2PackNoMemory;
            goto done;
        }
    }
    failedIndex = count;
    if (at + directoryStored > kFa2Limit32) {
        result = kFa2PackTooLarge;
        goto done;
    }
    block = static_cast<uint8_t*>(std::calloc(at + directoryStored, 1));
    if (!block) {
        result = kFa2PackNoMemory;
        goto done;
    }
    {
        const Fa2Header header = {kFa2Magic, compressDirectory ? kFa2DirectoryCompressed : 0u,
                                  static_cast<uint32_t>(at), count};
        std::memcpy(block, &header, sizeof header);
        uint64_t offset = kFa2DataStart;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* source = streams[i] ? streams[i] : members[i].data;
            if (entries[i].storedSize)
                std::memcpy(block + offset, source, entries[i].storedSize);
            offset += Fa2RoundToPlacement(entries[i].storedSize);
        }
        if (directoryStored)
            std::memcpy(block + at, compressDirectory ? directoryStream : reinterpret_cast<const uint8_t*>(entries),
                        directoryStored);
    }
    *image = block;
    *imageSize = static_cast<size_t>(at + directoryStored);

done:
    if (streams)
        for (uint32_t i = 0; i < count; ++i)
            std::free(streams[i]);
    std::free(streams);
    std::free(entries);
    std::free(directoryStream);
    if (result != kFa2PackOk && failedMember)
        *failedMember = failedIndex;
    return result;
}
