// TEMPORARY stand-in for the update stage while the FA2 platform code is a
// placeholder; install/CMakeLists.txt picks update.cpp once it is not.
#include "install/update.h"

const char* ApplyUpdatePackage() { return "UPDATE.FA2 not found"; }
