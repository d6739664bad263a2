// Stand-in follow-up program: appends its exact command line, and a line break,
// to followup_cmdline.txt beside itself, then ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    char* slash = std::strrchr(path, '\\');
    std::strcpy(slash ? slash + 1 : path, "followup_cmdline.txt");
    FILE* file = std::fopen(path, "ab");
    if (!file)
        return 1;
    std::fputs(GetCommandLineA(), file);
    std::fputs("\n", file);
    std::fclose(file);
    return 0;
}
