// FA2 archive images in memory: reading the header and directory with every
// offset checked against the image, and locating members. Laying out new archives
// is in write_archive.cpp, so that a program that only reads links no encoder.
#include "common/sjis.h"
#include "fa2/fa2.h"

#include <cstring>

namespace {
inline unsigned char AsciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
}

int Fa2CheckHeader(const Fa2Header* header, uint64_t archiveSize)
{
    if (header->directoryOffset < sizeof(Fa2Header) || header->directoryOffset > archiveSize)
        return 0;
    const uint64_t directoryBytes = uint64_t(header->entryCount) * sizeof(Fa2Entry);
    const uint64_t remaining = archiveSize - header->directoryOffset;
    // The opened block must be addressable on a 32-bit host.
    if (directoryBytes > kFa2Limit32 - sizeof(Fa2Header) || directoryBytes > SIZE_MAX - sizeof(Fa2Header))
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
        at += Fa2RoundToPlacement(entries[i].storedSize);
        if (at > kFa2Limit32)
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
