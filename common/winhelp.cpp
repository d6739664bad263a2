#include "common/winhelp.h"
#include "app/session.h"
#include "common/path.h"

#include <shlwapi.h>

#include <cstdarg>

namespace {
using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
GetDiskFreeSpaceExFn g_getDiskFreeSpaceEx = nullptr;

bool PlatformLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }
}

void UsePlatformLeadBytes() { SetLeadByteTest(PlatformLeadByte); }

void* ReadWholeFile(const char* fileName, uint32_t* sizeOut)
{
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    const DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE) {
        CloseHandle(file);
        return nullptr;
    }
    void* block = GlobalAlloc(GMEM_FIXED, size ? size : 1);
    if (!block) {
        CloseHandle(file);
        return nullptr;
    }
    DWORD read = 0;
    // A short read (a file that shrank, a device error) must not pass for the whole file.
    if (!ReadFile(file, block, size, &read, nullptr) || read != size) {
        GlobalFree(block);
        CloseHandle(file);
        return nullptr;
    }
    if (sizeOut)
        *sizeOut = size;
    CloseHandle(file);
    return block;
}

int WriteWholeFile(const char* fileName, const void* data, uint32_t size, const FILETIME* fileTime)
{
    HANDLE file = CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    int ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    if (ok && fileTime)
        ok = SetFileTime(file, fileTime, fileTime, fileTime) ? 1 : 0;
    CloseHandle(file);
    return ok;
}

int GetDiskSpace(const char* root, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree)
{
    if (!g_getDiskFreeSpaceEx) {
        HMODULE kernel = LoadLibraryA("kernel32.dll");
        if (kernel) {
            g_getDiskFreeSpaceEx = reinterpret_cast<GetDiskFreeSpaceExFn>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
            // kernel32 stays mapped in every process, so the address outlives this reference.
            FreeLibrary(kernel);
        }
    }
    if (g_getDiskFreeSpaceEx) {
        ULARGE_INTEGER a, b, c;
        if (g_getDiskFreeSpaceEx(root, &a, &b, &c)) {
            *freeToCaller = a.QuadPart;
            *total = b.QuadPart;
            if (totalFree)
                *totalFree = c.QuadPart;
            return 1;
        }
    }
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        return 0;
    const uint32_t bytesPerCluster = sectorsPerCluster * bytesPerSector;
    *freeToCaller = uint64_t{freeClusters} * bytesPerCluster;
    *total = uint64_t{totalClusters} * bytesPerCluster;
    if (totalFree)
        *totalFree = *freeToCaller;
    return 1;
}

void StartProgram(char* commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

int ShowErrorBox(const char* text)
{
    return MessageBoxA(g_session.dialogWindow, text, g_session.caption, MB_OK | MB_ICONERROR);
}

void FormatText(char* out, int capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    wvnsprintfA(out, capacity, format, args);
    va_end(args);
}
