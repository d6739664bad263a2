#include "app/completion.h"
#include "app/session.h"

// Not built yet: abort/completion actions beyond releasing the banner.
void RunAbortActions() {}
int RunCompletionActions() { return 0; }
void RunFinalCleanup(int)
{
    if (g_session.bannerBitmap) {
        DeleteObject(g_session.bannerBitmap);
        g_session.bannerBitmap = nullptr;
    }
}
void AskRestart(int) {}
void RemoveInstallFolder() {}
int RunDirectXSetup(HWND, const char*, DWORD) { return -11; }
void ScheduleSelfRemoval(HINSTANCE) {}
