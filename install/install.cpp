#include "install/install.h"
#include "app/measure.h"
#include "app/session.h"
#include "common/path.h"
#include "common/sjis.h"
#include "common/winhelp.h"
#include "install/paths.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "install/update.h"
#include "script/config.h"
#include "wizard/wizard.h"

#include <shellapi.h>

#include <cstring>

namespace {
// The shallowest folder on the way to the install folder that this run created
// (empty: none). Every level below it was created too, since a folder that did not
// exist had no sub-folders.
char g_firstCreatedFolder[260];

// Creates every missing folder of `path`, from the drive root down; with
// `includeLast` 0 the text after the last backslash (a file name) is left out.
// With `record`, notes the first level this run made. Levels that can't be made
// are left to the copy, whose failure is then reported.
void CreateFolderLevels(const char* path, int includeLast, int record)
{
    char level[260];
    if (!CopyText(level, sizeof level, path))
        return;
    const std::size_t length = std::strlen(level);
    // Index 2 is the root's separator in "X:\": the root is never created.
    for (std::size_t i = 3; i <= length; ++i) {
        const auto c = static_cast<unsigned char>(level[i]);
        if (i < length && IsLeadByte(c) && i + 1 < length) {
            ++i;
            continue;
        }
        if (c != '\\' && !(c == '\0' && includeLast))
            continue;
        level[i] = '\0';
        if (CreateDirectoryA(level, nullptr) && record && g_firstCreatedFolder[0] == '\0')
            CopyText(g_firstCreatedFolder, sizeof g_firstCreatedFolder, level);
        level[i] = static_cast<char>(c);
    }
}

const char* FaultText(DestinationFault fault)
{
    switch (fault) {
    case DestinationFault::InvalidPath:
        return "指定されたパスが無効です。";
    case DestinationFault::InvalidDrive:
        return "指定されたドライブが無効です。";
    case DestinationFault::NoSpace:
        return "ディスク容量が足りません";
    case DestinationFault::None:
        break;
    }
    return "";
}

void ReportCorrectable(HWND dialog, DestinationFault fault)
{
    SetInfoTextLiteral(dialog, FaultText(fault));
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    g_session.autoMode = 0;
}

// Fatal: the error box (when there is a text), then the dialog ends with -1.
// What this run created goes before the dialog ends, so that the abort leaves
// nothing behind whatever the abort actions after the dialog remove.
void EndFailed(HWND dialog, const char* text)
{
    g_session.autoMode = 0;
    if (text)
        ShowErrorBox(text);
    UndoInstallationRecords();
    EndDialog(dialog, -1);
}

DestinationFault CheckDestination(char* installFolder)
{
    DestinationFault fault = CheckDestinationRoot(g_session.destinationRoot, GetLogicalDrives());
    if (fault != DestinationFault::None)
        return fault;
    // An install folder that would not fit a path buffer is a path the user can
    // shorten on the destination page, so it is reported like any invalid path.
    if (!BuildInstallFolder(installFolder, 260))
        return DestinationFault::InvalidPath;
    const char drive[3] = {g_session.destinationRoot[0], ':', '\0'};
    uint64_t freeToCaller = 0;
    uint64_t total = 0;
    const int queryOk = GetDiskSpace(drive, &freeToCaller, &total, nullptr);
    return CheckFreeSpace(queryOk, freeToCaller, g_config.selections[g_session.selectedIndex].InstallSize);
}

// Asks for disc `disc` until its check file is readable; 0 when the user
// cancels (nothing shown) or the check file's path does not fit (reported).
int WaitForDisc(int disc)
{
    const char* checkFile = g_config.DiskCheckFile[disc];
    if (checkFile[0] == '\0')
        return 1;
    char checkPath[260];
    if (!CopyText(checkPath, sizeof checkPath, g_session.sourceRoot)
        || !AppendPath(checkPath, sizeof checkPath, checkFile)) {
        char text[kMessageCapacity];
        FormatText(text, sizeof text, "SETUP.INI : DiskCheckFile%i : \"%s\" のパスが長すぎます", disc, checkFile);
        ShowErrorBox(text);
        return 0;
    }
    while (GetFileAttributesA(checkPath) == INVALID_FILE_ATTRIBUTES) {
        char prompt[kMessageCapacity];
        FormatText(prompt, sizeof prompt, "「%s」ディスク %i を入れて下さい", g_config.GameTitle, disc);
        if (MessageBoxA(g_session.dialogWindow, prompt, g_session.caption, MB_OKCANCEL) != IDOK)
            return 0;
    }
    return 1;
}

// Copies the chosen file set; 0 after a fatal outcome (already reported).
int CopyFileSet(HWND dialog, const char* installFolder)
{
    const InstallSelection& selection = g_config.selections[g_session.selectedIndex];
    g_session.installedBytes = 0;
    CreateFolderLevels(installFolder, 1, 1);
    for (int i = 0; i < kMaxInstallFiles && selection.InstallFiles[i].name[0] != '\0'; ++i) {
        const InstallFileEntry& entry = selection.InstallFiles[i];
        SetInfoText(dialog, "%s をコピーしています", entry.name);
        // The disc goes in first: only then can the source's attributes tell a
        // file from a folder.
        if (!WaitForDisc(entry.disc)) {
            EndFailed(dialog, nullptr);
            return 0;
        }
        char probe[260];
        int sourceIsFile = 0;
        if (CopyText(probe, sizeof probe, g_session.sourceRoot) && AppendPath(probe, sizeof probe, entry.name)) {
            const DWORD attributes = GetFileAttributesA(probe);
            sourceIsFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        CopyPlan plan;
        if (!PlanCopyEntry(g_session.sourceRoot, installFolder, entry.name, sourceIsFile, &plan)) {
            char text[kMessageCapacity];
            FormatText(text, sizeof text, "SETUP.INI : InstallFiles%i : \"%s\" のパスが長すぎます",
                       g_session.selectedIndex, entry.name);
            EndFailed(dialog, text);
            return 0;
        }
        if (!plan.folderFlag)
            CreateFolderLevels(plan.target, 0, 0);
        const CopyResult result = ShellCopy(dialog, plan.source, plan.target, plan.folderFlag);
        if (result == CopyResult::Aborted) {
            EndFailed(dialog, nullptr);
            return 0;
        }
        if (result == CopyResult::Failed) {
            char text[kMessageCapacity];
            FormatText(text, sizeof text, "SETUP.INI : InstallFiles%i : \"%s\" のコピーに失敗しました",
                       g_session.selectedIndex, entry.name);
            EndFailed(dialog, text);
            return 0;
        }
        // What the copy put in is what it read: the source, still in the drive.
        g_session.installedBytes += MeasureEntrySize(plan.source);
    }
    return 1;
}

void ShowCompletion(HWND dialog)
{
    SetInfoText(dialog, "「%s」のインストールが完了しました", g_config.GameTitle);
    SetDlgItemTextA(dialog, kIdNext, "完了");
    EnableControl(dialog, kIdBack, FALSE);
    EnableControl(dialog, kIdNext, TRUE);
    EnableControl(dialog, kIdCancel, FALSE);
    SetFocus(GetDlgItem(dialog, kIdNext));
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SetForegroundWindow(dialog);
}
}

CopyResult ShellCopy(HWND owner, const char* source, const char* target, int folderFlag)
{
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_COPY;
    operation.pFrom = source;
    operation.pTo = target;
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    if (folderFlag)
        operation.fFlags |= FOF_NOERRORUI;
    const int result = SHFileOperationA(&operation);
    if (operation.fAnyOperationsAborted) {
        g_session.autoMode = 0;
        return CopyResult::Aborted;
    }
    if (result != 0) {
        g_session.autoMode = 0;
        return CopyResult::Failed;
    }
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    return CopyResult::Copied;
}

void RunInstallation(HWND dialog)
{
    SetInfoTextLiteral(dialog, "インストール先のディスク容量をチェックしています");
    EnableControl(dialog, kIdBack, TRUE);
    EnableControl(dialog, kIdNext, FALSE);
    EnableControl(dialog, kIdCancel, TRUE);
    ShowControl(dialog, kIdDestination, SW_HIDE);
    ShowControl(dialog, kIdBrowse, SW_HIDE);
    ShowControl(dialog, kIdPreview, SW_HIDE);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));

    GetDlgItemTextA(dialog, kIdDestination, g_session.destinationRoot, sizeof g_session.destinationRoot);
    char installFolder[260];
    const DestinationFault fault = CheckDestination(installFolder);
    if (fault != DestinationFault::None) {
        ReportCorrectable(dialog, fault);
        return;
    }

    if (!CopyFileSet(dialog, installFolder))
        return;

    SetInfoTextLiteral(dialog, "スタートメニューにショートカットを登録中");
    if (!CreateStartMenuShortcuts()) {
        EndFailed(dialog, "ショートカットの登録に失敗しました");
        return;
    }
    if (!WriteUserRecord()) {
        EndFailed(dialog, "レジストリに対するインストール情報の書き込みに失敗しました");
        return;
    }
    if (!WriteUninstallRecord()) {
        EndFailed(dialog, "レジストリに対するアンインストール情報の書き込みに失敗しました");
        return;
    }
    if (const char* failure = ApplyUpdatePackage()) {
        EndFailed(dialog, failure);
        return;
    }
    ShowCompletion(dialog);
}

void RemoveInstallFolder()
{
    if (g_firstCreatedFolder[0] == '\0')
        return;
    // Everything below the first folder this run made was made by this run too:
    // the install folder and what was copied into it. Deleting that level takes
    // the empty parents along and touches nothing that was there before.
    char list[261];
    if (CopyText(list, sizeof list - 1, g_firstCreatedFolder)) {
        list[std::strlen(list) + 1] = '\0';
        SHFILEOPSTRUCTA operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = list;
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
        SHFileOperationA(&operation);
    }
    g_firstCreatedFolder[0] = '\0';
}

void UndoInstallationRecords()
{
    RemoveCreatedShortcuts();
    RemoveCreatedRecords();
    RemoveInstallFolder();
}
