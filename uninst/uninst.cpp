// UNINST.EXE: removes one installed product, found through the records that name
// this program's own path. It runs from the folder it deletes, so the work is done
// by a copy of itself in a new folder under the temporary folder (see UninstMode).
#include <windows.h>
#include <ntsecapi.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstring>

#include "common/library_search.h"
#include "common/path.h"
#include "common/sjis.h"
#include "uninst/uninst_logic.h"

namespace {
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr DWORD kCleanupWaitMs = 60000;

char g_caption[kPathCapacity + 32];
int g_silent = 0;

// What the records say about the product whose uninstaller is `program`.
struct ProductRecord {
    char program[kPathCapacity];        // the uninstaller in the install folder
    char installFolder[kPathCapacity];  // no final separator
    char gameDir[kPathCapacity];        // name of the uninstall record's key
    char displayName[kPathCapacity];
    char companyName[kPathCapacity];    // empty when no install record names the folder
};

bool PlatformLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

void Format(char* out, std::size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    wvnsprintfA(out, static_cast<int>(capacity), format, args);
    va_end(args);
}

int Ask(const char* text) { return MessageBoxA(nullptr, text, g_caption, MB_YESNO | MB_ICONQUESTION); }

void Report(const char* text, UINT icon)
{
    if (!g_silent)
        MessageBoxA(nullptr, text, g_caption, MB_OK | icon);
}

// Reads a string value into `out`; 0 when missing, not a string, or too long.
int ReadText(HKEY key, const char* name, char* out, DWORD capacity)
{
    DWORD type = 0;
    DWORD size = capacity;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS)
        return 0;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return 0;
    // A value stored without its terminator must still end inside the buffer.
    if (out[size - 1] != '\0') {
        if (size >= capacity)
            return 0;
        out[size] = '\0';
    }
    return 1;
}

// Finds the uninstall record whose UninstallString is `record->program`.
int FindUninstallRecord(ProductRecord* record)
{
    HKEY list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return 0;
    int found = 0;
    char name[kPathCapacity];
    for (DWORD index = 0; !found; ++index) {
        DWORD nameLength = sizeof name;
        const LONG status = RegEnumKeyExA(list, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        HKEY product;
        if (RegOpenKeyExA(list, name, 0, KEY_READ, &product) != ERROR_SUCCESS)
            continue;
        char command[kPathCapacity];
        if (ReadText(product, "UninstallString", command, sizeof command) && SamePath(command, record->program)) {
            found = CopyText(record->gameDir, sizeof record->gameDir, name);
            if (!ReadText(product, "DisplayName", record->displayName, sizeof record->displayName))
                CopyText(record->displayName, sizeof record->displayName, name);
        }
        RegCloseKey(product);
    }
    RegCloseKey(list);
    return found;
}

// Finds the company whose install record for gameDir names the install folder.
void FindInstallRecord(ProductRecord* record)
{
    record->companyName[0] = '\0';
    HKEY software;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software) != ERROR_SUCCESS)
        return;
    char company[kPathCapacity];
    for (DWORD index = 0; record->companyName[0] == '\0'; ++index) {
        DWORD length = sizeof company;
        const LONG status = RegEnumKeyExA(software, index, company, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        char subKey[2 * kPathCapacity];
        Format(subKey, sizeof subKey, "%s\\%s", company, record->gameDir);
        HKEY product;
        if (RegOpenKeyExA(software, subKey, 0, KEY_READ, &product) != ERROR_SUCCESS)
            continue;
        char instPath[kPathCapacity];
        if (ReadText(product, "InstPath", instPath, sizeof instPath) && SamePath(instPath, record->installFolder))
            CopyText(record->companyName, sizeof record->companyName, company);
        RegCloseKey(product);
    }
    RegCloseKey(software);
}

int FindProductRecord(const char* program, ProductRecord* record)
{
    std::memset(record, 0, sizeof *record);
    // A program started through a short (8.3) path still matches the record's long one,
    // and the folder walk, which sees long names, recognises it as the file to keep.
    char longForm[kPathCapacity];
    const DWORD longLength = GetLongPathNameA(program, longForm, sizeof longForm);
    if (longLength > 0 && longLength < sizeof longForm)
        program = longForm;
    if (!CopyText(record->program, sizeof record->program, program)
        || !FolderOfProgram(program, record->installFolder, sizeof record->installFolder)
        || !FindUninstallRecord(record))
        return 0;
    FindInstallRecord(record);
    return 1;
}

