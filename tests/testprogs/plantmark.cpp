// A library planted where a program might look for one of its DLLs: loading it
// appends the loading program's path and its own to C:\planted.txt. It also
// exports the one function a program used to import from winmm.dll, so that an
// import of it binds here and the mark is written.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char line[2 * MAX_PATH + 4];
    DWORD length = GetModuleFileNameA(nullptr, line, MAX_PATH);
    line[length++] = ' ';
    length += GetModuleFileNameA(self, line + length, MAX_PATH);
    line[length++] = '\r';
    line[length++] = '\n';
    HANDLE file = CreateFileA("C:\\planted.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line, length, &length, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI timeGetTime() { return GetTickCount(); }
