// The update stage: the FA2 archive embedded as resource "UPDATE" 102 carries
// UPDATE.INI and the files it lists; each listed file replaces its namesake in the
// install folder.
#pragma once

// Returns nullptr on success, else the failure text that the installation run
// shows (a static Shift-JIS string). Member extraction may have shown a box of its
// own just before.
const char* ApplyUpdatePackage();
