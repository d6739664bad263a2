#include "app/session.h"
#include "common/path.h"
#include "script/config.h"

SetupSession g_session = {nullptr, 0, "SETUP", {}, {}, nullptr, nullptr, 0, 0, 0, 0, {}, {}, {}, {}, 0};

int BuildInstallFolder(char* out, unsigned capacity)
{
    if (!CopyText(out, capacity, g_session.destinationRoot) || !AppendPath(out, capacity, g_config.CompanyName)
        || !AppendPath(out, capacity, g_config.GameDir)) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}
