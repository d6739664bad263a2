// Run-time state that several subsystems share; one instance for the process
// (g_session). Texts are NUL-terminated Shift-JIS bytes.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
using HINSTANCE = void*;
using HWND = void*;
using HBITMAP = void*;
#endif
#include <cstdint>

constexpr int kCaptionCapacity = 260 + 32;  // GameTitle (259 bytes) and the caption's suffix

struct SetupSession {
    HINSTANCE moduleInstance;
    int autoMode;                 // 1: the wizard presses Next by itself; cleared on any install failure
    char caption[kCaptionCapacity];  // "SETUP" until the script is loaded
    char sourceRoot[260];         // "X:\" of the install disc
    char scriptPath[260];         // sourceRoot + "SETUP.INI"
    HWND dialogWindow;            // the wizard while open; owner of message boxes
    HBITMAP bannerBitmap;         // deleted by the final clean-up
    int wizardPage;               // 0 to 3: the step the next Next performs
    int busy;                     // set while a Next/Back step runs
    int selectedIndex;            // chosen install choice, 0 to 2
    uint32_t installDirectX;      // the DirectX check box: 0 or all bits set
    char destinationRoot[260];
    char profileFolder[260];      // the user's profile folder, or empty
    char programsFolder[260];
    char shortcutFolder[260];
    uint64_t installedBytes;      // what the file set's copies put into the install folder
};

extern SetupSession g_session;

// The install folder: destinationRoot\CompanyName\GameDir, rebuilt where needed.
// Returns 1, or 0 when it would not fit `capacity` (then `out` holds no path).
int BuildInstallFolder(char* out, unsigned capacity);
