#include "script/config.h"

SetupConfig g_config = {};
