// Stand-in for the DirectX set-up library. Records that it was loaded and how
// it was called, in dsetup_calls.txt beside itself, and returns the code that the
// test wrote in dsetup_result.txt there, so that every row of the result table can be driven.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
char g_folder[MAX_PATH];

FILE* Beside(const char* name, const char* mode)
{
    char path[MAX_PATH + 32];
    std::snprintf(path, sizeof path, "%s%s", g_folder, name);
    return std::fopen(path, mode);
}
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    const DWORD length = GetModuleFileNameA(instance, g_folder, sizeof g_folder);
    if (length == 0 || length >= sizeof g_folder || !std::strrchr(g_folder, '\\'))
        return FALSE;
    std::strrchr(g_folder, '\\')[1] = '\0';
    if (FILE* file = Beside("dsetup_calls.txt", "ab"))
        std::fputs("load\n", file), std::fclose(file);
    return TRUE;
}

extern "C" __declspec(dllexport) INT WINAPI DirectXSetupA(HWND owner, LPSTR root, DWORD flags)
{
    int result = 0;
    if (FILE* file = Beside("dsetup_calls.txt", "ab"))
        std::fprintf(file, "call owner=%p flags=%08lx root=%s\n", static_cast<void*>(owner),
                     static_cast<unsigned long>(flags), root ? root : "(null)"), std::fclose(file);
    if (FILE* file = Beside("dsetup_result.txt", "rb"))
        result = std::fscanf(file, "%d", &result) == 1 ? result : 0, std::fclose(file);
    return result;
}
