// The destination checks, where an entry is copied to, and the update list.
#include "install/paths.h"
#include "install/update_list.h"

#include <gtest/gtest.h>

#include <string>

TEST(CheckDestination, PathDriveAndSpaceRules)
{
    using F = DestinationFault;
    constexpr uint32_t kC = 1u << 2, kAll = 0xFFFFFFFFu;
    const struct { const char* root; uint32_t drives; DestinationFault expected; } cases[] = {
        {"Z:\\", 1u << 25, F::None},  // the faults a user types are walked end to end
        {"C:/games", kC, F::InvalidPath},
        {"@:\\", kAll, F::InvalidDrive},  // 0x40, just below A
        {"[:\\", kAll, F::InvalidDrive},  // 0x5B, just above Z
        {"{:\\", kAll, F::InvalidDrive},  // 0x7B folds to 0x5B
        {"\x83:\\", kAll, F::InvalidDrive},
    };
    for (const auto& c : cases)
        EXPECT_EQ(static_cast<int>(CheckDestinationRoot(c.root, c.drives)), static_cast<int>(c.expected)) << c.root;
    EXPECT_EQ(CheckFreeSpace(1, 1000, 1000), F::None);  // an exact fit is enough
    EXPECT_EQ(CheckFreeSpace(1, 0x100000000ull, 0x100000001ull), F::NoSpace);
    EXPECT_EQ(CheckFreeSpace(0, UINT64_MAX, 0), F::NoSpace);  // a failed query
}

TEST(PlanCopyEntry, PathsThatDoNotFitAreRefused)
{
    const std::string name255(255, 'n'), name256(256, 'n'), folder203 = "C:\\" + std::string(200, 'f'),
                      folder259 = "C:\\" + std::string(256, 'f'), name60(60, 'n');
    const struct { const char* folder; const char* name; int isFile, ok; } cases[] = {
        {"C:\\G", name255.c_str(), 0, 1},  // E:\ and 255 bytes, two NULs: 260
        {"C:\\G", name256.c_str(), 0, 0},
        {folder203.c_str(), name60.c_str(), 0, 1},  // a folder entry is copied into the install folder
        {folder203.c_str(), name60.c_str(), 1, 0},  // a file keeps its name there, which does not fit
        {folder259.c_str(), "A", 0, 0},  // no room for the second NUL
    };
    for (const auto& c : cases) {
        CopyPlan plan;
        EXPECT_EQ(PlanCopyEntry("E:\\", c.folder, c.name, c.isFile, &plan), c.ok) << c.folder << " " << c.name;
    }
}

TEST(AddUpdateEntry, PrefixMemberNameAndPlaces)
{
    const struct { const char* value; int selected; UpdateEntry expected; const char* member; } cases[] = {
        {"1,DATA\\NEW.DAT", 1, UpdateEntry::Accepted, "NEW.DAT"},
        {"1,DATA\\NEW.DAT", 0, UpdateEntry::OtherType, nullptr},
        {"AB,C.DAT", 0, UpdateEntry::Accepted, "AB,C.DAT"},  // only a comma in second place
        {"\x95\x5C.DAT", 0, UpdateEntry::Accepted, "\x95\x5C.DAT"},  // 表.DAT: its 5C is no separator
        {"2,D\x83\x5C\\SUB\\B.DAT", 2, UpdateEntry::Accepted, "B.DAT"},
    };
    for (const auto& c : cases) {
        UpdateList list{};
        EXPECT_EQ(AddUpdateEntry(&list, c.value, c.selected), c.expected) << c.value;
        EXPECT_STREQ(list.count ? list.paths[0] + list.memberNameOffsets[0] : nullptr, c.member);
    }
    UpdateList list{};
    for (int i = 0; i < kMaxUpdateFiles; ++i)
        ASSERT_EQ(AddUpdateEntry(&list, "F", 0), UpdateEntry::Accepted);
    EXPECT_EQ(AddUpdateEntry(&list, "F16", 0), UpdateEntry::Full);
}

TEST(IsContainedPath, RefusesWhatLeavesTheInstallFolder)
{
    const struct { const char* path; int contained; } cases[] = {
        {"DATA\\SUB\\NEW.DAT", 1}, {".\\A.DAT", 1},         {"A..B.DAT", 1},
        {"\x95\x5C..\\A", 1},  // 表.. is one name: its 5C is no separator
        {"..", 0},             {"DATA\\..\\..\\EVIL.EXE", 0}, {"DATA/../EVIL.EXE", 0},
        {"DATA\\...\\X", 0},   {"DATA\\. .\\X", 0},  // Windows drops trailing blanks and dots
        {"\\WINDOWS\\X.DLL", 0}, {"/WINDOWS/X.DLL", 0},   {"C:X.DLL", 0}, {"A.DAT:stream", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsContainedPath(c.path), c.contained) << c.path;
}
