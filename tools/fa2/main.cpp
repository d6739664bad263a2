// fa2: builds, lists, checks and unpacks FA2 archives, and codes single streams.
// Exit status 0 only when the whole command succeeded.
#include "fa2/fa2.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Seconds from 1601-01-01 (FILETIME's epoch) to 1970-01-01.
constexpr uint64_t kUnixEpochInFileTime = 11644473600ull;

const char* const kUsage =
    "usage: fa2 COMMAND ...\n"
    "  pack ARCHIVE FILE...          new archive of the files (each compressed unless larger)\n"
    "  list ARCHIVE                  table of the members\n"
    "  extract ARCHIVE [-C DIR] [MEMBER...]  write members (all when none named)\n"
    "  test ARCHIVE                  expand every member and check its sizes\n"
    "  encode IN OUT                 code one file as a single stream\n"
    "  decode IN OUT                 expand one stream\n"
    "`fa2 COMMAND --help` describes a command.\n";

struct CommandHelp {
    const char* name;
    const char* text;
};

const CommandHelp kHelp[] = {
    {"pack",
     "usage: fa2 pack ARCHIVE FILE...\n"
     "Writes ARCHIVE with the FILEs as members in the order given. A member's name is\n"
     "its file name (at most 14 bytes, kept byte for byte), its time the file's\n"
     "modification time. Members are compressed unless that would make them larger;\n"
     "the directory is compressed.\n"},
    {"list",
     "usage: fa2 list ARCHIVE\n"
     "Prints each member's name, storage, original and stored size, data offset and\n"
     "time stamp (UTC).\n"},
    {"extract",
     "usage: fa2 extract ARCHIVE [-C DIR] [MEMBER...]\n"
     "Writes the named members (all members when none is named) into DIR (default:\n"
     "the current folder) with their time stamps. Names match without regard to\n"
     "ASCII letter case; when two members share a name the first one is taken.\n"},
    {"test",
     "usage: fa2 test ARCHIVE\n"
     "Expands every member and checks that it gives exactly its original size and\n"
     "that its stream ends exactly at its stored size.\n"},
    {"encode", "usage: fa2 encode IN OUT\nWrites the FA2 stream of IN, with its end marker, to OUT.\n"},
    {"decode", "usage: fa2 decode IN OUT\nExpands the FA2 stream in IN to OUT.\n"},
};

void Fail(const char* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Fail(const char* file, const char* format, ...)
{
    std::fprintf(stderr, "fa2: %s: ", file);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool ReadFile(const char* path, std::vector<uint8_t>* data)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        Fail(path, "cannot open: %s", std::strerror(errno));
        return false;
    }
    data->clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data->insert(data->end(), chunk, chunk + got);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) {
        Fail(path, "read error");
        return false;
    }
    return true;
}

bool WriteFile(const char* path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        Fail(path, "cannot create: %s", std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        Fail(path, "write error");
        return false;
    }
    return true;
}

uint64_t FileTimeOf(const struct stat& st)
{
    const uint64_t seconds = static_cast<uint64_t>(st.st_mtim.tv_sec) + kUnixEpochInFileTime;
    return seconds * 10000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
}

void SetFileTime(const char* path, uint64_t fileTime)
{
    if (fileTime < kUnixEpochInFileTime * 10000000ull)
        return;
    const uint64_t since1970 = fileTime - kUnixEpochInFileTime * 10000000ull;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(since1970 / 10000000ull);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(since1970 % 10000000ull) * 100;
    utimensat(AT_FDCWD, path, times, 0);
}

std::string TimeText(uint64_t fileTime)
{
    if (fileTime < kUnixEpochInFileTime * 10000000ull)
        return "before 1970";
    const time_t seconds = static_cast<time_t>(fileTime / 10000000ull - kUnixEpochInFileTime);
    struct tm utc;
    char text[32];
    if (!gmtime_r(&seconds, &utc) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc))
        return "?";
    return text;
}