void UseProductCaption(const ProductRecord& record)
{
    Format(g_caption, sizeof g_caption, kUninstTitleFormat, record.displayName);
}

// Deletes what `folder` holds, except the file `keep` (may be null), and then the
// folder itself unless something stayed. Keeps going after a failure, so that one
// file in use leaves as little as possible behind; `failed` receives the first
// path that stayed. Returns 1 when everything (apart from `keep`) is gone.
int DeleteTree(const char* folder, const char* keep, char* failed, std::size_t failedCapacity)
{
    char pattern[kPathCapacity];
    if (!CopyText(pattern, sizeof pattern, folder) || !AppendPath(pattern, sizeof pattern, "*")) {
        if (failed[0] == '\0')
            CopyText(failed, failedCapacity, folder);
        return 0;
    }
    int complete = 1;
    int kept = 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0)
                continue;
            char path[kPathCapacity];
            if (!CopyText(path, sizeof path, folder) || !AppendPath(path, sizeof path, entry.cFileName)) {
                if (failed[0] == '\0')
                    Format(failed, failedCapacity, "%s\\%s", folder, entry.cFileName);
                complete = 0;
                continue;
            }
            if (keep && SamePath(path, keep)) {
                kept = 1;
                continue;
            }
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A folder that is a link elsewhere is removed as a link, never followed.
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    if (!RemoveDirectoryA(path))
                        complete = 0;
                } else if (!DeleteTree(path, nullptr, failed, failedCapacity)) {
                    complete = 0;
                }
            } else if (!DeleteFileA(path)) {
                complete = 0;
            }
            if (!complete && failed[0] == '\0')
                CopyText(failed, failedCapacity, path);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    } else if (GetLastError() == ERROR_PATH_NOT_FOUND) {
        return 1;  // already gone
    }
    if (complete && !kept) {
        SetFileAttributesA(folder, FILE_ATTRIBUTE_NORMAL);
        if (!RemoveDirectoryA(folder)) {
            if (failed[0] == '\0')
                CopyText(failed, failedCapacity, folder);
            complete = 0;
        }
    }
    return complete;
}

// Deletes `subKey` with everything below it; a key that is not there counts as removed.
int RemoveKey(HKEY root, const char* subKey)
{
    const LSTATUS status = SHDeleteKeyA(root, subKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

int RemoveRecords(const ProductRecord& record)
{
    int ok = 1;
    if (record.companyName[0] != '\0') {
        char key[3 * kPathCapacity];
        Format(key, sizeof key, "Software\\%s\\%s", record.companyName, record.gameDir);
        ok = RemoveKey(HKEY_CURRENT_USER, key);
        // The company key goes only when no other product or value of the company is left in it.
        Format(key, sizeof key, "Software\\%s", record.companyName);
        HKEY company;
        if (ok && RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &company) == ERROR_SUCCESS) {
            DWORD subKeys = 1;
            DWORD values = 1;
            const LONG status = RegQueryInfoKeyA(company, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                                                 &values, nullptr, nullptr, nullptr, nullptr);
            RegCloseKey(company);
            if (status == ERROR_SUCCESS && subKeys == 0 && values == 0)
                RegDeleteKeyA(HKEY_CURRENT_USER, key);
        }
    }
    char key[2 * kPathCapacity];
    Format(key, sizeof key, "%s\\%s", kUninstallKey, record.gameDir);
    return RemoveKey(HKEY_LOCAL_MACHINE, key) && ok;
}

int ReadProgramsFolder(char* out, DWORD capacity)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    const int ok = ReadText(key, "Programs", out, capacity);
    RegCloseKey(key);
    return ok;
}

int TemporaryFolder(char* out, DWORD capacity)
{
    const DWORD length = GetTempPathA(capacity, out);
    return length > 0 && length < capacity ? 1 : 0;
}

int StartProcess(char* commandLine, const char* currentFolder, DWORD flags, WORD showState,
                 PROCESS_INFORMATION* info)
{
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = showState;
    // The copies and the batch write nowhere: whatever standard handles this program
    // was given (a caller's pipe, say) must not receive the batch interpreter's output.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE)
        return 0;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    const BOOL started =
        CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, flags, nullptr, currentFolder, &startup, info);
    CloseHandle(nul);
    return started ? 1 : 0;
}

