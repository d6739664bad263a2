#include "wizard/wizard.h"

#include <shlobj.h>

#include "app/random.h"
#include "app/session.h"
#include "common/path.h"
#include "common/size_text.h"
#include "common/winhelp.h"
#include "script/config.h"
#include "wizard/banner_check.h"

char g_defaultDestination[260];

namespace {
constexpr int kTextCapacity1024 = 1024;
constexpr int kProfileFolderId = 40;  // CSIDL_PROFILE
constexpr UINT kBrowseFlags = 3;      // BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN
constexpr WPARAM kDestinationLimit = 260;
constexpr LPARAM kSelectBeyondText = 0x1000100;
const char kDestinationPrompt[] = "インストール先を指定して下さい";

void SetNavigation(HWND window, BOOL back, BOOL next, BOOL cancel)
{
    EnableControl(window, kIdBack, back);
    EnableControl(window, kIdNext, next);
    EnableControl(window, kIdCancel, cancel);
}

void ShowSelectButtons(HWND window, int showCommand)
{
    for (int i = 0; i < SelectionCount(g_config); ++i)
        ShowControl(window, kSelectButtons[i], showCommand);
}

// The radio table has three entries; an index outside it would select past the table.
int SelectedButtonIndex() { return g_session.selectedIndex >= 0 && g_session.selectedIndex < 3 ? g_session.selectedIndex : 0; }

int LoadRandomBanner(HWND window)
{
    int count = g_config.SetupBmpCount;
    if (count > kMaxBanners)
        count = kMaxBanners;
    const int index = BannerIndex(NextRandom(), count);
    // Without any name the disc root itself is tried, and fails like a missing file.
    const char* name = index < 0 ? "" : g_config.SetupBmp[index];
    char path[260];
    if (!CopyText(path, sizeof path, g_session.sourceRoot) || !AppendPath(path, sizeof path, name)) {
        char text[kTextCapacity1024];
        FormatText(text, sizeof text, "Can't load \"%s\"", name);
        ShowErrorBox(text);
        return 0;
    }
    return LoadBanner(window, kIdBanner, path);
}
}

void ShowWelcomePage(HWND window)
{
    g_session.dialogWindow = window;
    g_session.busy = 0;
    g_session.wizardPage = 0;
    // The reader maps out-of-range values to 0 already; the wizard does not rely on it.
    g_session.selectedIndex = g_config.DefaultSelect >= 0 && g_config.DefaultSelect < 3 ? g_config.DefaultSelect : 0;
    g_session.installDirectX = 0;
    SetWindowTextA(window, g_session.caption);

    if (!LoadRandomBanner(window)) {
        EndDialog(window, -1);
        return;
    }

    if (!SHGetSpecialFolderPathA(nullptr, g_session.profileFolder, kProfileFolderId, TRUE))
        g_session.profileFolder[0] = '\0';

    for (int i = 0; i < SelectionCount(g_config); ++i) {
        char size[kTextCapacity1024];
        char caption[kTextCapacity1024];
        if (!FormatSize(static_cast<int64_t>(g_config.selections[i].InstallSize), size, sizeof size))
            size[0] = '\0';
        FormatText(caption, sizeof caption, "%s  ( 約 %s )", g_config.selections[i].InstallTitle, size);
        SetDlgItemTextA(window, kSelectButtons[i], caption);
    }
    for (int id : kSelectButtons)
        ShowControl(window, id, SW_HIDE);

    SetInfoText(window, "「%s」のインストールを開始します", g_config.GameTitle);

    if (g_config.InstallDirectX) {
        ShowControl(window, kIdDirectX, SW_SHOW);
        CheckDlgButton(window, kIdDirectX, g_session.installDirectX ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(window, kIdDirectX, g_config.InstallDXMessage);
    }
    SetNavigation(window, FALSE, TRUE, TRUE);
}

void ShowSelectionPage(HWND window)
{
    SetInfoTextLiteral(window, g_config.SelectSetupMessage);
    if (g_config.InstallDirectX)
        ShowControl(window, kIdDirectX, SW_HIDE);
    SetNavigation(window, FALSE, TRUE, TRUE);
    ShowSelectButtons(window, SW_SHOW);
    ShowControl(window, kIdDestination, SW_HIDE);
    ShowControl(window, kIdBrowse, SW_HIDE);
    ShowControl(window, kIdPreview, SW_HIDE);
    CheckRadioButton(window, kIdSelect0, kIdSelect2, kSelectButtons[SelectedButtonIndex()]);
}

void ShowDestinationPage(HWND window)
{
    SetInfoTextLiteral(window, kDestinationPrompt);
    SetNavigation(window, TRUE, TRUE, TRUE);
    ShowSelectButtons(window, SW_HIDE);
    ShowControl(window, kIdDestination, SW_SHOW);
    ShowControl(window, kIdBrowse, SW_SHOW);
    ShowControl(window, kIdPreview, SW_SHOW);

    FindDefaultDestination();
    CopyText(g_session.destinationRoot, sizeof g_session.destinationRoot, g_defaultDestination);

    HWND edit = GetDlgItem(window, kIdDestination);
    SendMessageA(edit, EM_LIMITTEXT, kDestinationLimit, 0);
    SetWindowTextA(edit, g_session.destinationRoot);  // EN_CHANGE refreshes the preview
    SendMessageA(edit, EM_SETSEL, 0, kSelectBeyondText);
    SetFocus(edit);
}

void FindDefaultDestination()
{
    int found = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE, &key)
        == ERROR_SUCCESS) {
        DWORD size = sizeof g_defaultDestination;
        DWORD type = 0;
        if (RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(g_defaultDestination),
                             &size)
            == ERROR_SUCCESS) {
            // A stored string need not carry its terminator; one that fills the buffer
            // without it is not a usable path.
            if (size < sizeof g_defaultDestination) {
                g_defaultDestination[size] = '\0';
                found = 1;
            } else if (g_defaultDestination[sizeof g_defaultDestination - 1] == '\0') {
                found = 1;
            }
        }
        RegCloseKey(key);
    }

    char windowsFolder[260];
    char driveRoot[4] = "C:\\";
    // A length of the buffer or more means the folder did not fit and nothing was written.
    const UINT length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    if (length >= 2 && length < sizeof windowsFolder) {
        driveRoot[0] = windowsFolder[0];
        driveRoot[1] = windowsFolder[1];
    }
    if (!found) {
        CopyText(g_defaultDestination, sizeof g_defaultDestination, driveRoot);
        AppendPath(g_defaultDestination, sizeof g_defaultDestination, "Program Files");
    }
    const DWORD attributes = GetFileAttributesA(g_defaultDestination);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CopyText(g_defaultDestination, sizeof g_defaultDestination, driveRoot);
}

void BrowseDestination(HWND window)
{
    if (g_session.wizardPage != 2)
        return;
    char displayName[260] = "";
    BROWSEINFOA browse = {};
    browse.hwndOwner = window;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = kDestinationPrompt;
    browse.ulFlags = kBrowseFlags;
    LPITEMIDLIST items = SHBrowseForFolderA(&browse);
    if (!items)
        return;
    // A pick that has no file-system path (the browser's flag should prevent it)
    // leaves the field alone rather than putting a display name into it.
    if (SHGetPathFromIDListA(items, displayName))
        SetDlgItemTextA(window, kIdDestination, displayName);
    FreeShellItemList(items);
}

void FreeShellItemList(void* itemList)
{
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(itemList);
        allocator->Release();
    }
}
