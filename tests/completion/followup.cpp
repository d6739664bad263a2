// Stand-in follow-up program: appends its exact command line, and a line break,
// to followup_cmdline.txt beside itself, then ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    if (length == 0 || length >= MAX_PATH || !slash)
        return 1;
    std::strcpy(slash + 1, "followup_cmdline.txt");
    FILE* file = std::fopen(path, "ab");
    return file ? std::fprintf(file, "%s\n", GetCommandLineA()), std::fclose(file), 0 : 1;
}
