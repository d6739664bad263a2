#include "app/completion.h"
#include "app/completion_text.h"
#include "app/session.h"
#include "common/library_search.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "install/install.h"
#include "script/config.h"

#include <cstring>

namespace {
using DirectXSetupFn = INT(WINAPI*)(HWND, LPSTR, DWORD);

// Starts `commandLine` (copied: CreateProcessA may write into its argument).
// Returns 1 with `info` filled, or 0.
int StartProcess(const char* commandLine, DWORD flags, const char* currentFolder, WORD showState,
                 PROCESS_INFORMATION* info)
{
    char line[kPathCapacity];
    if (!CopyText(line, sizeof line, commandLine))
        return 0;
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showState;
    return CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, flags, nullptr, currentFolder, &startup, info)
               ? 1
               : 0;
}

// The full path of this program's file; 0 when the platform cut it short.
int GetProgramPath(HINSTANCE module, char* out, DWORD capacity)
{
    const DWORD length = GetModuleFileNameA(module, out, capacity);
    return length > 0 && length < capacity ? 1 : 0;
}

void ShowDirectXResult(int result)
{
    DirectXMessage message;
    if (!DirectXResultMessage(result, &message))
        return;
    char text[kMessageCapacity];
    FormatText(text, sizeof text, "%s%s", message.prefix, message.text);
    MessageBoxA(nullptr, text, g_session.caption, MB_OK | (message.isError ? MB_ICONERROR : 0));
}

// Without the shutdown privilege the restart request is refused on NT systems.
void EnableShutdownPrivilege()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

void RunDirectXFromProgramFolder(int* directXResult)
{
    char modulePath[kPathCapacity];
    char fullPath[kPathCapacity];
    char root[kPathCapacity];
    int result = -11;
    // A folder that can't be named can't hold the set-up files: reported as a missing library.
    if (GetProgramPath(nullptr, modulePath, sizeof modulePath)) {
        const DWORD length = GetFullPathNameA(modulePath, sizeof fullPath, fullPath, nullptr);
        if (length > 0 && length < sizeof fullPath && BuildDirectXFolder(fullPath, root, sizeof root))
            result = RunDirectXSetup(nullptr, root, g_config.InstallDirectX);
    }
    *directXResult = result;
    ShowDirectXResult(result);
}

void StartFollowUpProgram()
{
    if (g_config.ExecApp.program[0] == '\0')
        return;
    char installFolder[kPathCapacity];
    char commandLine[kPathCapacity];
    if (!BuildInstallFolder(installFolder, sizeof installFolder)
        || !BuildFollowUpCommandLine(g_config.ExecApp.program, installFolder, g_config.ExecApp.argumentFile,
                                     commandLine, sizeof commandLine))
        return;
    PROCESS_INFORMATION info;
    if (StartProcess(commandLine, NORMAL_PRIORITY_CLASS, nullptr, SW_SHOW, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}
}

void RunAbortActions()
{
    ShowErrorBox("インストールが中断されました");
    // Only what this run created goes: an install folder that was there before
    // holds what the user kept. The installation run may already have mended a
    // fatal failure; this call then finds nothing left.
    UndoInstallationRecords();
}

int RunCompletionActions()
{
    int directXResult = 0;
    if (g_session.installDirectX != 0)
        RunDirectXFromProgramFolder(&directXResult);
    StartFollowUpProgram();
    return directXResult;
}

void RunFinalCleanup(int selfRemove)
{
    if (g_session.bannerBitmap) {
        DeleteObject(g_session.bannerBitmap);
        g_session.bannerBitmap = nullptr;
    }
    if (selfRemove)
        ScheduleSelfRemoval(g_session.moduleInstance);
}

void AskRestart(int directXResult)
{
    if (directXResult != 1)
        return;
    if (MessageBoxA(nullptr, "Windows を再起動しますか？", g_session.caption, MB_YESNO) != IDYES)
        return;
    EnableShutdownPrivilege();
    ExitWindowsEx(EWX_REBOOT, 0);
}

int RunDirectXSetup(HWND owner, const char* rootFolder, DWORD flags)
{
    HMODULE library = LoadLibraryBesideProgram("dsetup.dll");
    if (!library)
        return -11;
    const auto entry =
        reinterpret_cast<DirectXSetupFn>(reinterpret_cast<void*>(GetProcAddress(library, "DirectXSetupA")));
    int result = -11;
    char root[kPathCapacity];
    // The entry point takes a writable text; the caller's stays untouched.
    if (entry && CopyText(root, sizeof root, rootFolder))
        result = entry(owner, root, flags);
    FreeLibrary(library);
    return result;
}

void ScheduleSelfRemoval(HINSTANCE module)
{
    char windowsFolder[kPathCapacity];
    const UINT length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    if (length == 0 || length >= sizeof windowsFolder)
        return;
    char batchPath[kPathCapacity];
    char pifPath[kPathCapacity];
    char programPath[kPathCapacity];
    if (!CopyText(batchPath, sizeof batchPath, windowsFolder) || !AppendPath(batchPath, sizeof batchPath, "DELSUP.BAT")
        || !CopyText(pifPath, sizeof pifPath, windowsFolder) || !AppendPath(pifPath, sizeof pifPath, "DELSUP.PIF")
        || !GetProgramPath(module, programPath, sizeof programPath))
        return;
    // Formatted before the file is created, so that a refused script leaves no empty batch.
    char script[kMessageCapacity];
    if (!FormatRemovalScript(programPath, pifPath, batchPath, script, sizeof script))
        return;

    HANDLE file = CreateFileA(batchPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, script, static_cast<DWORD>(std::strlen(script)), &written, nullptr);
    CloseHandle(file);

    PROCESS_INFORMATION info;
    if (!StartProcess(batchPath, CREATE_SUSPENDED | IDLE_PRIORITY_CLASS, "\\", SW_HIDE, &info))
        return;
    // The batch idles while this program races to its exit, so its loop normally
    // finds the program file already free.
    SetThreadPriority(info.hThread, THREAD_PRIORITY_IDLE);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    CloseHandle(info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
}
