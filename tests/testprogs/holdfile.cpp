// Holds a file open without sharing, as a running program holds its files:
//   holdfile FILE READY RELEASE TIMEOUT_MS
// Creates READY once FILE is open, then waits until RELEASE exists (or the
// timeout passes) and closes FILE. Exit code 0 after a release, 1 on failure,
// 2 on timeout.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5)
        return 1;
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        CloseHandle(held);
        return 1;
    }
    CloseHandle(ready);
    const DWORD timeout = static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10));
    const DWORD start = GetTickCount();
    int result = 2;
    while (GetTickCount() - start < timeout) {
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES) {
            result = 0;
            break;
        }
        Sleep(50);
    }
    CloseHandle(held);
    return result;
}
