// Path joining with a known capacity. Paths are NUL-terminated ANSI (Shift-JIS)
// byte strings; every joined path keeps a second NUL behind its terminator so it
// can be handed to the shell's file operations as a one-item list.
#pragma once
#include <cstddef>
#include <initializer_list>

// The system's path buffers: 259 bytes of text, the terminator.
constexpr std::size_t kPathCapacity = 260;

// Lead-byte test used to step whole characters. The Windows build installs the
// platform's test (IsDBCSLeadByte for the ANSI code page); the default is Shift-JIS.
using LeadByteTest = bool (*)(unsigned char);
void SetLeadByteTest(LeadByteTest test);
bool IsLeadByte(unsigned char c);

// Joins `component` to `path` in place: a single backslash is inserted unless the
// path already ends in one (a trailing 0x5C that is the second byte of a double-byte
// character does not count), an empty path becomes "\" + component, and an empty
// component leaves the path ending in a backslash. Returns 1 on success. When the
// result with its two NULs would not fit in `capacity` bytes, or the path ends in a
// lone lead byte, returns 0 and leaves `path` byte for byte as it was.
int AppendPath(char* path, std::size_t capacity, const char* component);

// Copies `text` with its NUL into `out` when it fits in `capacity`; returns 1, or 0
// with `out` unchanged.
int CopyText(char* out, std::size_t capacity, const char* text);

// Appends `text` at `out + *length` and advances `*length`; returns 1, or 0 with
// nothing appended when the text and its terminator would not fit `capacity`.
int AppendText(char* out, std::size_t capacity, std::size_t* length, const char* text);

// Writes the concatenation of `pieces` into `out`. Returns 1, or 0 with `out`
// emptied (when capacity allows) if the whole text and its terminator do not fit.
int JoinTexts(char* out, std::size_t capacity, std::initializer_list<const char*> pieces);

// 1 when the first `count` bytes of `a` and `b` are equal (1 for a count of 0).
int BytesEqual(const void* a, const void* b, std::size_t count);
