// Presence check and size measurement of the install choices before the wizard.
#pragma once
#include <cstdint>

// The message for a listed file or folder missing from the disc, with the
// choice's index and the entry's name; the disc tool reports the same text.
constexpr char kMissingListedFile[] = "SETUP.INI : InstallFiles%i : \"%s\" ファイルが見つかりません";

// Names that the measurement counts: one beginning with a dot is passed over
// (the folder itself, its parent, and hidden files), on the disc tool's host too.
inline bool IsCountedName(const char* name) { return name[0] != '.'; }

// Checks every listed file of the single-disc choices on the disc at sourceRoot
// and adds the measured size to each such choice whose InstallSize is 0. False
// after an error message: a listed file missing, or a path on the disc too long
// for the program's 260-byte paths.
bool MeasureInstallSizes();

// Byte total of all files below `folder`, to any depth; names beginning with a
// dot are skipped; a folder that can't be searched counts 0. When a path below it
// would not fit 260 bytes, an error box names it, the walk stops and `complete`
// (optional) is set to false; otherwise `complete` is left as it was.
uint64_t MeasureFolderSize(const char* folder, bool* complete = nullptr);

// Bytes of the file, or of the folder's files as MeasureFolderSize counts them; 0 for
// a path that names nothing (a pattern included).
uint64_t MeasureEntrySize(const char* path, bool* complete = nullptr);
