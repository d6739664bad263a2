// mkdisc: checks an install disc the way setup reads it, and lays a disc out.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What a check leaves behind for laying the disc out.
struct CheckedDisc {
    std::string script;     // SETUP.INI as setup reads it: Shift-JIS, CR LF line ends
    std::string title;      // GameTitle in UTF-8, the image's volume label
    int faults = 0;
    int warnings = 0;
};

// Checks the discs: `discs[0]` holds SETUP.INI, the further folders are discs 2,
// 3, ... of the set. Every fault and warning goes to `out` in UTF-8, as
// "PATH:LINE: KEY: text", then a summary per install choice. A UTF-8 SETUP.INI
// is read as its Shift-JIS conversion.
CheckedDisc CheckDiscs(const std::vector<std::string>& discs, std::FILE* out);

// Text conversion through iconv. Returns false when some character has no
// counterpart (or the input is malformed); `out` then holds what did convert,
// with '?' for each character that did not.
bool ConvertText(const char* from, const char* to, const std::string& in, std::string* out);

// A file or folder named by a script path (backslashes, Shift-JIS) below `root`;
// letter case is ignored as on the disc's file system. Empty when none exists.
std::string FindOnDisc(const std::string& root, const std::string& sjisPath);

// Bytes of the file, or of all files below the folder, skipping names that begin
// with a dot as setup's measurement does; `files` (optional) counts the files.
uint64_t MeasurePath(const std::string& path, int* files = nullptr);

// Checks the discs and, without faults, lays disc 1 out in `out` (absent or
// empty): its files, SETUP.INI in Shift-JIS with CR LF, `setupExe` as SETUP.EXE;
// with `image`, also an ISO 9660 image with Joliet names labelled with the
// game's title. Returns the exit status: 0 made, 1 not.
int MakeDisc(const std::vector<std::string>& discs, const std::string& out, const std::string& setupExe,
             const std::string& image);
