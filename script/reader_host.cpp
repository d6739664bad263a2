// The reader's side on the host: the script is held in memory (the disc tool
// reads and converts the file first), faults go to standard error.
#include <cstdio>

#include "script/profile.h"
#include "script/reader.h"

namespace {
ProfileText g_loaded = {"", 0};
}

void SetLoadedProfile(const ProfileText& text)
{
    g_loaded = text;
}

std::size_t PlatformProfileSource(const char* section, const char* key, char* out, std::size_t capacity,
                                  const char*)
{
    return ReadProfileString(g_loaded, section, key, out, capacity);
}

void PlatformScriptErrorSink(const char* key, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", key, text);
}
