// Portable decisions of the installation run: the destination checks, where each
// listed entry is copied from and to, and the text of the user's data folder.
// Paths are NUL-terminated Shift-JIS bytes; every output buffer holds 260 bytes.
#pragma once
#include <cstdint>

enum class DestinationFault {
    None = 0,
    InvalidPath,   // not "X:\..." or the install folder would not fit a path buffer
    InvalidDrive,  // the letter is not a present drive
    NoSpace,       // fewer free bytes than the choice needs, or the query failed
};

// Path and drive tests of a destination root typed by the user. `presentDrives`
// is the platform's mask (bit 0 = A:). A lower-case letter counts as upper case.
DestinationFault CheckDestinationRoot(const char* root, uint32_t presentDrives);

// The free-space test. A query that failed has no free figure to compare, so it
// counts as too little space: the user can pick another drive.
DestinationFault CheckFreeSpace(int queryOk, uint64_t freeToCaller, uint64_t needed);

// One entry of a choice's file list, resolved against the disc and the install folder.
struct CopyPlan {
    char source[260];  // sourceRoot + name, two NULs
    char target[260];  // the install folder for a folder entry, else install folder + name
    int folderFlag;    // 1: copied as a folder (or a pattern) into the install folder
};

// `sourceIsFile` is 1 when the source's attributes were read and mark no folder;
// a missing source or a wildcard pattern is handled like a folder. Returns 0 when
// the source or the target would not fit 260 bytes with its second NUL; `plan`
// then holds nothing usable.
int PlanCopyEntry(const char* sourceRoot, const char* installFolder, const char* name, int sourceIsFile,
                  CopyPlan* plan);

// "DataPath" of the install record: the profile folder when known, else the install
// folder, in both cases ending in exactly one backslash. 0 when it would not fit.
int BuildDataPath(char* out, unsigned capacity, const char* installFolder, const char* profileFolder);
