// The reader's platform side in setup: values through the platform's profile
// reader, faults in the "INSTCMMN" box.
#include <windows.h>

#include "app/session.h"
#include "script/reader.h"

std::size_t PlatformProfileSource(const char* section, const char* key, char* out, std::size_t capacity,
                                  const char* file)
{
    return GetPrivateProfileStringA(section, key, "", out, static_cast<DWORD>(capacity), file);
}

void PlatformScriptErrorSink(const char*, const char* text)
{
    MessageBoxA(g_session.dialogWindow, text, "INSTCMMN", MB_OK | MB_ICONERROR);
}
