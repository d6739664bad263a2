#include "app/measure.h"

// Not built yet: size measurement.
bool MeasureInstallSizes() { return true; }
uint64_t MeasureFolderSize(const char*) { return 0; }
