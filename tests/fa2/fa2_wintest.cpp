// FA2 over the Windows platform (run under Wine): opening archive files and
// images, the embedded package among setup.exe's resources, and member
// extraction with its messages, time stamps and attribute handling.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/session.h"
#include "fa2/fa2_win.h"
#include "tests/fa2/pack.h"
#include "tests/script/box_watcher.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> g_messages;
int Record(const char* text)
{
    g_messages.push_back(text);
    return IDOK;
}

std::string TempFolder()
{
    static std::string folder;
    if (folder.empty()) {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        folder = std::string(base) + "fa2_wintest_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder;
}

std::string TempPath(const char* name) { return TempFolder() + "\\" + name; }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

std::vector<uint8_t> Text(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

struct Member {
    const char* name;
    std::vector<uint8_t> data;
    uint64_t fileTime;
};

std::vector<uint8_t> BuildArchive(const std::vector<Member>& members, int compressDirectory)
{
    std::vector<Fa2PackMember> pack;
    for (const Member& m : members)
        pack.push_back({m.name, m.data.data(), static_cast<uint32_t>(m.data.size()), m.fileTime});
    return fa2test::PackArchive(pack, compressDirectory);
}

std::vector<uint8_t> Repeated(const char* unit, size_t count)
{
    std::vector<uint8_t> v;
    while (count--)
        v.insert(v.end(), unit, unit + std::strlen(unit));
    return v;
}

uint64_t FileTimeOf(const std::string& path, int which)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    const FILETIME& t = which == 0 ? data.ftCreationTime : which == 1 ? data.ftLastAccessTime : data.ftLastWriteTime;
    return t.dwLowDateTime | uint64_t{t.dwHighDateTime} << 32;
}

// A Linux path from the build, as Wine's Z: drive shows it.
std::string FromHost(const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return {};
    std::string path = std::string("Z:") + value;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// 2001-02-03 04:05:06 UTC, 2010-01-01 and 1999-12-31 as FILETIME.
constexpr uint64_t kTimeA = 126257895060000000ull;
constexpr uint64_t kTimeB = 129067776000000000ull;
constexpr uint64_t kTimeC = 125911295990000000ull;

}  // namespace

TEST(Fa2Open, FileFormPlainAndCompressedDirectories)
{
    const std::vector<Member> members = {{"UNINST.exe", Repeated("MZ code code ", 500), kTimeA},
                                         {"UPDATE.INI", Text("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\n"), kTimeB}};
    for (int compressed = 0; compressed < 2; ++compressed) {
        SCOPED_TRACE(compressed ? "compressed directory" : "plain directory");
        const std::vector<uint8_t> image = BuildArchive(members, compressed);
        const std::string path = TempPath("OPEN.FA2");
        WriteBytes(path, image);
        Fa2Archive* archive = Fa2Open(path.c_str(), 0);
        ASSERT_NE(archive, nullptr);
        EXPECT_EQ(GlobalSize(archive) >= 16 + 2 * 32, true);
        EXPECT_EQ(std::memcmp(&archive->header, image.data(), 16), 0);
        EXPECT_STREQ(Fa2Entries(archive)[1].name, "UPDATE.INI");
        EXPECT_EQ(Fa2Entries(archive)[0].fileTime, kTimeA);
        EXPECT_EQ(Fa2Entries(archive)[0].originalSize, 6500u);
        // The memory form gives the same block.
        Fa2Archive* fromMemory = Fa2Open(image.data(), static_cast<uint32_t>(image.size()));
        ASSERT_NE(fromMemory, nullptr);
        EXPECT_EQ(std::memcmp(fromMemory, archive, 16 + 2 * 32), 0);
        GlobalFree(fromMemory);
        GlobalFree(archive);
    }
}

TEST(Fa2Open, FileFormRefusals)
{
    std::vector<uint8_t> good = BuildArchive({{"A.TXT", Repeated("abc", 100), kTimeA}}, 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> badMagic = good;
    badMagic[2] = 'X';
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    const Case cases[] = {
        {"empty file", {}},
        {"15 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 15)},
        {"magic other than FA2\\0", badMagic},
        {"compressed directory cut short", truncated},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("BAD.FA2");
        WriteBytes(path, c.bytes);
        Fa2Archive* archive = Fa2Open(path.c_str(), 0);
        EXPECT_EQ(archive, nullptr) << c.what;
        if (archive)
            GlobalFree(archive);
    }
    EXPECT_EQ(Fa2Open(TempPath("MISSING.FA2").c_str(), 0), nullptr);

    // No members and a plain directory: the 16 header bytes alone.
    const std::string path = TempPath("EMPTY.FA2");
    WriteBytes(path, BuildArchive({}, 0));
    Fa2Archive* archive = Fa2Open(path.c_str(), 0);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->header.entryCount, 0u);
    GlobalFree(archive);
}

TEST(Fa2Open, MemoryFormSkipsTheMagicButNotDamage)
{
    std::vector<uint8_t> image = BuildArchive({{"A.TXT", Repeated("abc", 100), kTimeA}}, 0);
    image[0] = 'Z';
    Fa2Archive* archive = Fa2Open(image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_NE(archive, nullptr);
    GlobalFree(archive);
    // A directory offset beyond the block.
    image[8] = 0xFF, image[9] = 0xFF;
    EXPECT_EQ(Fa2Open(image.data(), static_cast<uint32_t>(image.size())), nullptr);
}

TEST(Fa2Resource, EmbeddedPackageOfSetupExe)
{
    const std::string setupExe = FromHost("FA2_SETUP_EXE");
    const std::string package = FromHost("FA2_UPDATE_ARCHIVE");
    if (setupExe.empty() || package.empty())
        GTEST_SKIP() << "setup.exe was built without an update package";
    HMODULE module = LoadLibraryExA(setupExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << setupExe;
    uint32_t size = 0;
    const void* data = LoadResourceBlock(module, 102, "UPDATE", &size);
    ASSERT_NE(data, nullptr);
    const std::vector<uint8_t> expected = ReadBytes(package);
    ASSERT_EQ(size, expected.size());
    EXPECT_EQ(std::memcmp(data, expected.data(), size), 0);

    Fa2Archive* archive = Fa2Open(data, size);
    ASSERT_NE(archive, nullptr);
    EXPECT_TRUE(archive->header.flags & kFa2DirectoryCompressed);
    SetCurrentArchive(data, size, archive);
    SetFa2MessageFunction(Record);
    const std::string script = TempPath("UPDATE.INI");
    EXPECT_EQ(Fa2ExtractMember("UPDATE.INI", script.c_str()), 1);
    EXPECT_EQ(Fa2ExtractMember("uninst.exe", TempPath("UNINST.EXE").c_str()), 1);
    SetFa2MessageFunction(nullptr);
    GlobalFree(archive);

    // A missing id or type leaves the size alone.
    uint32_t untouched = 77;
    EXPECT_EQ(LoadResourceBlock(module, 103, "UPDATE", &untouched), nullptr);
    EXPECT_EQ(LoadResourceBlock(module, 102, "NOSUCHTYPE", &untouched), nullptr);
    EXPECT_EQ(untouched, 77u);
    FreeLibrary(module);
}

class Fa2Extract : public testing::Test {
protected:
    void SetUp() override
    {
        g_messages.clear();
        SetFa2MessageFunction(Record);
        image_ = BuildArchive(
            {
                {"update.ini", Text("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\n"), kTimeA},
                {"UNINST.exe", Repeated("MZ\x90 uninstaller ", 3000), kTimeB},
                {"DUP.TXT", Repeated("first ", 200), kTimeA},
                {"dup.txt", Repeated("second ", 200), kTimeC},
                {"PLAIN.BIN", Text("\x01\x02\x03"), kTimeC},  // compressing would make it larger
            },
            1);
        archive_ = Fa2Open(image_.data(), static_cast<uint32_t>(image_.size()));
        ASSERT_NE(archive_, nullptr);
        SetCurrentArchive(image_.data(), static_cast<uint32_t>(image_.size()), archive_);
    }
    void TearDown() override
    {
        SetFa2MessageFunction(nullptr);
        SetCurrentArchive(nullptr, 0, nullptr);
        GlobalFree(archive_);
    }

    std::vector<uint8_t> image_;
    Fa2Archive* archive_ = nullptr;
};

TEST_F(Fa2Extract, CaseInsensitiveLookupWithTheMembersTime)
{
    const std::string target = TempPath("SCRIPT.INI");
    ASSERT_EQ(Fa2ExtractMember("UPDATE.INI", target.c_str()), 1);
    // Times first: reading the file may move its access time.
    for (int which = 0; which < 3; ++which)
        EXPECT_EQ(FileTimeOf(target, which), kTimeA) << "time " << which;
    EXPECT_EQ(ReadBytes(target), Text("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\n"));
    const std::string program = TempPath("UNINST.EXE");
    ASSERT_EQ(Fa2ExtractMember("UNINST.EXE", program.c_str()), 1);
    EXPECT_EQ(ReadBytes(program), Repeated("MZ\x90 uninstaller ", 3000));
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Fa2Extract, FirstOfTwoEqualNamesWins)
{
    const std::string target = TempPath("DUP.TXT");
    ASSERT_EQ(Fa2ExtractMember("Dup.Txt", target.c_str()), 1);
    EXPECT_EQ(ReadBytes(target), Repeated("first ", 200));
}

TEST_F(Fa2Extract, PlainMemberIsWrittenFromTheImage)
{
    ASSERT_FALSE(Fa2Entries(archive_)[4].attributes & kFa2MemberCompressed);
    const std::string target = TempPath("PLAIN.BIN");
    ASSERT_EQ(Fa2ExtractMember("PLAIN.BIN", target.c_str()), 1);
    EXPECT_EQ(FileTimeOf(target, 2), kTimeC);
    EXPECT_EQ(ReadBytes(target), Text("\x01\x02\x03"));
}

TEST_F(Fa2Extract, ReadOnlyTargetIsReplacedAndEndsNormal)
{
    const std::string target = TempPath("RO.TXT");
    WriteBytes(target, Text("old content that is longer than the member"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(Fa2ExtractMember("update.ini", target.c_str()), 1);
    const DWORD attributes = GetFileAttributesA(target.c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_EQ(FileTimeOf(target, 2), kTimeA);
    EXPECT_EQ(ReadBytes(target), Text("[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\n"));
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Fa2Extract, FolderAtTargetFailsWithoutMessage)
{
    const std::string target = TempPath("AFOLDER");
    CreateDirectoryA(target.c_str(), nullptr);
    EXPECT_EQ(Fa2ExtractMember("UPDATE.INI", target.c_str()), 0);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Fa2Extract, MissingMemberOrFolderIsReported)
{
    EXPECT_EQ(Fa2ExtractMember("NOTHERE.DAT", TempPath("NOTHERE.DAT").c_str()), 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0], "Can't Find File in Resource !!");
    EXPECT_EQ(GetFileAttributesA(TempPath("NOTHERE.DAT").c_str()), INVALID_FILE_ATTRIBUTES);
    // A missing sub-folder fails at the write, without a message of its own.
    g_messages.clear();
    EXPECT_EQ(Fa2ExtractMember("UPDATE.INI", TempPath("NO\\SUCH\\UPDATE.INI").c_str()), 0);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Fa2Extract, DamagedMemberWritesNothing)
{
    const std::string target = TempPath("DAMAGED.INI");
    Fa2Entry* entries = Fa2Entries(archive_);
    const Fa2Entry saved = entries[0];
    // Stored bytes that run past the image.
    entries[0].storedSize = static_cast<uint32_t>(image_.size());
    EXPECT_EQ(Fa2ExtractMember("UPDATE.INI", target.c_str()), 0);
    entries[0] = saved;
    // A stream that expands short of originalSize.
    entries[1].originalSize += 1;
    EXPECT_EQ(Fa2ExtractMember("UNINST.EXE", target.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(Fa2Extract, UnallocatableExpansionIsReported)
{
    // A member that claims nearly 4 GiB: more than a 32-bit process can allocate
    // (the drive has the room, or the space message comes first).
    Fa2Entries(archive_)[1].originalSize = 0xFFFFFF00u;
    EXPECT_EQ(Fa2ExtractMember("UNINST.EXE", TempPath("HUGE.EXE").c_str()), 0);
    ASSERT_EQ(g_messages.size(), 1u);
    const bool allocation = g_messages[0] == "Can't Allocate Memory !!";
    const bool space = g_messages[0].rfind("\x83\x66\x83\x42\x83\x58\x83\x4E", 0) == 0;  // ディスク
    EXPECT_TRUE(allocation || space) << g_messages[0];
}

TEST_F(Fa2Extract, MessagesUseTheErrorBox)
{
    // The real box, titled with the caption, answered by a watcher thread.
    SetFa2MessageFunction(nullptr);
    std::strcpy(g_session.caption, "FA2 TEST");
    BoxWatcher watcher(IDOK);
    EXPECT_EQ(Fa2ExtractMember("NOTHERE.DAT", TempPath("NOTHERE.DAT").c_str()), 0);
    const std::vector<SeenBox> boxes = watcher.Take();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "FA2 TEST");
    EXPECT_EQ(boxes[0].text, "Can't Find File in Resource !!");
}
