// The FA2 archive over the Windows platform: opening an archive from a file or
// memory, finding the embedded package among the module's resources, and
// extracting a member of the current archive to disk.
#pragma once
#include <windows.h>

#include "fa2/fa2.h"

// Opens an archive. With `size` 0, `source` is a NUL-terminated file path and the
// file must begin with the magic "FA2\0"; otherwise `source` is an image of `size`
// bytes in memory (no magic test). Returns a GlobalAlloc(GMEM_FIXED) block that
// the caller frees with GlobalFree, or null for any failure, including a damaged
// header or directory. Shows no message.
Fa2Archive* Fa2Open(const void* source, uint32_t size);

// Data of resource `id` of `type` in `module`, read-only and valid for the life of
// the process, or null when missing, empty or not loadable (then `outSize` is not
// touched). On success the byte count is stored through `outSize`.
const void* LoadResourceBlock(HMODULE module, int id, const char* type, uint32_t* outSize);

// The current archive: the image in memory, its size and its opened block. Set by
// SetCurrentArchive, read by Fa2ExtractMember; never freed by this subsystem.
extern const uint8_t* archiveImage;
extern uint32_t archiveImageSize;
extern Fa2Archive* openArchive;

// Makes an opened image the current archive for Fa2ExtractMember.
void SetCurrentArchive(const void* image, uint32_t imageSize, Fa2Archive* archive);

// Writes the current archive's member `memberName` (first match in directory order,
// compared with lstrcmpiA) to `destinationPath`, replacing a read-only file and
// stamping creation, access and write times with the member's time. Returns 1 when
// written, 0 otherwise; a missing member, too little free space or a failed
// allocation shows a message first. A folder at the target, a damaged member or a
// failed write return 0 silently.
int Fa2ExtractMember(const char* memberName, const char* destinationPath);

// The function that shows Fa2ExtractMember's messages; ShowErrorBox unless a test
// installs an observer. Passing null restores ShowErrorBox.
using Fa2MessageFunction = int (*)(const char* text);
void SetFa2MessageFunction(Fa2MessageFunction function);
