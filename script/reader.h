// Reader of the disc's SETUP.INI and of other profile files, and the checks of
// every value. Portable: values come through a profile source and faults go to a
// sink, so setup (the platform's reader, one error box) and the disc tool (its
// own reader, every fault listed) run the same rules. Texts are Shift-JIS bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "script/list.h"

// False at process start: a key that reads as nothing is then reported through
// the sink. LoadSetupConfig sets it once the required keys are read, and it
// stays set for the rest of the process.
extern bool quietMissingKeys;

// Fills g_config from g_session.scriptPath. By default it stops at the first
// fault, reported once, and returns 0; g_config keeps what was filled before.
// With `allFaults` it reads on past every fault (a key at fault keeps what it
// took, counts above their limits read as the limit) and returns 0 when any
// fault was reported.
int LoadSetupConfig(bool allFaults = false);

// Reads `key` of section SETUP of g_session.scriptPath. `out` is zeroed over all
// `capacity` bytes first; a longer value arrives cut to capacity - 1 bytes (the
// profile reader does that). Returns 1 when at least one byte was read; an empty
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

// Where values come from: stores `key` of `section` of `file` into `out`
// (`capacity` bytes, terminated) as GetPrivateProfileStringA does with an empty
// default, and returns the bytes stored.
using ProfileSource = std::size_t (*)(const char* section, const char* key, char* out, std::size_t capacity,
                                      const char* file);

// Where faults go: `key` is the key at fault (SetupBmp also for the text that
// names "SetupBmps", InstallSelects for "InstallSelect"), `text` the message
// setup shows for it.
using ScriptErrorSink = void (*)(const char* key, const char* text);

// Null restores the build's own (below).
void SetProfileSource(ProfileSource source);
void SetScriptErrorSink(ScriptErrorSink sink);

// The build's own source and sink, defined by the platform file beside this
// reader: in setup the platform's profile reader and the "INSTCMMN" error box
// (owned by the wizard while it is open); on the host the text given to
// SetLoadedProfile and standard error.
std::size_t PlatformProfileSource(const char* section, const char* key, char* out, std::size_t capacity,
                                  const char* file);
void PlatformScriptErrorSink(const char* key, const char* text);
