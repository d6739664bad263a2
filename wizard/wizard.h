// The wizard dialog (resource 101) and the helpers its pages share.
#pragma once
#include <windows.h>

constexpr int kWizardDialogId = 101;
constexpr int kIdNext = 1;
constexpr int kIdCancel = 2;
constexpr int kIdBack = 4;
constexpr int kIdInfo = 1001;
constexpr int kIdDestination = 1002;
constexpr int kIdBrowse = 1003;
constexpr int kIdBanner = 1004;
constexpr int kIdSelect0 = 1005;
constexpr int kIdSelect1 = 1006;
constexpr int kIdSelect2 = 1007;
constexpr int kIdDirectX = 1008;
constexpr int kIdPreview = 1009;

// The radio buttons in install-choice order.
extern const int kSelectButtons[3];

// Dialog procedure of resource 101. Ends the dialog with 0 when the installation
// has completed and Next is pressed, with -1 on Cancel, a banner that can't be
// loaded, or a failed installation run.
INT_PTR CALLBACK WizardDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The pages. ShowWelcomePage initialises the wizard's session fields and may end
// the dialog with -1 (banner not loaded). The others are steps of Next and Back.
void ShowWelcomePage(HWND window);
void ShowSelectionPage(HWND window);
void ShowDestinationPage(HWND window);
// Folder browser for button 1003; acts only while the destination page shows.
void BrowseDestination(HWND window);

// Loads the banner file into a bitmap section, remembered in g_session.bannerBitmap
// (deleted after the dialog by the final clean-up), and gives it to control `id`.
// Returns 1, also when the window has no such control; 0 after showing
// "Can't load "<path>"" when the file can't be read or the pixel rule does not fit it.
int LoadBanner(HWND window, int id, const char* path);

// The default destination root (260 bytes): ProgramFilesDir, else <Windows drive>\Program Files,
// else the Windows drive's root when that folder does not exist.
extern char g_defaultDestination[260];
void FindDefaultDestination();

// Returns an item list from the folder browser to the shell's allocator.
void FreeShellItemList(void* itemList);

// Formats into a 1024-byte buffer with wvsprintf conventions and sets control 1001;
// a text longer than the buffer is cut at its end. A finished text (a script text
// above all) goes through SetInfoTextLiteral instead: it is shown as it stands, a
// '%' included, and nothing is read for it.
void SetInfoText(HWND window, const char* format, ...);
void SetInfoTextLiteral(HWND window, const char* text);
void EnableControl(HWND window, int id, BOOL enable);
void ShowControl(HWND window, int id, int showCommand);
