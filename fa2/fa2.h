// The FA2 archive format and its LZ77 coding: the portable half (no platform
// calls). Everything here builds for the host and for Windows.
//
// All archive integers are unsigned little-endian; the structs below mirror the
// bytes exactly, so an opened archive block can be copied from an image as is.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "FA2 records are read in place");

constexpr uint32_t kFa2Magic = 0x00324146;            // "FA2\0"
constexpr uint32_t kFa2DirectoryCompressed = 1;       // Fa2Header::flags bit 0
constexpr uint8_t kFa2MemberCompressed = 2;           // Fa2Entry::attributes bit 1
constexpr uint32_t kFa2NameField = 15;                // name bytes including the terminator
constexpr uint32_t kFa2MaxNameLength = kFa2NameField - 1;
constexpr uint32_t kFa2DataStart = 16;                // first member's data offset
constexpr uint32_t kFa2Placement = 16;                // members start on multiples of 16
constexpr uint64_t kFa2Limit32 = 0xFFFFFFFFu;       // offsets and sizes are 32-bit fields

constexpr uint64_t Fa2RoundToPlacement(uint64_t n) { return (n + (kFa2Placement - 1)) & ~uint64_t(kFa2Placement - 1); }

// Coding limits.
constexpr uint32_t kFa2WindowSize = 8192;       // longest distance of a long match
constexpr uint32_t kFa2NearPairMaxDistance = 256;
constexpr uint32_t kFa2FarPairMaxDistance = 2303;  // v = 2046; v = 2047 is the end marker
constexpr uint32_t kFa2MinMatch = 3;            // shortest long match
constexpr uint32_t kFa2MaxMatch = 282;          // longest long match
// No token expands to more than 282 bytes from its 25 bits, so a stream cannot
// expand beyond this many bytes per input byte; used to refuse absurd sizes early.
constexpr uint32_t kFa2MaxExpansion = 91;

struct Fa2Header {
    uint32_t magic;            // kFa2Magic in a genuine archive
    uint32_t flags;            // kFa2DirectoryCompressed
    uint32_t directoryOffset;  // from the first byte of the archive
    uint32_t entryCount;
};

struct Fa2Entry {
    char name[kFa2NameField];  // Shift-JIS, NUL-terminated inside the field, zero-filled
    uint8_t attributes;        // kFa2MemberCompressed
    uint64_t fileTime;         // FILETIME: 100 ns units since 1601-01-01 UTC
    uint32_t originalSize;     // bytes after expansion
    uint32_t storedSize;       // bytes of the stream (compressed) or of the data (plain)
};

static_assert(sizeof(Fa2Header) == 16, "Fa2Header is 16 bytes on disk");
static_assert(sizeof(Fa2Entry) == 32, "Fa2Entry is 32 bytes on disk");
static_assert(offsetof(Fa2Entry, attributes) == 15);
static_assert(offsetof(Fa2Entry, fileTime) == 16);
static_assert(offsetof(Fa2Entry, originalSize) == 24);
static_assert(offsetof(Fa2Entry, storedSize) == 28);

// The opened archive: one block of 16 + entryCount * 32 bytes, the header followed
// by the expanded directory. The Windows Fa2Open allocates it with GlobalAlloc.
struct Fa2Archive {
    Fa2Header header;
    // entryCount Fa2Entry records follow.
};

inline Fa2Entry* Fa2Entries(Fa2Archive* archive) { return reinterpret_cast<Fa2Entry*>(archive + 1); }
inline const Fa2Entry* Fa2Entries(const Fa2Archive* archive)
{
    return reinterpret_cast<const Fa2Entry*>(archive + 1);
}

// ---------------------------------------------------------------------------
// Decoding

enum Fa2DecodeResult {
    kFa2DecodeOk = 0,
    kFa2DecodeInputOverrun,   // the stream needs bytes beyond inLength: truncated or damaged
    kFa2DecodeOutputOverrun,  // the stream expands beyond outCapacity
    kFa2DecodeBadDistance,    // a copy reaches before the start of the output
};

// Expands one stream from `in` (inLength bytes available) into `out` (outCapacity
// bytes) up to and including its end marker. On kFa2DecodeOk, *written is the
// number of bytes produced and *consumed the number of input bytes the stream
// occupies (the end of the marker's last field). On failure both report how far
// decoding got; the output then holds partial data. Bytes of `out` beyond
// *written may have been overwritten as scratch. Never reads or writes outside
// the two ranges. `written` and `consumed` may be null.
Fa2DecodeResult Fa2Decompress(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength,
                              size_t* written, size_t* consumed);

// Text for a decode result, for tools and test messages (ASCII).
const char* Fa2DecodeResultText(Fa2DecodeResult result);

