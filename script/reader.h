// Reader of the disc's SETUP.INI and of other profile files. Values are read with
// the platform's profile reader; texts are Shift-JIS bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "script/list.h"

// False at process start: a key that reads as nothing is then reported through
// ShowScriptError. LoadSetupConfig sets it once the required keys are read, and it
// stays set for the rest of the process.
extern bool quietMissingKeys;

// Fills g_config from g_session.scriptPath. On the first fault it has shown one
// message (title "INSTCMMN") and returns 0; g_config keeps what was filled before.
int LoadSetupConfig();

// Reads `key` of section SETUP of g_session.scriptPath. `out` is zeroed over all
// `capacity` bytes first; a longer value arrives cut to capacity - 1 bytes (the
// platform reader does that). Returns 1 when at least one byte was read; an empty
// value counts as absent and is reported while quietMissingKeys is false.
int ReadSetupKey(const char* key, char* out, std::size_t capacity);

// The same for any section of any profile file; the absent-key message names the
// section instead of SETUP.INI.
int ReadProfileKey(const char* section, const char* key, char* out, std::size_t capacity,
                   const char* file);

// Reads `key` (19 bytes at most) and converts it with ParseScriptInt. On 0 `*out`
// is unchanged.
int ReadSetupInt(const char* key, int32_t* out);

// Capacity of the buffer HasSetupKey reads into: 19 bytes of a number and the NUL.
constexpr std::size_t kNumberCapacity = 20;

// Reads `key` into the caller's kNumberCapacity-byte `buffer`; 1 when present.
int HasSetupKey(const char* key, char* buffer);

// Error box for script faults: title "INSTCMMN", error icon, OK, owned by the
// wizard while it is open.
void ShowScriptError(const char* text);

// Where ShowScriptError sends its text. Tests install a recorder; null restores
// the message box.
using ScriptErrorSink = void (*)(const char* text);
void SetScriptErrorSink(ScriptErrorSink sink);
