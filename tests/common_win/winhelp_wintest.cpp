// The common file, disk and path helpers against the real platform (under Wine
// with code page 932): exact bytes, file times, failures, and the lead-byte test
// the path helpers take from the platform.
#include "common/path.h"
#include "common/winhelp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A scratch folder in the temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    path_ = std::string(base) + "winhelp_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const std::string& f : files_) {
      SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(f.c_str());
    }
    RemoveDirectoryA(path_.c_str());
  }
  std::string File(const char* name) {
    files_.push_back(path_ + "\\" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

std::string Slurp(const std::string& name) {
  HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[4096];
  DWORD got = 0;
  ReadFile(f, buf, sizeof buf, &got, nullptr);
  CloseHandle(f);
  return std::string(buf, got);
}

TEST(ReadWholeFile, ReturnsExactBytesIncludingEmptyFiles) {
  TempFolder dir;
  // NUL, CR LF and high bytes must come back untouched (no text-mode reading).
  const std::string cases[] = {std::string("a\0b\r\n\x95\x5c\xff", 8), std::string(), std::string(5000, 'x')};
  for (const std::string& content : cases) {
    std::string name = dir.File("read.bin");
    ASSERT_TRUE(WriteWholeFile(name.c_str(), content.data(), (uint32_t)content.size(), nullptr));
    uint32_t size = 12345;
    void* block = ReadWholeFile(name.c_str(), &size);
    ASSERT_NE(block, nullptr) << "size " << content.size();
    EXPECT_EQ(size, content.size());
    EXPECT_EQ(std::string((const char*)block, size), content);
    GlobalFree(block);
  }
}

TEST(ReadWholeFile, FailsOnMissingFileAndLeavesSizeAlone) {
  TempFolder dir;
  uint32_t size = 777;
  EXPECT_EQ(ReadWholeFile(dir.File("missing.bin").c_str(), &size), nullptr);
  EXPECT_EQ(size, 777u);
}

TEST(WriteWholeFile, SetsAllThreeTimes) {
  TempFolder dir;
  std::string name = dir.File("timed.bin");
  SYSTEMTIME st = {1999, 12, 5, 31, 23, 58, 30, 0};
  FILETIME when;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &when));
  ASSERT_TRUE(WriteWholeFile(name.c_str(), "abc", 3, &when));

  HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FILETIME created, accessed, written;
  ASSERT_TRUE(GetFileTime(f, &created, &accessed, &written));
  CloseHandle(f);
  EXPECT_EQ(CompareFileTime(&written, &when), 0);
  EXPECT_EQ(CompareFileTime(&accessed, &when), 0);
  // Read the content only now: reading moves the last-access time.
  EXPECT_EQ(Slurp(name), "abc");
  // Wine keeps no creation time on most Linux file systems and reports another
  // time; only a platform that stores it can be held to it.
  if (CompareFileTime(&created, &written) == 0 || created.dwHighDateTime == when.dwHighDateTime) {
    EXPECT_EQ(CompareFileTime(&created, &when), 0);
  }
}

TEST(WriteWholeFile, ReplacesLongerContent) {
  TempFolder dir;
  std::string name = dir.File("replace.bin");
  ASSERT_TRUE(WriteWholeFile(name.c_str(), "longer content", 14, nullptr));
  ASSERT_TRUE(WriteWholeFile(name.c_str(), "xy", 2, nullptr));
  EXPECT_EQ(Slurp(name), "xy");
}

// A read-only attribute can't stand in here: Wine keeps it as missing write
// permission, which does not stop root. A file held open without sharing, and a
// folder in the file's place, are refused by every platform.
TEST(WriteWholeFile, FailsWhenTargetCannotBeReplaced) {
  TempFolder dir;
  std::string held = dir.File("held.bin");
  ASSERT_TRUE(WriteWholeFile(held.c_str(), "keep", 4, nullptr));
  HANDLE lock = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WriteWholeFile(held.c_str(), "lost", 4, nullptr), 0);
  CloseHandle(lock);
  EXPECT_EQ(Slurp(held), "keep");

  std::string folder = dir.File("folder");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_EQ(WriteWholeFile(folder.c_str(), "x", 1, nullptr), 0);
  RemoveDirectoryA(folder.c_str());

  EXPECT_EQ(WriteWholeFile((folder + "\\no\\such\\dir.bin").c_str(), "x", 1, nullptr), 0);
}

TEST(GetDiskSpace, ReportsPlausibleCountsForSystemDrive) {
  for (const char* root : {"C:\\", "C:"}) {
    uint64_t freeToCaller = 0, total = 0, totalFree = 0;
    ASSERT_TRUE(GetDiskSpace(root, &freeToCaller, &total, &totalFree)) << root;
    EXPECT_GT(total, 0u) << root;
    EXPECT_LE(freeToCaller, total) << root;
    EXPECT_LE(totalFree, total) << root;
    EXPECT_GE(totalFree, freeToCaller) << root;
  }
}

TEST(GetDiskSpace, FailsForAbsentDriveAndKeepsOutputs) {
  DWORD drives = GetLogicalDrives();
  char root[] = "?:\\";
  for (char letter = 'Z'; letter >= 'D'; letter--) {
    if (!(drives & (1u << (letter - 'A')))) {
      root[0] = letter;
      break;
    }
  }
  ASSERT_NE(root[0], '?') << "every drive letter is in use";
  uint64_t a = 1, b = 2, c = 3;
  EXPECT_EQ(GetDiskSpace(root, &a, &b, &c), 0);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
  EXPECT_EQ(c, 3u);
}

TEST(AppendPath, PlatformLeadBytesUnderCodePage932) {
  ASSERT_EQ(GetACP(), 932u) << "run with a Japanese locale (LC_ALL=ja_JP.UTF-8 under Wine)";
  UsePlatformLeadBytes();
  struct Case {
    const char* path;
    const char* component;
    const char* expected;
  } cases[] = {
      // 表 is 95 5C: its second byte is not a separator, so one is added.
      {"C:\\\x95\x5c", "a", "C:\\\x95\x5c\\a"},
      // ソ is 83 5C.
      {"C:\\\x83\x5c", "b", "C:\\\x83\x5c\\b"},
      // A real trailing separator after a double-byte character is kept single.
      {"C:\\\x95\x5c\\", "c", "C:\\\x95\x5c\\c"},
      {"C:\\", "d", "C:\\d"},
  };
  for (const Case& c : cases) {
    char buf[kPathCapacity] = {};
    strcpy(buf, c.path);
    ASSERT_TRUE(AppendPath(buf, sizeof buf, c.component)) << c.expected;
    EXPECT_STREQ(buf, c.expected);
    EXPECT_EQ(buf[strlen(buf) + 1], '\0') << "second NUL behind " << c.expected;
  }
}

}  // namespace
