// File, disk and message helpers over the Windows platform.
#pragma once
#include <windows.h>
#include <cstdint>

// Reads a whole file into a fixed global block (GlobalAlloc GMEM_FIXED) that the
// caller releases with GlobalFree. Returns null when the file can't be opened or
// sized, the block can't be allocated, or fewer bytes than the file's size were
// read. `sizeOut` (optional) receives the byte count on success.
void* ReadWholeFile(const char* fileName, uint32_t* sizeOut);

// Creates or replaces `fileName` with `size` bytes of `data`; when `fileTime` is
// given, sets creation, last-access and last-write time to it. Returns 1 or 0.
// A file that failed half-way stays on disk as far as it was written.
int WriteWholeFile(const char* fileName, const void* data, uint32_t size, const FILETIME* fileTime);

// Free space of the drive `root` (such as "C:" or "C:\"). Returns non-zero on
// success; on failure the outputs are left as they were. `totalFree` is optional.
int GetDiskSpace(const char* root, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

// Starts `commandLine` shown, at normal priority, and does not wait for it; the
// outcome is not reported. CreateProcessA may write into the buffer.
void StartProgram(char* commandLine);

// Error box titled with the session caption, owned by the wizard while it is open.
int ShowErrorBox(const char* text);

// Text into a fixed buffer through the platform formatter (wsprintf conventions: no
// floating point); the result is always terminated and cut at the capacity (message
// texts only, never paths).
void FormatText(char* out, int capacity, const char* format, ...);

// Installs the platform's lead-byte test for the ANSI code page into the path helpers.
void UsePlatformLeadBytes();