// Runs the temporary copy in `mode`; with `wait`, returns its exit code.
int RunCopy(const char* copyPath, UninstMode mode, const char* original, int wait)
{
    char commandLine[1024];
    char temporary[kPathCapacity];
    if (!BuildHandOverCommandLine(copyPath, mode, original, g_silent, commandLine, sizeof commandLine)
        || !TemporaryFolder(temporary, sizeof temporary))
        return kUninstFailed;
    PROCESS_INFORMATION info;
    // The copy works from the temporary folder, so that no process keeps the install folder as its current one.
    if (!StartProcess(commandLine, temporary, NORMAL_PRIORITY_CLASS, SW_SHOWNORMAL, &info))
        return kUninstFailed;
    CloseHandle(info.hThread);
    DWORD exitCode = kUninstSucceeded;
    if (wait) {
        WaitForSingleObject(info.hProcess, INFINITE);
        if (!GetExitCodeProcess(info.hProcess, &exitCode))
            exitCode = kUninstFailed;
    }
    CloseHandle(info.hProcess);
    return static_cast<int>(exitCode);
}

// Copies this program into a new folder of its own under the temporary folder. Any
// program of the user's can write into the temporary folder, so the copy must not
// run where a library could have been planted beside it: the folder's name can't be
// guessed beforehand, and one that exists already is never used. `folder` and
// `copyPath` hold kPathCapacity bytes.
int MakeTemporaryCopy(const char* self, char* folder, char* copyPath)
{
    unsigned long random[2];
    char name[32];
    if (!TemporaryFolder(folder, kPathCapacity) || !RtlGenRandom(random, sizeof random))
        return 0;
    Format(name, sizeof name, "UNIN%08lX%08lX", random[0], random[1]);
    if (!AppendPath(folder, kPathCapacity, name) || !CreateDirectoryA(folder, nullptr))
        return 0;
    if (CopyText(copyPath, kPathCapacity, folder) && AppendPath(copyPath, kPathCapacity, "UNINST.EXE")
        && CopyFileA(self, copyPath, TRUE))
        return 1;
    RemoveDirectoryA(folder);
    return 0;
}