const char* BaseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string NameOf(const Fa2Entry& e)
{
    return std::string(e.name, strnlen(e.name, kFa2NameField));
}

// An archive file read whole, with its directory opened.
struct LoadedArchive {
    std::vector<uint8_t> image;
    std::vector<uint8_t> block;  // Fa2Archive: header and expanded directory
    const Fa2Archive* archive() const { return reinterpret_cast<const Fa2Archive*>(block.data()); }
    const Fa2Entry& entry(uint32_t i) const { return Fa2Entries(archive())[i]; }
    uint32_t count() const { return archive()->header.entryCount; }
};

bool LoadArchive(const char* path, LoadedArchive* loaded)
{
    if (!ReadFile(path, &loaded->image))
        return false;
    const std::vector<uint8_t>& image = loaded->image;
    if (image.size() < sizeof(Fa2Header)) {
        Fail(path, "not an FA2 archive: %zu bytes, shorter than the 16-byte header", image.size());
        return false;
    }
    Fa2Header header;
    std::memcpy(&header, image.data(), sizeof header);
    if (header.magic != kFa2Magic) {
        Fail(path, "not an FA2 archive: it does not begin with the bytes 46 41 32 00");
        return false;
    }
    if (!Fa2ReadImageHeader(image.data(), image.size(), &header)) {
        Fail(path, "damaged header: a %s directory of %u entries at offset %u does not fit the %zu-byte file",
             header.flags & kFa2DirectoryCompressed ? "compressed" : "plain", header.entryCount,
             header.directoryOffset, image.size());
        return false;
    }
    loaded->block.assign(Fa2ArchiveBytes(&header), 0);
    if (!Fa2ReadImageDirectory(image.data(), image.size(), &header,
                               reinterpret_cast<Fa2Archive*>(loaded->block.data()))) {
        Fail(path, "damaged directory: the compressed directory does not expand to %u entries", header.entryCount);
        return false;
    }
    return true;
}

// Expands member `i` into `out`; reports what is wrong with it and returns false.
bool ExpandMember(const char* path, const LoadedArchive& a, uint32_t i, std::vector<uint8_t>* out, bool strict)
{
    const Fa2Entry& e = a.entry(i);
    const std::string name = NameOf(e);
    uint32_t offset;
    if (!Fa2LocateMember(a.archive(), i, a.image.size(), &offset)) {
        if (!Fa2MemberOffset(a.archive(), i, &offset))
            Fail(path, "member %s: data offset passes 4 GiB", name.c_str());
        else if (!(e.attributes & kFa2MemberCompressed) && e.originalSize > e.storedSize)
            Fail(path, "member %s: plain data of %u bytes stored in %u", name.c_str(), e.originalSize, e.storedSize);
        else
            Fail(path, "member %s: %u stored bytes at offset %u lie beyond the %zu-byte file", name.c_str(),
                 e.storedSize, offset, a.image.size());
        return false;
    }
    out->assign(e.originalSize, 0);
    if (!(e.attributes & kFa2MemberCompressed)) {
        std::memcpy(out->data(), a.image.data() + offset, e.originalSize);
        return true;
    }
    size_t written = 0, consumed = 0;
    const Fa2DecodeResult r =
        Fa2Decompress(out->data(), e.originalSize, a.image.data() + offset, e.storedSize, &written, &consumed);
    if (r != kFa2DecodeOk) {
        Fail(path, "member %s: damaged stream: %s (after %zu of %u bytes)", name.c_str(), Fa2DecodeResultText(r),
             written, e.originalSize);
        return false;
    }
    if (written != e.originalSize) {
        Fail(path, "member %s: expands to %zu bytes, the directory says %u", name.c_str(), written, e.originalSize);
        return false;
    }
    if (strict && consumed != e.storedSize) {
        Fail(path, "member %s: stream ends after %zu bytes, the directory says %u", name.c_str(), consumed,
             e.storedSize);
        return false;
    }
    return true;
}

