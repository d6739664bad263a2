#include "install/shortcuts.h"
#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "script/config.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <intshcut.h>

namespace {
// Written out here so that the program does not depend on which GUIDs the import
// libraries happen to carry.
const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID kClsidInternetShortcut = {0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kIidUniformResourceLocatorA = {0xFBF23B80, 0xE3F0, 0x101B,
                                         {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Set only when CreateDirectoryA made the folder, so the abort mend never deletes
// a folder (and the user's shortcuts in it) that was there before. In a folder
// that existed, the mend deletes only the shortcut files this run added.
bool g_createdShortcutFolder = false;
char g_createdShortcutFiles[kMaxShortcuts][260];
int g_createdShortcutCount = 0;

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void NoteIfCreated(const char* path, bool existedBefore)
{
    if (!existedBefore && Exists(path) && g_createdShortcutCount < kMaxShortcuts)
        CopyText(g_createdShortcutFiles[g_createdShortcutCount++], sizeof g_createdShortcutFiles[0], path);
}

// Saves the object through IPersistFile under the ANSI path; returns the result of
// obtaining the interface or of the save.
HRESULT SaveObject(IUnknown* object, const char* path)
{
    IPersistFile* file = nullptr;
    HRESULT result = object->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result))
        return result;
    WCHAR widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0)
        widePath[0] = L'\0';
    result = file->Save(widePath, TRUE);
    file->Release();
    return result;
}
}

int ReadProgramsFolder()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key)
        != ERROR_SUCCESS)
        return 0;
    // One byte is kept back so that the text is terminated even when the stored
    // value lacks its NUL, and one more for the second NUL of the list form.
    char value[sizeof g_session.programsFolder] = {};
    DWORD size = sizeof value - 2;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, "Programs", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || value[0] == '\0')
        return 0;
    CopyText(g_session.programsFolder, sizeof g_session.programsFolder, value);
    return 1;
}

void OpenFolderWindow()
{
    char commandLine[sizeof g_session.shortcutFolder + MAX_PATH + 16] = {};
    const UINT length = GetWindowsDirectoryA(commandLine, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    if (!AppendPath(commandLine, sizeof commandLine, "explorer.exe "))
        return;
    lstrcatA(commandLine, "\"");
    lstrcatA(commandLine, g_session.shortcutFolder);
    lstrcatA(commandLine, "\"");
    StartProgram(commandLine);
}

HRESULT CreateShellLink(const char* linkPath, const char* description, const char* targetPath, const char* iconPath)
{
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(kClsidShellLink, nullptr, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (SUCCEEDED(result)) {
        link->SetPath(targetPath);
        link->SetDescription(description);
        if (iconPath)
            link->SetIconLocation(iconPath, 0);
        result = SaveObject(link, linkPath);
        link->Release();
    }
    CoUninitialize();
    return result;
}

HRESULT CreateUrlShortcut(const char* shortcutPath, const char* address)
{
    CoInitialize(nullptr);
    IUniformResourceLocatorA* locator = nullptr;
    HRESULT result = CoCreateInstance(kClsidInternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidUniformResourceLocatorA, reinterpret_cast<void**>(&locator));
    if (SUCCEEDED(result)) {
        locator->SetURL(address, 0);
        result = SaveObject(locator, shortcutPath);
        locator->Release();
    }
    CoUninitialize();
    return result;
}

int CreateStartMenuShortcuts()
{
    if (!ReadProgramsFolder())
        return 0;
    if (!CopyText(g_session.shortcutFolder, sizeof g_session.shortcutFolder, g_session.programsFolder)
        || !AppendPath(g_session.shortcutFolder, sizeof g_session.shortcutFolder, g_config.GameDir)) {
        // A folder name that does not fit is as good as a folder that can't be made:
        // the run goes on without shortcuts.
        g_session.shortcutFolder[0] = '\0';
        return 1;
    }
    if (CreateDirectoryA(g_session.shortcutFolder, nullptr))
        g_createdShortcutFolder = true;
    OpenFolderWindow();

    char installFolder[260];
    if (!BuildInstallFolder(installFolder, sizeof installFolder))
        return 1;
    const int count = ShortcutCount(g_config);
    for (int j = 0; j < count; ++j) {
        const ShortcutEntry& entry = g_config.shortcutEntries[j];
        char filePath[260];
        CopyText(filePath, sizeof filePath, g_session.shortcutFolder);
        if (!AppendPath(filePath, sizeof filePath, entry.name))
            continue;
        if (BytesEqual(entry.target, "http://", 7)) {
            if (lstrlenA(filePath) + 4 >= static_cast<int>(sizeof filePath))
                continue;
            lstrcatA(filePath, ".url");
            const bool existed = Exists(filePath);
            CreateUrlShortcut(filePath, entry.target);
            NoteIfCreated(filePath, existed);
            continue;
        }
        char targetPath[260];
        CopyText(targetPath, sizeof targetPath, installFolder);
        if (!AppendPath(targetPath, sizeof targetPath, entry.target))
            continue;
        if (lstrlenA(filePath) + 4 >= static_cast<int>(sizeof filePath))
            continue;
        lstrcatA(filePath, ".lnk");
        char iconPath[260];
        const char* icon = nullptr;
        if (entry.icon[0] != '\0') {
            CopyText(iconPath, sizeof iconPath, installFolder);
            if (!AppendPath(iconPath, sizeof iconPath, entry.icon))
                continue;
            icon = iconPath;
        }
        const bool existed = Exists(filePath);
        CreateShellLink(filePath, entry.name, targetPath, icon);
        NoteIfCreated(filePath, existed);
    }
    return 1;
}

void RemoveCreatedShortcuts()
{
    if (g_createdShortcutFolder && g_session.shortcutFolder[0] != '\0') {
        // shortcutFolder carries the second NUL from AppendPath: a one-item list.
        SHFILEOPSTRUCTA operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = g_session.shortcutFolder;
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
        SHFileOperationA(&operation);
    } else {
        for (int i = 0; i < g_createdShortcutCount; ++i)
            DeleteFileA(g_createdShortcutFiles[i]);
    }
    g_createdShortcutFolder = false;
    g_createdShortcutCount = 0;
}
