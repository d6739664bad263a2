// Size measurement against a folder tree built in the temporary folder, which
// stands in for the disc root (sourceRoot). Message boxes are answered by a
// watcher thread and their texts checked.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/measure.h"
#include "app/session.h"
#include "script/config.h"
#include "tests/script/box_watcher.h"

#include <gtest/gtest.h>

namespace {
std::string g_case;  // names the case in a failure
std::string g_root;  // the stand-in disc root, without a trailing backslash

std::string At(const char* relative) { return g_root + "\\" + relative; }

bool MakeFolder(const char* relative) { return CreateDirectoryA(At(relative).c_str(), nullptr) != 0; }

bool MakeFile(const char* relative, uint64_t size)
{
    HANDLE file = CreateFileA(At(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

void SetSelection(int index, const char* const* names, int count, uint64_t stated)
{
    InstallSelection& s = g_config.selections[index];
    s = InstallSelection{};
    for (int k = 0; k < count; ++k)
        std::strcpy(s.InstallFiles[k].name, names[k]);
    s.InstallSize = stated;
}

void Reset(int selects)
{
    g_config = SetupConfig{};
    g_config.InstallSelects = selects;
    std::snprintf(g_session.sourceRoot, sizeof g_session.sourceRoot, "%s\\", g_root.c_str());
}

// "ファイルが見つかりません" and "パスが長すぎます" in Shift-JIS.
const char kNotFound[] = " \x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
const char kTooLong[] = " \x83\x70\x83\x58\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7";

// Nested folders, dot-names and files beyond 4 GiB are measured end to end
// (tests/e2e/test_measure.py); this tree serves the limits.
bool BuildTree()
{
    return MakeFile("GAME.EXE", 100) && MakeFolder("DATA") && MakeFolder("DATA\\EMPTY") && MakeFile("LOCKED.DAT", 33) &&
           // 表 (95 5C) and ソ (83 5C): trail bytes that look like backslashes.
           MakeFolder("\x95\x5C") && MakeFile("\x95\x5C\\\x83\x5C.DAT", 5);
}

TEST(MeasureInstallSizes, LimitsOfTheWalk)
{
    BoxWatcher boxes(IDOK);
    g_case = "no choices";
    Reset(0);
    EXPECT_TRUE(MeasureInstallSizes()) << g_case;

    g_case = "folder sizes";
    EXPECT_TRUE(MeasureFolderSize(At("DATA\\EMPTY").c_str()) == 0) << g_case;
    EXPECT_TRUE(MeasureFolderSize(At("NO_SUCH_FOLDER").c_str()) == 0) << g_case;

    g_case = "forty entries, no terminator";
    Reset(1);
    const char* forty[kMaxInstallFiles];
    for (const char*& name : forty)
        name = "GAME.EXE";
    SetSelection(0, forty, kMaxInstallFiles, 0);
    EXPECT_TRUE(MeasureInstallSizes()) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallSize == 4000) << g_case;

    g_case = "file held open without sharing";
    HANDLE held = CreateFileA(At("LOCKED.DAT").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(held != INVALID_HANDLE_VALUE) << g_case;
    Reset(1);
    const char* locked[] = {"LOCKED.DAT", "\x95\x5C\\\x83\x5C.DAT"};
    SetSelection(0, locked, 2, 0);
    EXPECT_TRUE(MeasureInstallSizes()) << g_case;
    EXPECT_TRUE(g_config.selections[0].InstallSize == 33 + 5) << g_case;
    CloseHandle(held);

    EXPECT_TRUE(boxes.Take().empty()) << g_case;
}

TEST(MeasureInstallSizes, MissingFileIsReportedWithItsChoice)
{
    BoxWatcher boxes(IDOK);
    struct Case {
        const char* name;
        int missingChoice;
        uint64_t stated;
        std::string message;
    };
    const Case cases[] = {
        {"missing in the first choice", 0, 0, "SETUP.INI : InstallFiles0 : \"NOPE.DAT\"" + std::string(kNotFound)},
        {"missing in a stated choice", 1, 777, "SETUP.INI : InstallFiles1 : \"NOPE.DAT\"" + std::string(kNotFound)},
    };
    for (const Case& c : cases) {
        g_case = c.name;
        Reset(2);
        const char* present[] = {"GAME.EXE"};
        const char* missing[] = {"GAME.EXE", "NOPE.DAT", "DATA"};
        SetSelection(0, c.missingChoice == 0 ? missing : present, c.missingChoice == 0 ? 3 : 1, 0);
        SetSelection(1, c.missingChoice == 1 ? missing : present, c.missingChoice == 1 ? 3 : 1, c.stated);
        EXPECT_TRUE(!MeasureInstallSizes()) << g_case;
        const auto seen = boxes.Take();
        EXPECT_TRUE(seen.size() == 1) << g_case;
        if (seen.size() == 1) {
            EXPECT_EQ(std::string(seen[0].title), std::string("SETUP")) << g_case;
            EXPECT_EQ(std::string(seen[0].text), std::string(c.message)) << g_case;
        }
    }
}

// The ANSI calls stop at MAX_PATH; the wide ones take \\?\ paths of any length.
std::wstring Widen(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return wide;
}
bool MakeLongFolder(const std::string& path) { return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0; }
void RemoveLongFolder(const std::string& path) { RemoveDirectoryW(Widen(path).c_str()); }

TEST(MeasureInstallSizes, PathBeyondTheBuffersIsReported)
{
    BoxWatcher boxes(IDOK);
    // A folder at 200 bytes below the root holding a 100-byte name: the walk
    // meets a path of more than 259 bytes. \\?\ lets the tree be built.
    g_case = "path beyond 259 bytes";
    const std::string a(200 - g_root.size(), 'a'), b(100, 'b');
    const std::string wide = "\\\\?\\" + g_root + "\\LONG";
    MakeLongFolder(wide);
    MakeLongFolder(wide + "\\" + a);
    const bool built = MakeLongFolder(wide + "\\" + a + "\\" + b);
    ASSERT_TRUE(built);
    Reset(1);
    const char* listed[] = {"GAME.EXE", "LONG"};
    SetSelection(0, listed, 2, 0);
    EXPECT_TRUE(!MeasureInstallSizes()) << g_case;
    const auto seen = boxes.Take();
    EXPECT_TRUE(seen.size() == 1) << g_case;
    if (seen.size() == 1) {
        EXPECT_EQ(seen[0].text, "\"" + At("LONG\\") + a + "\\" + b + "\"" + kTooLong);
    }
    // A listed name that does not fit behind the root is reported the same way.
    g_case = "listed name beyond the buffer";
    const std::string name(259, 'n');
    const char* tooLong[] = {name.c_str()};
    Reset(1);
    SetSelection(0, tooLong, 1, 0);
    EXPECT_FALSE(MeasureInstallSizes());
    const auto named = boxes.Take();
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].text, "\"" + g_root + "\\" + name + "\"" + kTooLong);

    RemoveLongFolder(wide + "\\" + a + "\\" + b);
    RemoveLongFolder(wide + "\\" + a);
    RemoveLongFolder(wide);
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + "\\" + name);
            else
                DeleteFileA((folder + "\\" + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}
}

// The stand-in disc: a tree in the temporary folder, removed at the end.
class DiscTree : public ::testing::Environment {
public:
    void SetUp() override
    {
        char temp[MAX_PATH];
        const DWORD length = GetTempPathA(sizeof temp, temp);
        ASSERT_TRUE(length > 0 && length < sizeof temp);
        char root[MAX_PATH];
        std::snprintf(root, sizeof root, "%smeasure_%lu", temp, static_cast<unsigned long>(GetCurrentProcessId()));
        g_root = root;
        ASSERT_TRUE(CreateDirectoryA(root, nullptr) && BuildTree()) << "could not build the tree in " << root;
    }
    void TearDown() override { RemoveTree(g_root); }
};

[[maybe_unused]] ::testing::Environment* const g_discTree = ::testing::AddGlobalTestEnvironment(new DiscTree);