int Pack(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kHelp[0].text, stderr);
        return 2;
    }
    const char* archivePath = argv[0];
    std::vector<std::vector<uint8_t>> contents(argc - 1);
    std::vector<Fa2PackMember> members(argc - 1);
    for (int i = 1; i < argc; ++i) {
        const char* path = argv[i];
        struct stat st;
        if (stat(path, &st) != 0) {
            Fail(path, "cannot read: %s", std::strerror(errno));
            return 1;
        }
        if (!S_ISREG(st.st_mode)) {
            Fail(path, "not a regular file");
            return 1;
        }
        const char* name = BaseName(path);
        if (std::strlen(name) == 0 || std::strlen(name) > kFa2MaxNameLength) {
            Fail(path, "member name \"%s\" is %zu bytes long; names hold 1 to %u bytes", name, std::strlen(name),
                 kFa2MaxNameLength);
            return 1;
        }
        if (!ReadFile(path, &contents[i - 1]))
            return 1;
        if (contents[i - 1].size() > 0xFFFFFFFFu) {
            Fail(path, "larger than 4 GiB");
            return 1;
        }
        members[i - 1] = {name, contents[i - 1].data(), static_cast<uint32_t>(contents[i - 1].size()), FileTimeOf(st)};
    }
    uint8_t* image = nullptr;
    size_t imageSize = 0;
    uint32_t failed = 0;
    const Fa2PackResult r =
        Fa2BuildArchive(members.data(), static_cast<uint32_t>(members.size()), 1, &image, &imageSize, &failed);
    if (r != kFa2PackOk) {
        const char* what = r == kFa2PackTooLarge ? "the archive would pass 4 GiB"
                           : r == kFa2PackNoMemory ? "out of memory"
                                                   : "bad member name";
        Fail(failed < members.size() ? argv[failed + 1] : archivePath, "%s", what);
        return 1;
    }
    const bool ok = WriteFile(archivePath, image, imageSize);
    std::free(image);
    return ok ? 0 : 1;
}

int List(int argc, char** argv)
{
    if (argc != 1) {
        std::fputs(kHelp[1].text, stderr);
        return 2;
    }
    LoadedArchive a;
    if (!LoadArchive(argv[0], &a))
        return 1;
    const Fa2Header& h = a.archive()->header;
    std::printf("%s: %u members, %s directory at offset %u, %zu bytes\n", argv[0], h.entryCount,
                h.flags & kFa2DirectoryCompressed ? "compressed" : "plain", h.directoryOffset, a.image.size());
    std::printf("%-14s  %-10s  %10s  %10s  %10s  %s\n", "name", "storage", "original", "stored", "offset",
                "time (UTC)");
    for (uint32_t i = 0; i < a.count(); ++i) {
        const Fa2Entry& e = a.entry(i);
        uint32_t offset = 0;
        const bool placed = Fa2MemberOffset(a.archive(), i, &offset);
        std::printf("%-14s  %-10s  %10u  %10u  %10s  %s\n", NameOf(e).c_str(),
                    e.attributes & kFa2MemberCompressed ? "compressed" : "plain", e.originalSize, e.storedSize,
                    placed ? std::to_string(offset).c_str() : "beyond 4G", TimeText(e.fileTime).c_str());
    }
    return 0;
}

// A member name that is safe as a file name in the target folder.
bool SafeName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

