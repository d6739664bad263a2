// Command-line fuzz target for both programs: the input up to a NUL is given to
// set-up's parser and to the uninstaller's. A hand-over the uninstaller accepts
// must survive being written by the hand-over builder and read back.
#include "app/cmdline.h"
#include "tests/fuzz/fuzz_text.h"
#include "uninst/uninst_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzztext::Text text = fuzztext::NextPiece(&data, &size);
    CommandLineOptions setup;
    const CommandLineError error = ParseCommandLine(text.s, &setup);
    FUZZ_CHECK((error == CommandLineError::None) == (CommandLineMessage(error) == nullptr));

    UninstOptions options;
    if (!ParseUninstCommandLine(text.s, &options) || options.mode == UninstMode::Start)
        return 0;
    const std::size_t length = std::strlen(options.originalProgram);
    FUZZ_CHECK(length > 0 && length < sizeof options.originalProgram && !std::strchr(options.originalProgram, '"'));
    FUZZ_CHECK(std::strstr(text.s, options.originalProgram) != nullptr);

    const char copy[] = "C:\\TEMP\\UNIN1234\\UNINST.EXE";
    char line[1024];
    FUZZ_CHECK(BuildHandOverCommandLine(copy, options.mode, options.originalProgram, options.silent, line,
                                        sizeof line));
    // The copy's own command line starts behind its quoted program name.
    UninstOptions back;
    FUZZ_CHECK(std::strncmp(line + 1, copy, sizeof copy - 1) == 0);
    FUZZ_CHECK(ParseUninstCommandLine(line + sizeof copy + 1, &back));
    FUZZ_CHECK(back.mode == options.mode && back.silent == options.silent &&
               std::strcmp(back.originalProgram, options.originalProgram) == 0);
    return 0;
}
