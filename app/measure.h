// Presence check and size measurement of the install choices before the wizard.
#pragma once
#include <cstdint>

// False after an error message (a listed file missing on the disc).
bool MeasureInstallSizes();

// Byte total of all files below `folder`, dot-names skipped; 0 when it can't be searched.
uint64_t MeasureFolderSize(const char* folder);