// The first run, from the install folder: finds the record, asks, hands over.
int StartUninstall(const UninstOptions& options)
{
    char self[kPathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    ProductRecord record;
    if (length == 0 || length >= sizeof self || !FindProductRecord(self, &record)) {
        char folder[kPathCapacity];
        if (!FolderOfProgram(self, folder, sizeof folder))
            CopyText(folder, sizeof folder, self);
        char text[1024];
        Format(text, sizeof text, kNoRecordFormat, folder);
        Report(text, MB_ICONERROR);
        return kUninstNoRecord;
    }
    UseProductCaption(record);
    if (!options.silent) {
        char question[1024];
        Format(question, sizeof question, kConfirmFormat, record.displayName);
        if (Ask(question) != IDYES)
            return kUninstCancelled;
    }
    char copyFolder[kPathCapacity];
    char copyPath[kPathCapacity];
    if (!MakeTemporaryCopy(self, copyFolder, copyPath)) {
        Report(kPrepareFailedText, MB_ICONERROR);
        return kUninstFailed;
    }
    const int result = RunCopy(copyPath, UninstMode::Remove, self, 1);
    // This program's own file can only go once it has ended: a last run of the copy waits for
    // that. After a failure the program stays, so that the user can try again.
    if (result != kUninstSucceeded || RunCopy(copyPath, UninstMode::Cleanup, self, 0) != kUninstSucceeded) {
        DeleteFileA(copyPath);
        RemoveDirectoryA(copyFolder);
    }
    return result;
}

// The temporary copy: removes the folder's content (all but the original program,
// which still runs), the Start-menu folder, and then the records.
int RemoveProduct(const UninstOptions& options)
{
    ProductRecord record;
    if (!FindProductRecord(options.originalProgram, &record)) {
        char text[1024];
        Format(text, sizeof text, kNoRecordFormat, options.originalProgram);
        Report(text, MB_ICONERROR);
        return kUninstNoRecord;
    }
    UseProductCaption(record);
    char failed[kPathCapacity] = {};
    int complete = DeleteTree(record.installFolder, record.program, failed, sizeof failed);
    char programs[kPathCapacity];
    char startMenu[kPathCapacity];
    if (ReadProgramsFolder(programs, sizeof programs)
        && BuildStartMenuFolder(programs, record.gameDir, startMenu, sizeof startMenu)
        && GetFileAttributesA(startMenu) != INVALID_FILE_ATTRIBUTES)
        complete = DeleteTree(startMenu, nullptr, failed, sizeof failed) && complete;
    char text[1024];
    if (!complete) {
        Format(text, sizeof text, kInUseFormat, failed);
        Report(text, MB_ICONERROR);
        return kUninstFailed;
    }
    if (!RemoveRecords(record)) {
        Report(kRegistryFailedText, MB_ICONERROR);
        return kUninstFailed;
    }
    Format(text, sizeof text, kDoneFormat, record.displayName);
    Report(text, MB_ICONINFORMATION);
    return kUninstSucceeded;
}

// The last resort: the copy and then its folder go at the next restart, in that
// order, so that the folder is empty by the time it is removed.
void RemoveAtRestart(const char* self, const char* folder)
{
    MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Has a hidden batch delete this copy once it has ended, then its folder, then
// itself. The batch lies beside the folder, not in it: the interpreter may hold the
// running batch file open until it ends, which would keep the folder.
void ScheduleCopyRemoval()
{
    char self[kPathCapacity];
    char folder[kPathCapacity];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self || !FolderOfProgram(self, folder, sizeof folder))
        return;
    char batch[kPathCapacity];
    char script[1024];
    if (!JoinTexts(batch, sizeof batch, {folder, ".BAT"})
        || !FormatCopyRemovalScript(self, folder, batch, script, sizeof script)) {
        RemoveAtRestart(self, folder);
        return;
    }
    // A file of that name made by someone else is neither used nor replaced.
    HANDLE file = CreateFileA(batch, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        RemoveAtRestart(self, folder);
        return;
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, script, static_cast<DWORD>(std::strlen(script)), &written, nullptr);
    CloseHandle(file);
    // The interpreter keeps the usual library search, which includes its current
    // folder: that is the system folder, not the temporary one. The path is quoted, or
    // the platform would try the first words of a path with blanks as programs.
    char systemFolder[kPathCapacity];
    char commandLine[kPathCapacity + 2];
    const UINT systemLength = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    PROCESS_INFORMATION info;
    if (!wrote || systemLength == 0 || systemLength >= sizeof systemFolder
        || !JoinTexts(commandLine, sizeof commandLine, {"\"", batch, "\""})
        || !StartProcess(commandLine, systemFolder, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, SW_HIDE, &info)) {
        DeleteFileA(batch);
        RemoveAtRestart(self, folder);
        return;
    }
    SetThreadPriority(info.hThread, THREAD_PRIORITY_IDLE);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    CloseHandle(info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
}

// The last run of the copy: once the original has ended, deletes it and the folder it leaves empty.
int CleanUp(const UninstOptions& options)
{
    char folder[kPathCapacity];
    if (FolderOfProgram(options.originalProgram, folder, sizeof folder)) {
        const DWORD start = GetTickCount();
        for (;;) {
            SetFileAttributesA(options.originalProgram, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileA(options.originalProgram) || GetLastError() == ERROR_FILE_NOT_FOUND
                || GetLastError() == ERROR_PATH_NOT_FOUND || GetTickCount() - start > kCleanupWaitMs)
                break;
            Sleep(100);
        }
        // Only an empty folder goes: a file added meanwhile is not ours to delete.
        RemoveDirectoryA(folder);
    }
    ScheduleCopyRemoval();
    return kUninstSucceeded;
}
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    RestrictLibrarySearch();
    SetLeadByteTest(PlatformLeadByte);
    CopyText(g_caption, sizeof g_caption, kUninstTitle);
    UninstOptions options;
    if (!ParseUninstCommandLine(commandLine ? commandLine : "", &options)) {
        MessageBoxA(nullptr, kBadCommandLineText, g_caption, MB_OK | MB_ICONERROR);
        return kUninstBadCommandLine;
    }
    g_silent = options.silent;
    switch (options.mode) {
    case UninstMode::Remove:
        return RemoveProduct(options);
    case UninstMode::Cleanup:
        return CleanUp(options);
    case UninstMode::Start:
        break;
    }
    return StartUninstall(options);
}
