#include "script/config.h"

SetupConfig g_config = {};
const char kBuiltInTitle[] = "LANTERNA";
