// A profile file held in memory, read as the platform's profile reader reads a
// file in the ANSI code page (Shift-JIS). Portable: the disc tool checks scripts
// with it, and a Windows test holds it against the platform's reader.
#pragma once
#include <cstddef>

// The file's bytes; not NUL-terminated, not owned.
struct ProfileText {
    const char* data;
    std::size_t size;
};

// Reads `key` of `section` the way GetPrivateProfileStringA does with an empty
// default:
// - lines end at CR, LF or both; blanks (tab to CR, space, ^Z) around a line, a
//   name and a value are dropped;
// - section and key names match without regard to letter case; only the first
//   section of a name is searched, and in it the first line of the key;
// - a line without '=' names a key without value, which reads as absent; a line
//   starting with ';' is a key no lookup names, so it reads as a comment;
// - a value enclosed in matching quotation marks ('...' or "...") loses them;
// - a value is cut to the whole characters that fit capacity - 1 bytes.
// `out` is always terminated (when capacity > 0). Returns the bytes stored before
// the NUL (capacity - 1 when a character did not fit), 0 for an absent or empty
// value. `line` (optional) receives the key's
// line, counted from 1, or 0 when the key has no line.
std::size_t ReadProfileString(const ProfileText& text, const char* section, const char* key, char* out,
                              std::size_t capacity, int* line = nullptr);

// Line of the first header of `section` (counted from 1), or 0 when there is none.
int FindProfileSection(const ProfileText& text, const char* section);

// Host build only: the text that the reader's host source reads for every file
// name (script/reader_host.cpp); it must outlive the reads.
void SetLoadedProfile(const ProfileText& text);
