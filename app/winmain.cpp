// The program's entry: one pass from the command line to the exit code.
#include <windows.h>
#include <objbase.h>

#include "app/cmdline.h"
#include "app/completion.h"
#include "app/disc.h"
#include "app/measure.h"
#include "app/random.h"
#include "app/session.h"
#include "common/library_search.h"
#include "common/winhelp.h"
#include "script/config.h"
#include "wizard/wizard.h"

namespace {
int SuccessExit(int selfRemove, int directXResult)
{
    RunFinalCleanup(selfRemove);
    AskRestart(directXResult);
    return 1;
}

int FailureExit(int selfRemove)
{
    RunFinalCleanup(selfRemove);
    return 0;
}
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    RestrictLibrarySearch();
    UsePlatformLeadBytes();
    g_session.moduleInstance = instance;
    CoInitialize(nullptr);
    SeedRandom(GetTickCount());

    CommandLineOptions options;
    const CommandLineError error = ParseCommandLine(commandLine ? commandLine : "", &options);
    g_session.autoMode = options.autoMode;
    if (error != CommandLineError::None) {
        ShowErrorBox(CommandLineMessage(error));
        return FailureExit(options.selfRemove);
    }

    if (FindSourceDisc() != DiscResult::Found)
        return FailureExit(options.selfRemove);
    FormatText(g_session.caption, sizeof g_session.caption, "%s 修正セットアップ", g_config.GameTitle);

    if (ActivateRunningCopy() || LaunchInstalledGame())
        return SuccessExit(options.selfRemove, 0);
    if (!MeasureInstallSizes())
        return FailureExit(options.selfRemove);

    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(kWizardDialogId), nullptr,
                                           WizardDialogProc, 0);
    g_session.dialogWindow = nullptr;
    if (result != 0) {
        RunAbortActions();
        return FailureExit(options.selfRemove);
    }
    const int directXResult = RunCompletionActions();
    return SuccessExit(options.selfRemove, directXResult);
}
