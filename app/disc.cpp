#include "app/disc.h"
#include "common/winhelp.h"

const char kBuiltInTitle[] = "LANTERNA";

// Not built yet: disc discovery. Reports that plainly and ends the run as cancelled.
DiscResult FindSourceDisc()
{
    ShowErrorBox("FindSourceDisc: not built yet");
    return DiscResult::Cancelled;
}

bool ActivateRunningCopy() { return false; }
bool LaunchInstalledGame() { return false; }
