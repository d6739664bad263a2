#include "app/measure.h"

#include <windows.h>

#include "app/session.h"
#include "common/path.h"
#include "common/winhelp.h"
#include "script/config.h"

namespace {
// Names the path that did not fit: `folder`, `separator` and `name` run together.
void ReportLongPath(const char* folder, const char* separator, const char* name)
{
    char message[kMessageCapacity];
    FormatText(message, sizeof message, "\"%s%s%s\" パスが長すぎます", folder, separator, name);
    ShowErrorBox(message);
}

// A file that exists but can't be opened (held open without sharing, access
// denied) still has its length in the folder listing; the copy reports it later.
uint64_t ListedFileSize(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD high = 0;
        // A length whose low part is 0xFFFFFFFF is told from a failure only by the error code.
        SetLastError(NO_ERROR);
        const DWORD low = GetFileSize(file, &high);
        const bool valid = low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
        CloseHandle(file);
        if (valid)
            return (uint64_t{high} << 32) | low;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
}
}

uint64_t MeasureFolderSize(const char* folder, bool* complete)
{
    char pattern[kPathCapacity];
    if (!CopyText(pattern, sizeof pattern, folder) || !AppendPath(pattern, sizeof pattern, "*.*")) {
        ReportLongPath(folder, "\\", "*.*");
        if (complete)
            *complete = false;
        return 0;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    uint64_t total = 0;
    bool whole = true;
    do {
        if (!IsCountedName(found.cFileName))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            char child[kPathCapacity];
            if (!CopyText(child, sizeof child, folder) || !AppendPath(child, sizeof child, found.cFileName)) {
                ReportLongPath(folder, "\\", found.cFileName);
                whole = false;
                break;
            }
            total += MeasureFolderSize(child, &whole);
            if (!whole)
                break;
        } else {
            total += (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (!whole && complete)
        *complete = false;
    return total;
}

uint64_t MeasureEntrySize(const char* path, bool* complete)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return MeasureFolderSize(path, complete);
    return ListedFileSize(path);
}

bool MeasureInstallSizes()
{
    for (int i = 0; i < SelectionCount(g_config); ++i) {
        InstallSelection& selection = g_config.selections[i];
        const bool measure = selection.InstallSize == 0;
        if (selection.usesOtherDiscs)
            continue;
        for (int k = 0; k < kMaxInstallFiles && selection.InstallFiles[k].name[0]; ++k) {
            const char* name = selection.InstallFiles[k].name;
            char path[kPathCapacity];
            if (!CopyText(path, sizeof path, g_session.sourceRoot) || !AppendPath(path, sizeof path, name)) {
                ReportLongPath(g_session.sourceRoot, "", name);  // sourceRoot ends in "\\"
                return false;
            }
            const DWORD attributes = GetFileAttributesA(path);
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                char message[kMessageCapacity];
                FormatText(message, sizeof message, kMissingListedFile, i, name);
                ShowErrorBox(message);
                return false;
            }
            if (!measure)
                continue;
            bool complete = true;
            selection.InstallSize += MeasureEntrySize(path, &complete);
            if (!complete)
                return false;
        }
    }
    return true;
}
