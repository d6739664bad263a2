// FA2 archive images in memory: reading the header and directory with every
// offset checked against the image, locating members, and laying out new archives.
#include "common/sjis.h"
#include "fa2/fa2.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr uint64_t kLimit32 = 0xFFFFFFFFu;

constexpr uint64_t RoundToPlacement(uint64_t n) { return (n + (kFa2Placement - 1)) & ~uint64_t(kFa2Placement - 1); }

inline unsigned char AsciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
}

int Fa2CheckHeader(const Fa2Header* header, uint64_t archiveSize)
{
    if (header->directoryOffset < sizeof(Fa2Header) || header->directoryOffset > archiveSize)
        return 0;
    const uint64_t directoryBytes = uint64_t(header->entryCount) * sizeof(Fa2Entry);
    const uint64_t remaining = archiveSize - header->directoryOffset;
    // The opened block must be addressable on a 32-bit host.
    if (directoryBytes > kLimit32 - sizeof(Fa2Header) || directoryBytes > SIZE_MAX - sizeof(Fa2Header))
        return 0;
    if (header->flags & kFa2DirectoryCompressed)
        return directoryBytes <= remaining * kFa2MaxExpansion;
    return directoryBytes <= remaining;
}

int Fa2ReadImageHeader(const uint8_t* image, size_t size, Fa2Header* header)
{
    if (size < sizeof(Fa2Header))
        return 0;
    Fa2Header h;
    std::memcpy(&h, image, sizeof h);
    if (!Fa2CheckHeader(&h, size))
        return 0;
    *header = h;
    return 1;
}

size_t Fa2ArchiveBytes(const Fa2Header* header)
{
    return sizeof(Fa2Header) + size_t(header->entryCount) * sizeof(Fa2Entry);
}

int Fa2ReadImageDirectory(const uint8_t* image, size_t size, const Fa2Header* header, Fa2Archive* archive)
{
    const size_t directoryBytes = size_t(header->entryCount) * sizeof(Fa2Entry);
    const uint8_t* const directory = image + header->directoryOffset;
    uint8_t* const entries = reinterpret_cast<uint8_t*>(Fa2Entries(archive));
    if (header->flags & kFa2DirectoryCompressed) {
        size_t written = 0;
        if (Fa2Decompress(entries, directoryBytes, directory, size - header->directoryOffset, &written, nullptr) !=
                kFa2DecodeOk ||
            written != directoryBytes)
            return 0;
    } else {
        std::memcpy(entries, directory, directoryBytes);
    }
    archive->header = *header;
    return 1;
}

int Fa2MemberOffset(const Fa2Archive* archive, uint32_t index, uint32_t* offset)
{
    const Fa2Entry* entries = Fa2Entries(archive);
    uint64_t at = kFa2DataStart;
    for (uint32_t i = 0; i < index; ++i) {
        at += RoundToPlacement(entries[i].storedSize);
        if (at > kLimit32)
            return 0;
    }
    *offset = static_cast<uint32_t>(at);
    return 1;
}

int Fa2LocateMember(const Fa2Archive* archive, uint32_t index, size_t imageSize, uint32_t* offset)
{
    if (index >= archive->header.entryCount)
        return 0;
    uint32_t at;
    if (!Fa2MemberOffset(archive, index, &at))
        return 0;
    const Fa2Entry& entry = Fa2Entries(archive)[index];
    if (at > imageSize || entry.storedSize > imageSize - at)
        return 0;
    if (!(entry.attributes & kFa2MemberCompressed) && entry.originalSize > entry.storedSize)
        return 0;
    *offset = at;
    return 1;
}

int Fa2ReadMember(const uint8_t* image, size_t imageSize, const Fa2Archive* archive, uint32_t index, uint8_t* out,
                  size_t outCapacity)
{
    uint32_t offset;
    if (!Fa2LocateMember(archive, index, imageSize, &offset))
        return 0;
    const Fa2Entry& entry = Fa2Entries(archive)[index];
    if (outCapacity < entry.originalSize)
        return 0;
    if (!(entry.attributes & kFa2MemberCompressed)) {
        if (entry.originalSize)  // `out` may be null for an empty member
            std::memcpy(out, image + offset, entry.originalSize);
        return 1;
    }
    size_t written = 0;
    return Fa2Decompress(out, entry.originalSize, image + offset, entry.storedSize, &written, nullptr) ==
                   kFa2DecodeOk &&
           written == entry.originalSize;
}

int Fa2NameEqualsAscii(const char (&field)[kFa2NameField], const char* name)
{
    uint32_t i = 0;
    while (i < kFa2NameField) {
        const unsigned char a = static_cast<unsigned char>(field[i]);
        const unsigned char b = static_cast<unsigned char>(name[i]);
        if (AsciiLower(a) != AsciiLower(b))
            return 0;
        if (a == 0)
            return 1;
        ++i;
        // The second byte of a double-byte character is never a letter to fold.
        if (IsSjisLeadByte(a) && i < kFa2NameField) {
            if (field[i] != name[i])
                return 0;
            if (field[i] == 0)
                return 1;
            ++i;
        }
    }
    // A field without a terminator (damaged) holds 15 bytes of name.
    return name[kFa2NameField] == 0;
}

int32_t Fa2FindMemberAscii(const Fa2Archive* archive, const char* name)
{
    const Fa2Entry* entries = Fa2Entries(archive);
    for (uint32_t i = 0; i < archive->header.entryCount && i <= INT32_MAX; ++i)
        if (Fa2NameEqualsAscii(entries[i].name, name))
            return static_cast<int32_t>(i);
    return -1;
}

int Fa2SpaceSuffices(uint32_t size, uint64_t available, int32_t* shortfall)
{
    if (size <= available)
        return 1;
    *shortfall = static_cast<int32_t>(static_cast<uint32_t>(size - available));
    return 0;
}

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

    if (uint64_t(count) * sizeof(Fa2Entry) > kLimit32) {
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
        at += RoundToPlacement(e.storedSize);
        if (at > kLimit32) {
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
    if (at + directoryStored > kLimit32) {
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
            offset += RoundToPlacement(entries[i].storedSize);
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