int Extract(int argc, char** argv)
{
    if (argc < 1) {
        std::fputs(kHelp[2].text, stderr);
        return 2;
    }
    const char* archivePath = argv[0];
    std::string folder = ".";
    std::vector<const char*> wanted;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-C") == 0) {
            if (i + 1 == argc) {
                Fail(archivePath, "-C needs a folder");
                return 2;
            }
            folder = argv[++i];
        } else {
            wanted.push_back(argv[i]);
        }
    }
    LoadedArchive a;
    if (!LoadArchive(archivePath, &a))
        return 1;
    std::vector<uint32_t> chosen;
    if (wanted.empty()) {
        for (uint32_t i = 0; i < a.count(); ++i)
            chosen.push_back(i);
    }
    for (const char* name : wanted) {
        const int32_t i = Fa2FindMemberAscii(a.archive(), name);
        if (i < 0) {
            Fail(archivePath, "no member named %s", name);
            return 1;
        }
        chosen.push_back(static_cast<uint32_t>(i));
    }
    std::vector<uint8_t> data;
    for (uint32_t i : chosen) {
        const std::string name = NameOf(a.entry(i));
        if (!SafeName(name)) {
            Fail(archivePath, "member name \"%s\" is not a usable file name", name.c_str());
            return 1;
        }
        if (!ExpandMember(archivePath, a, i, &data, false))
            return 1;
        const std::string target = folder + "/" + name;
        if (!WriteFile(target.c_str(), data.data(), data.size()))
            return 1;
        SetFileTime(target.c_str(), a.entry(i).fileTime);
    }
    return 0;
}

int Test(int argc, char** argv)
{
    if (argc != 1) {
        std::fputs(kHelp[3].text, stderr);
        return 2;
    }
    LoadedArchive a;
    if (!LoadArchive(argv[0], &a))
        return 1;
    std::vector<uint8_t> data;
    int bad = 0;
    for (uint32_t i = 0; i < a.count(); ++i)
        if (!ExpandMember(argv[0], a, i, &data, true))
            ++bad;
    if (bad)
        return 1;
    std::printf("%s: %u members ok\n", argv[0], a.count());
    return 0;
}

int Encode(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs(kHelp[4].text, stderr);
        return 2;
    }
    std::vector<uint8_t> in;
    if (!ReadFile(argv[0], &in))
        return 1;
    std::vector<uint8_t> out(Fa2CompressBound(in.size()));
    const size_t n = Fa2Compress(out.data(), out.size(), in.data(), in.size());
    if (n == 0) {
        Fail(argv[0], "cannot be coded (too large or out of memory)");
        return 1;
    }
    return WriteFile(argv[1], out.data(), n) ? 0 : 1;
}

int Decode(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs(kHelp[5].text, stderr);
        return 2;
    }
    std::vector<uint8_t> in;
    if (!ReadFile(argv[0], &in))
        return 1;
    // The stream carries no size: grow the buffer until it fits, up to the most
    // any stream of this length could expand to.
    const size_t most = in.size() * kFa2MaxExpansion;
    size_t capacity = in.size() * 4 + 4096;
    std::vector<uint8_t> out;
    for (;;) {
        if (capacity > most)
            capacity = most;
        out.resize(capacity);
        size_t written = 0, consumed = 0;
        const Fa2DecodeResult r = Fa2Decompress(out.data(), out.size(), in.data(), in.size(), &written, &consumed);
        if (r == kFa2DecodeOk) {
            if (consumed != in.size())
                std::fprintf(stderr, "fa2: %s: note: %zu bytes follow the end marker\n", argv[0],
                             in.size() - consumed);
            return WriteFile(argv[1], out.data(), written) ? 0 : 1;
        }
        if (r != kFa2DecodeOutputOverrun || capacity == most) {
            Fail(argv[0], "damaged stream: %s (input byte %zu, output byte %zu)", Fa2DecodeResultText(r), consumed,
                 written);
            return 1;
        }
        capacity *= 2;
    }
}

bool WantsHelp(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 || std::strcmp(command, "help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    using Handler = int (*)(int, char**);
    const Handler handlers[] = {Pack, List, Extract, Test, Encode, Decode};
    for (size_t i = 0; i < sizeof handlers / sizeof handlers[0]; ++i) {
        if (std::strcmp(command, kHelp[i].name) != 0)
            continue;
        if (WantsHelp(argc - 2, argv + 2)) {
            std::fputs(kHelp[i].text, stdout);
            return 0;
        }
        return handlers[i](argc - 2, argv + 2);
    }
    std::fprintf(stderr, "fa2: unknown command \"%s\"\n%s", command, kUsage);
    return 2;
}