// On x86-64 the decoder's fast loop exists twice: as portable code, and built for
// processors that count leading zeros and shift by a register in one step, which
// it takes where the processor has them (kFastest, the default). kPortable holds
// it to the portable loop, so that tests and the benchmark can compare the two.
enum class Fa2DecodeLoop { kFastest, kPortable };
void Fa2SetDecodeLoop(Fa2DecodeLoop loop);

// ---------------------------------------------------------------------------
// Encoding

// Largest stream Fa2Compress can produce for `length` input bytes.
size_t Fa2CompressBound(size_t length);

// Encodes `in` as one stream with an end marker, choosing tokens by an optimal
// parse of the bit cost. Returns the stream length, or 0 when `outCapacity` is
// too small (give Fa2CompressBound) or memory runs out. Works for length 0.
size_t Fa2Compress(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength);

// ---------------------------------------------------------------------------
// Archive images in memory

// Reads and checks the header of an archive image of `size` bytes: the directory
// must begin at or after the header and inside the image; a plain directory must
// fit the image; a compressed directory must be able to expand to entryCount * 32
// bytes. The magic is not tested (a memory image is trusted to be an archive).
// Returns 1 and fills *header, or 0 for a damaged image.
int Fa2ReadImageHeader(const uint8_t* image, size_t size, Fa2Header* header);

// The same checks for a header read from an archive of `archiveSize` bytes
// (a file). Returns 1 when the directory can lie where the header says.
int Fa2CheckHeader(const Fa2Header* header, uint64_t archiveSize);

// Size of the opened block for a checked header: 16 + entryCount * 32.
size_t Fa2ArchiveBytes(const Fa2Header* header);

// Fills `archive` (Fa2ArchiveBytes(header) bytes) with the header and the
// directory, expanding a compressed one, which must expand to exactly
// entryCount * 32 bytes. `header` comes from Fa2ReadImageHeader on the same image.
// Returns 1, or 0 for a damaged directory (the block's contents are then undefined).
int Fa2ReadImageDirectory(const uint8_t* image, size_t size, const Fa2Header* header, Fa2Archive* archive);

// Data offset of entry `index`: 16 for the first, then each earlier entry's
// storedSize rounded up to 16 added on. Returns 1, or 0 if it passes 4 GiB.
int Fa2MemberOffset(const Fa2Archive* archive, uint32_t index, uint32_t* offset);

// Locates entry `index` in an image of `imageSize` bytes: its stored bytes
// [*offset, *offset + storedSize) must lie inside the image, and a plain member's
// originalSize must not exceed its storedSize. Returns 1, or 0 for a damaged entry.
int Fa2LocateMember(const Fa2Archive* archive, uint32_t index, size_t imageSize, uint32_t* offset);

// Writes entry `index`'s original bytes to `out` (capacity `outCapacity`, at least
// originalSize): expands a compressed member, which must expand to exactly
// originalSize, or copies a plain one. Returns 1, or 0 for a damaged member or a
// small buffer.
int Fa2ReadMember(const uint8_t* image, size_t imageSize, const Fa2Archive* archive, uint32_t index, uint8_t* out,
                  size_t outCapacity);

// 1 when an entry's name field equals `name` ignoring ASCII letter case. The field
// is compared only up to its terminator (never into the attributes byte).
int Fa2NameEqualsAscii(const char (&field)[kFa2NameField], const char* name);

// First entry whose name equals `name` ignoring ASCII case, or -1.
int32_t Fa2FindMemberAscii(const Fa2Archive* archive, const char* name);

// The free-space rule of extraction: 1 when `size` bytes fit in `available` (an
// exact fit is enough); otherwise 0, with the shortfall as the 32-bit signed
// number that the space message shows.
int Fa2SpaceSuffices(uint32_t size, uint64_t available, int32_t* shortfall);

// ---------------------------------------------------------------------------
// Writing archives (tools)

struct Fa2PackMember {
    const char* name;     // at most 14 bytes
    const uint8_t* data;  // `size` bytes
    uint32_t size;
    uint64_t fileTime;    // FILETIME
};

enum Fa2PackResult {
    kFa2PackOk = 0,
    kFa2PackNameTooLong,   // a name longer than 14 bytes (or empty)
    kFa2PackTooLarge,      // the archive would pass 4 GiB
    kFa2PackNoMemory,
};

// Lays out an archive: each member compressed unless its stream would be larger
// than its data, placed at multiples of 16 with zero fill, then the directory,
// compressed when `compressDirectory`. On kFa2PackOk, *image is a malloc'ed block
// of *imageSize bytes that the caller frees; *failedMember names the index of the
// member at fault otherwise. `failedMember` may be null.
Fa2PackResult Fa2BuildArchive(const Fa2PackMember* members, uint32_t count, int compressDirectory, uint8_t** image,
                              size_t* imageSize, uint32_t* failedMember);
