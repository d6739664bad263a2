// Holds a file open without sharing, as a running program holds its files:
//   holdfile FILE READY RELEASE TIMEOUT_MS
// Creates READY once FILE is open, then waits until RELEASE exists (or the
// timeout passes); the file closes as the program ends. Exit code 0 after a
// release, 1 on failure, 2 on timeout.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5 || CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE)
        return 1;
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < std::strtoul(argv[4], nullptr, 10); Sleep(50))
        if (GetFileAttributesA(argv[3]) != INVALID_FILE_ATTRIBUTES)
            return 0;
    return 2;
}
