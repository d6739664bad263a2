// Everything the install disc's SETUP.INI says about one product. One instance for
// the process (g_config): filled once by LoadSetupConfig before any window opens;
// afterwards only MeasureInstallSizes writes (the InstallSize of unsized choices).
// Texts are NUL-terminated Shift-JIS bytes; capacities count bytes.
#pragma once
#include <cstdint>

constexpr int kMaxSelections = 3;
constexpr int kMaxInstallFiles = 40;
constexpr int kMaxShortcuts = 10;
constexpr int kMaxBanners = 20;
constexpr int kMaxDiscs = 10;
constexpr int kMaxUninstallFiles = 20;
constexpr int kTextCapacity = 260;
constexpr int kMessageCapacity = 1024;

struct InstallFileEntry {
    char name[kTextCapacity];  // relative to the disc root; empty ends the list
    int disc;                  // 0 to 9; 0 for entries without a disc mark
};

struct InstallSelection {
    char InstallTitle[kTextCapacity];
    InstallFileEntry InstallFiles[kMaxInstallFiles];
    bool usesOtherDiscs;    // some entry's disc is not 0
    uint64_t InstallSize;   // 0: not stated by the script
};

struct ShortcutEntry {
    char target[kTextCapacity];  // relative to the install folder, or "http://..."
    char name[kTextCapacity];    // file name without .lnk/.url; also the link's description
    char icon[kTextCapacity];    // relative to the install folder; may be empty
};

struct ExecAppEntry {
    char program[kTextCapacity];       // empty: no follow-up program
    char argumentFile[kTextCapacity];  // relative to the install folder
};

struct SetupConfig {
    char CompanyName[kTextCapacity];
    char GameTitle[kTextCapacity];
    char GameDir[kTextCapacity];
    char GameExe[kTextCapacity];
    char UninstExe[kTextCapacity];
    char SetupBmp[kMaxBanners][kTextCapacity];
    int SetupBmpCount;
    int32_t InstallSelects;            // 0 or negative: no choices
    InstallSelection selections[kMaxSelections];
    int32_t Shortcuts;                 // 0 or negative: no shortcuts
    ShortcutEntry shortcutEntries[kMaxShortcuts];
    char GameClass[kTextCapacity];
    int32_t DefaultSelect;
    char DiskCheckFile[kMaxDiscs][kTextCapacity];
    ExecAppEntry ExecApp;
    uint32_t InstallDirectX;           // DirectX flag word; 0: no offer
    char InstallDXMessage[kMessageCapacity];
    char SelectSetupMessage[kMessageCapacity];
    char AdditionalUninstallFiles[kMaxUninstallFiles][kTextCapacity];
    int AdditionalUninstallFilesCount;
};

extern SetupConfig g_config;

// The title that a disc's SETUP.INI must carry as GameTitle for setup to take it
// as its install disc.
extern const char kBuiltInTitle[];

// Number of choices in use (InstallSelects clamped to 0..3).
inline int SelectionCount(const SetupConfig& c)
{
    return c.InstallSelects < 0 ? 0 : (c.InstallSelects > kMaxSelections ? kMaxSelections : c.InstallSelects);
}

// Number of shortcuts in use (Shortcuts clamped to 0..10).
inline int ShortcutCount(const SetupConfig& c)
{
    return c.Shortcuts < 0 ? 0 : (c.Shortcuts > kMaxShortcuts ? kMaxShortcuts : c.Shortcuts);
}
