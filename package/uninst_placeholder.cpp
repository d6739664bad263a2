// PLACEHOLDER uninstaller: packed into the update package only while the real
// UNINST.EXE (target `uninst`) is not part of the build, so that the packing and
// the update stage can run end to end. It says what it is and removes nothing.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(nullptr, "Placeholder uninstaller: nothing is removed.", "UNINST", MB_OK);
    return 1;
}
