// Test helper: holds a file open without sharing until it is ended, so that a
// copy from it fails the way a locked file on a real system does (running as
// root under Wine, permission bits can't make a file unreadable).
// Usage: holdfile.exe PATH  -> exit code 2 when the file can't be opened.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    HANDLE file = CreateFileA(commandLine, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    Sleep(INFINITE);
    CloseHandle(file);
    return 0;
}
