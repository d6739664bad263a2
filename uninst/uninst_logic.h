// The uninstaller's decisions that need no platform: its command line, the
// comparison of recorded paths with its own, the folders it may remove, the
// batch that deletes its temporary copy, and its texts (Shift-JIS).
#pragma once
#include <cstddef>

// Exit codes of UNINST.EXE.
constexpr int kUninstSucceeded = 0;
constexpr int kUninstFailed = 1;        // something could not be removed; records kept
constexpr int kUninstNoRecord = 2;      // no record names this program; nothing changed
constexpr int kUninstCancelled = 3;     // the user answered No; nothing changed
constexpr int kUninstBadCommandLine = 4;

// How this run was started. The user starts the program from the install folder
// (Start); that copy hands over to a copy of itself in a new folder of its own under
// the temporary folder (Remove),
// and after that ends, to one more run of the same copy (Cleanup) that deletes the
// original program file and the then empty install folder.
enum class UninstMode { Start, Remove, Cleanup };

struct UninstOptions {
    int silent = 0;                  // /s: no question, no outcome box
    UninstMode mode = UninstMode::Start;
    char originalProgram[260] = {};  // /r and /c: the program file in the install folder
};

// Switches, in any order, separated by blanks or tabs: /s; /r PATH; /c PATH, where
// PATH is a double-quoted text or a run of non-blank bytes without quotes. Letters are matched
// without regard to case. Returns 0 for anything else, for both /r and /c, and for
// a path that is empty or would not fit.
int ParseUninstCommandLine(const char* text, UninstOptions* options);

// Path equality as the platform's file system sees it: ASCII letters compared
// without case, double-byte characters byte for byte, and one final separator on
// either side ignored. Surrounding double quotes (a hand-edited record) are ignored.
int SamePath(const char* a, const char* b);

// The folder part of `path`, without its final separator, into `out`. Refused
// (0) when there is no separator or the folder would be a drive root or not an
// absolute "X:\..." path, since such a folder can't be an install folder.
int FolderOfProgram(const char* path, char* out, std::size_t capacity);

// The game's Start-menu folder: programsFolder\gameDir. Refused unless
// programsFolder is absolute ("X:\...") and gameDir is a single real folder name
// (no separator, no wildcard or colon, not only dots and blanks).
int BuildStartMenuFolder(const char* programsFolder, const char* gameDir, char* out, std::size_t capacity);

// The batch that deletes the temporary copy once it has ended, then its folder
// (only when empty), then itself.
int FormatCopyRemovalScript(const char* programPath, const char* folder, const char* batchPath, char* out,
                            std::size_t capacity);

// Command line of the temporary copy: "copy" /r|/c "original" [/s].
int BuildHandOverCommandLine(const char* copyPath, UninstMode mode, const char* originalProgram, int silent,
                             char* out, std::size_t capacity);

extern const char kUninstTitle[];          // caption before the product is known
extern const char kUninstTitleFormat[];    // "%s" the DisplayName
extern const char kConfirmFormat[];        // "%s" the DisplayName
extern const char kDoneFormat[];           // "%s" the DisplayName
extern const char kNoRecordFormat[];       // "%s" the folder
extern const char kInUseFormat[];          // "%s" the file or folder that stayed
extern const char kRegistryFailedText[];
extern const char kPrepareFailedText[];
extern const char kBadCommandLineText[];
