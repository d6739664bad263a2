#include "wizard/wizard.h"

#include "app/session.h"
#include "install/install.h"
#include "script/config.h"
#include "wizard/banner_check.h"

#include <shlwapi.h>

#include <cstdarg>

namespace {
constexpr int kInfoCapacity = 1024;
constexpr int kPreviewCapacity = 520;
// The edit field's text that the preview takes: at most 259 bytes.
constexpr int kEditTextCapacity = 260;

void PostNext(HWND window) { PostMessageA(window, WM_COMMAND, MAKEWPARAM(kIdNext, 0), 0); }

// Rebuilds the install-folder preview from the edit field. A field longer than the
// preview can take, with the folder names behind it, empties the preview instead of
// showing a folder that the installation would not use.
void RefreshPreview(HWND window)
{
    // One byte more than the preview takes: a text that fills it was cut by the read.
    char edit[kEditTextCapacity + 1];
    char preview[kPreviewCapacity];
    preview[0] = '\0';
    const UINT length = GetDlgItemTextA(window, kIdDestination, edit, sizeof edit);
    if (length < kEditTextCapacity)
        BuildPreviewText(edit, g_config.CompanyName, g_config.GameDir, preview, sizeof preview);
    SetDlgItemTextA(window, kIdPreview, preview);
}

// Next and Back. A step that opens a modal loop (message boxes, the shell's copy
// window) re-enters here; busy turns those nested presses into nothing.
void RunStep(HWND window, int id)
{
    if (g_session.busy)
        return;
    g_session.busy = 1;
    SetInfoTextLiteral(window, "");
    if (id == kIdBack)
        g_session.wizardPage -= 2;
    switch (g_session.wizardPage) {
    case 0: ShowSelectionPage(window); break;
    case 1: ShowDestinationPage(window); break;
    case 2: RunInstallation(window); break;
    case 3: EndDialog(window, 0); break;
    default: break;
    }
    // Posted, not sent: the next step runs from the message loop once this one has
    // returned and busy is clear again.
    if (g_session.autoMode)
        PostNext(window);
    g_session.wizardPage += 1;
    g_session.busy -= 1;
}

void OnCommand(HWND window, int id, int notification)
{
    if (notification == EN_CHANGE) {
        if (id == kIdDestination)
            RefreshPreview(window);
        return;
    }
    if (notification != 0)
        return;
    switch (id) {
    case kIdNext:
    case kIdBack:
        RunStep(window, id);
        break;
    case kIdCancel:
        if (!g_session.busy)
            EndDialog(window, -1);
        break;
    case kIdBrowse:
        BrowseDestination(window);
        break;
    case kIdSelect0:
    case kIdSelect1:
    case kIdSelect2:
        g_session.selectedIndex = id - kIdSelect0;
        CheckRadioButton(window, kIdSelect0, kIdSelect2, id);
        break;
    case kIdDirectX:
        g_session.installDirectX = ~g_session.installDirectX;
        CheckDlgButton(window, kIdDirectX, g_session.installDirectX ? BST_CHECKED : BST_UNCHECKED);
        break;
    default:
        break;
    }
}
}

const int kSelectButtons[3] = {kIdSelect0, kIdSelect1, kIdSelect2};

INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowWelcomePage(window);
        if (g_session.autoMode)
            PostNext(window);
        return FALSE;
    case WM_SETCURSOR:
        if (!g_session.busy)
            return FALSE;
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    default:
        return FALSE;
    }
}

void SetInfoText(HWND window, const char* format, ...)
{
    char text[kInfoCapacity];
    va_list args;
    va_start(args, format);
    // The wvsprintf conventions; the bounded form keeps a long argument inside the
    // buffer (it ends the text at the capacity).
    wvnsprintfA(text, sizeof text, format, args);
    va_end(args);
    text[sizeof text - 1] = '\0';
    SetDlgItemTextA(window, kIdInfo, text);
}

void SetInfoTextLiteral(HWND window, const char* text) { SetDlgItemTextA(window, kIdInfo, text); }

void EnableControl(HWND window, int id, BOOL enable) { EnableWindow(GetDlgItem(window, id), enable); }

void ShowControl(HWND window, int id, int showCommand) { ShowWindow(GetDlgItem(window, id), showCommand); }
