// Texts, paths and command lines of the completion and abort actions, built
// without the platform so that their limits can be checked natively. Every
// builder writes into a caller's buffer of known capacity and returns 1, or 0
// with `out` holding an empty text when the result would not fit or is refused.
#pragma once
#include <cstddef>

// The box that reports one DirectX set-up result.
struct DirectXMessage {
    const char* prefix;  // "DirectX Setup Succeeded : " or "DirectX Setup Failed : "
    const char* text;    // Shift-JIS
    int isError;         // 1: error icon; 0: no icon
};

// 1 and `message` filled for the codes that are reported; 0 for the codes that
// are passed over in silence (-3, -4, -10, below -11, above 1).
int DirectXResultMessage(int result, DirectXMessage* message);

// The follow-up program's command line: program, a blank, and the quoted full
// path of argumentFile inside installFolder.
int BuildFollowUpCommandLine(const char* program, const char* installFolder, const char* argumentFile,
                             char* out, std::size_t capacity);

// The folder "directx" beside the program whose full path is programPath.
int BuildDirectXFolder(const char* programPath, char* out, std::size_t capacity);

// The self-removal batch: deletes the program (retrying while it still runs),
// then the PIF file, then the batch itself; lines end with CR LF.
int FormatRemovalScript(const char* programPath, const char* pifPath, const char* batchPath, char* out,
                        std::size_t capacity);
