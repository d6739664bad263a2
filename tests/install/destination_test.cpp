#include "install/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
constexpr uint32_t kDriveC = 1u << 2;
constexpr uint32_t kDriveCD = kDriveC | (1u << 3);

const char* Name(DestinationFault f)
{
    switch (f) {
    case DestinationFault::None: return "None";
    case DestinationFault::InvalidPath: return "InvalidPath";
    case DestinationFault::InvalidDrive: return "InvalidDrive";
    case DestinationFault::NoSpace: return "NoSpace";
    }
    return "?";
}
}

TEST(CheckDestinationRoot, PathThenDriveRules)
{
    struct Case {
        const char* root;
        uint32_t drives;
        DestinationFault expected;
    } cases[] = {
        {"C:\\Program Files", kDriveC, DestinationFault::None},
        {"c:\\games", kDriveC, DestinationFault::None},           // lower case folds onto C
        {"D:\\", kDriveCD, DestinationFault::None},
        {"C:", kDriveC, DestinationFault::InvalidPath},           // no backslash
        {"C:games", kDriveC, DestinationFault::InvalidPath},
        {"\\\\server\\share", kDriveC, DestinationFault::InvalidPath},
        {"games\\x", kDriveC, DestinationFault::InvalidPath},     // relative
        {"", kDriveC, DestinationFault::InvalidPath},
        {"E:\\", kDriveCD, DestinationFault::InvalidDrive},       // not present: before any space query
        {"1:\\", 0xFFFFFFFFu, DestinationFault::InvalidDrive},    // not a letter, even with every bit set
        {"@:\\", 0xFFFFFFFFu, DestinationFault::InvalidDrive},    // 0x40: just below A
        {"[:\\", 0xFFFFFFFFu, DestinationFault::InvalidDrive},    // 0x5B: just above Z
        {"{:\\", 0xFFFFFFFFu, DestinationFault::InvalidDrive},    // 0x7B folds to 0x5B
        {"\x83:\\", 0xFFFFFFFFu, DestinationFault::InvalidDrive}, // a lead byte
        {"Z:\\", 1u << 25, DestinationFault::None},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(Name(CheckDestinationRoot(c.root, c.drives)), Name(c.expected)) << c.root;
}

TEST(CheckFreeSpace, EqualPassesAndAFailedQueryIsTooLittle)
{
    EXPECT_EQ(CheckFreeSpace(1, 1000, 1000), DestinationFault::None);
    EXPECT_EQ(CheckFreeSpace(1, 999, 1000), DestinationFault::NoSpace);
    EXPECT_EQ(CheckFreeSpace(1, 0, 0), DestinationFault::None);
    // Sizes above 4 GiB compare as 64-bit values.
    EXPECT_EQ(CheckFreeSpace(1, 0x100000000ull, 0x100000001ull), DestinationFault::NoSpace);
    EXPECT_EQ(CheckFreeSpace(1, UINT64_MAX, UINT64_MAX), DestinationFault::None);
    EXPECT_EQ(CheckFreeSpace(0, UINT64_MAX, 0), DestinationFault::NoSpace);
}

TEST(PlanCopyEntry, FileKeepsItsSubPathFolderLandsInTheInstallFolder)
{
    CopyPlan plan;
    ASSERT_EQ(PlanCopyEntry("E:\\", "C:\\PF\\Co\\Game", "DATA\\SUB\\A.DAT", 1, &plan), 1);
    EXPECT_STREQ(plan.source, "E:\\DATA\\SUB\\A.DAT");
    EXPECT_STREQ(plan.target, "C:\\PF\\Co\\Game\\DATA\\SUB\\A.DAT");
    EXPECT_EQ(plan.folderFlag, 0);

    ASSERT_EQ(PlanCopyEntry("E:\\", "C:\\PF\\Co\\Game", "EXTRA\\MOVIE", 0, &plan), 1);
    EXPECT_STREQ(plan.source, "E:\\EXTRA\\MOVIE");
    EXPECT_STREQ(plan.target, "C:\\PF\\Co\\Game");
    EXPECT_EQ(plan.folderFlag, 1);

    // A pattern can't have its attributes read: the caller passes 0 and the
    // matching files go straight into the install folder.
    ASSERT_EQ(PlanCopyEntry("E:\\", "C:\\G", "DOC\\*.*", 0, &plan), 1);
    EXPECT_STREQ(plan.source, "E:\\DOC\\*.*");
    EXPECT_STREQ(plan.target, "C:\\G");
}

TEST(PlanCopyEntry, BothPathsEndWithTheShellsSecondNul)
{
    CopyPlan plan;
    std::memset(&plan, 'x', sizeof plan);
    ASSERT_EQ(PlanCopyEntry("E:\\", "C:\\G", "A", 0, &plan), 1);
    EXPECT_EQ(plan.source[std::strlen(plan.source) + 1], '\0');
    EXPECT_EQ(plan.target[std::strlen(plan.target) + 1], '\0');
}

TEST(PlanCopyEntry, PathsThatDoNotFitAreRefused)
{
    CopyPlan plan;
    // "E:\" + 255 bytes = 258 bytes of text: fits with both NULs.
    const std::string longest(255, 'n');
    EXPECT_EQ(PlanCopyEntry("E:\\", "C:\\G", longest.c_str(), 0, &plan), 1);
    const std::string tooLong(256, 'n');
    EXPECT_EQ(PlanCopyEntry("E:\\", "C:\\G", tooLong.c_str(), 0, &plan), 0);

    // The source fits but the target (install folder + name) does not.
    const std::string folder = "C:\\" + std::string(200, 'f');
    const std::string name(60, 'n');
    EXPECT_EQ(PlanCopyEntry("E:\\", folder.c_str(), name.c_str(), 0, &plan), 1);  // folder entry: no join
    EXPECT_EQ(PlanCopyEntry("E:\\", folder.c_str(), name.c_str(), 1, &plan), 0);

    // An install folder of 259 bytes leaves no room for the second NUL.
    const std::string fullFolder = "C:\\" + std::string(256, 'f');
    EXPECT_EQ(PlanCopyEntry("E:\\", fullFolder.c_str(), "A", 0, &plan), 0);
}

TEST(BuildDataPath, ProfileFolderWinsAndExactlyOneBackslashEnds)
{
    struct Case {
        const char* install;
        const char* profile;
        const char* expected;
    } cases[] = {
        {"C:\\PF\\Co\\Game", "", "C:\\PF\\Co\\Game\\"},
        {"C:\\PF\\Co\\Game", "C:\\Users\\me", "C:\\Users\\me\\"},
        {"C:\\PF\\Co\\Game", "C:\\Users\\me\\", "C:\\Users\\me\\"},
        // ソ (83 5C) ends the folder name: its 5C is no separator, so one is added.
        {"C:\\\x83\x5C", "", "C:\\\x83\x5C\\"},
    };
    for (const Case& c : cases) {
        char out[260];
        ASSERT_EQ(BuildDataPath(out, sizeof out, c.install, c.profile), 1);
        EXPECT_STREQ(out, c.expected);
    }
    char out[260];
    const std::string full(258, 'p');
    EXPECT_EQ(BuildDataPath(out, sizeof out, "C:\\G", full.c_str()), 0);
}
