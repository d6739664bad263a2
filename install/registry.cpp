#include "install/registry.h"
#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "install/paths.h"
#include "script/config.h"

#include <windows.h>

namespace {
constexpr char kUninstallBase[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Which keys this run brought into being; the abort mend deletes exactly these.
bool g_createdCompanyKey = false;
bool g_createdUserKey = false;
bool g_createdUninstallKey = false;

bool KeyExists(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Creates or opens `path` with full access; `created` tells whether it is new.
HKEY CreateRecordKey(HKEY root, const char* path, bool* created)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition)
        != ERROR_SUCCESS)
        return nullptr;
    if (disposition == REG_CREATED_NEW_KEY)
        *created = true;
    return key;
}

bool SetText(HKEY key, const char* name, const char* text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(lstrlenA(text) + 1))
           == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value)
           == ERROR_SUCCESS;
}

// Key paths go into message-sized buffers: the two names may each hold 259 bytes.
// A path that still does not fit is refused, never cut.
bool BuildKeyPath(char* out, const char* base, const char* first, const char* second = nullptr)
{
    return second ? JoinTexts(out, kMessageCapacity, {base, first, "\\", second})
                  : JoinTexts(out, kMessageCapacity, {base, first});
}

// The programs list shows the game's icon when the game's program is in the
// install folder, else the uninstaller's.
bool BuildDisplayIcon(char* out, std::size_t capacity, const char* installFolder, const char* uninstaller)
{
    if (g_config.GameExe[0] != '\0' && CopyText(out, capacity, installFolder)
        && AppendPath(out, capacity, g_config.GameExe) && GetFileAttributesA(out) != INVALID_FILE_ATTRIBUTES)
        return true;
    return CopyText(out, capacity, uninstaller) != 0;
}

// In KiB, rounded up; the programs list's DWORD holds up to 4 TiB.
DWORD KibiBytes(uint64_t bytes)
{
    const uint64_t kib = bytes / 1024 + (bytes % 1024 != 0);
    return kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kib);
}
}

int WriteUserRecord()
{
    char companyPath[kMessageCapacity];
    char keyPath[kMessageCapacity];
    if (!BuildKeyPath(companyPath, "Software\\", g_config.CompanyName)
        || !BuildKeyPath(keyPath, "Software\\", g_config.CompanyName, g_config.GameDir))
        return 0;
    char installFolder[260];
    char dataPath[260];
    if (!BuildInstallFolder(installFolder, sizeof installFolder)
        || !BuildDataPath(dataPath, sizeof dataPath, installFolder, g_session.profileFolder))
        return 0;

    const bool companyExisted = KeyExists(HKEY_CURRENT_USER, companyPath);
    bool created = false;
    HKEY key = CreateRecordKey(HKEY_CURRENT_USER, keyPath, &created);
    if (!key)
        return 0;
    if (created) {
        g_createdUserKey = true;
        g_createdCompanyKey = !companyExisted;
    }
    // x86 is little-endian, so the int's own bytes are the record's layout.
    const DWORD mode = static_cast<DWORD>(g_session.selectedIndex);
    const bool ok = RegSetValueExA(key, "InstMode", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&mode), 4)
                        == ERROR_SUCCESS
                    && SetText(key, "InstPath", installFolder) && SetText(key, "DataPath", dataPath)
                    && RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok ? 1 : 0;
}

int WriteUninstallRecord()
{
    char keyPath[kMessageCapacity];
    if (!BuildKeyPath(keyPath, kUninstallBase, g_config.GameDir))
        return 0;
    char installFolder[260];
    char uninstaller[260];
    char icon[260];
    if (!BuildInstallFolder(installFolder, sizeof installFolder)
        || !CopyText(uninstaller, sizeof uninstaller, installFolder)
        || !AppendPath(uninstaller, sizeof uninstaller, g_config.UninstExe)
        || !BuildDisplayIcon(icon, sizeof icon, installFolder, uninstaller))
        return 0;
    bool created = false;
    HKEY key = CreateRecordKey(HKEY_LOCAL_MACHINE, keyPath, &created);
    if (!key)
        return 0;
    if (created)
        g_createdUninstallKey = true;
    const bool ok = SetText(key, "DisplayName", g_config.GameTitle) && SetText(key, "UninstallString", uninstaller)
                    && SetText(key, "Publisher", g_config.CompanyName)
                    && SetText(key, "InstallLocation", installFolder) && SetText(key, "DisplayIcon", icon)
                    && SetNumber(key, "EstimatedSize", KibiBytes(g_session.installedBytes))
                    && SetNumber(key, "NoModify", 1) && SetNumber(key, "NoRepair", 1)
                    && RegFlushKey(key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok ? 1 : 0;
}

void RemoveCreatedRecords()
{
    char companyPath[kMessageCapacity];
    char keyPath[kMessageCapacity];
    if (g_createdUserKey && BuildKeyPath(companyPath, "Software\\", g_config.CompanyName)
        && BuildKeyPath(keyPath, "Software\\", g_config.CompanyName, g_config.GameDir)) {
        RegDeleteKeyA(HKEY_CURRENT_USER, keyPath);
        // Deletes only a key without subkeys, so anything added meanwhile survives.
        if (g_createdCompanyKey)
            RegDeleteKeyA(HKEY_CURRENT_USER, companyPath);
    }
    if (g_createdUninstallKey && BuildKeyPath(keyPath, kUninstallBase, g_config.GameDir))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
    g_createdUserKey = g_createdCompanyKey = g_createdUninstallKey = false;
}
