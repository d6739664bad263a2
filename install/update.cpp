#include "install/update.h"
#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "fa2/fa2_win.h"
#include "install/update_list.h"
#include "script/config.h"
#include "script/reader.h"

#include <windows.h>

namespace {
constexpr int kUpdateResourceId = 102;

// Process-wide like the archive it points into; filled anew by every run.
UpdateList g_updateList;
char g_updateScriptPath[260];

bool PlatformLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }
}

const char* ApplyUpdatePackage()
{
    uint32_t size = 0;
    const void* image = LoadResourceBlock(g_session.moduleInstance, kUpdateResourceId, "UPDATE", &size);
    if (!image)
        return "UPDATE.FA2 not found";
    Fa2Archive* archive = Fa2Open(image, size);
    if (!archive)
        return "RESOURCE READ ERROR";
    SetCurrentArchive(image, size, archive);

    char tempFolder[260] = {};
    const DWORD tempLength = GetTempPathA(sizeof tempFolder, tempFolder);
    if (tempLength == 0 || tempLength >= sizeof tempFolder
        || !CopyText(g_updateScriptPath, sizeof g_updateScriptPath, tempFolder)
        || !AppendPath(g_updateScriptPath, sizeof g_updateScriptPath, "UPDATE.INI")
        || !Fa2ExtractMember("UPDATE.INI", g_updateScriptPath))
        return "UPDATE.INI not found at UPDATE.FA2";

    char value[260];
    const bool overwriteOnly = ReadProfileKey("UPDATE", "OverwriteOnly", value, sizeof value, g_updateScriptPath)
                               && ParseScriptInt(value) != 0;

    g_updateList.count = 0;
    bool accepted = false;
    for (int i = 0; i < kMaxUpdateFiles; ++i) {
        char key[16];
        FormatText(key, sizeof key, "UpdateFile%02i", i);
        if (!ReadProfileKey("UPDATE", key, value, sizeof value, g_updateScriptPath))
            break;
        if (AddUpdateEntry(&g_updateList, value, g_session.selectedIndex, PlatformLeadByte)
            == UpdateEntry::Accepted)
            accepted = true;
    }
    if (!accepted)
        return "No 'UpdateFileXX'";

    for (int k = 0; k < g_updateList.count; ++k) {
        const char* path = g_updateList.paths[k];
        // The package is ours, but its script is data: a path that would leave the
        // install folder is a write that must not happen.
        char target[260];
        if (!IsContainedPath(path, PlatformLeadByte) || !BuildInstallFolder(target, sizeof target)
            || !AppendPath(target, sizeof target, path))
            return "ファイルの書き込みに失敗しました";
        if (overwriteOnly) {
            const DWORD attributes = GetFileAttributesA(target);
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
        }
        if (!Fa2ExtractMember(path + g_updateList.memberNameOffsets[k], target))
            return "ファイルの書き込みに失敗しました";
    }
    return nullptr;
}
