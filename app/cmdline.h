// The program's switches: /a (automatic mode) and /d"path" (remove the program
// file at exit). Portable: builds natively for the unit tests.
#pragma once

enum class CommandLineError {
    None = 0,
    Unexpected,    // any byte that starts no switch: "(1)"
    UnknownSwitch, // "/" followed by anything but a or d: "(2)"
    BadRemoval,    // "/d" not followed by a quoted path: "(/d)"
};

struct CommandLineOptions {
    int autoMode = 0;
    int selfRemove = 0;
};

// Scans `text` from its start; stops at the first error. Switches read before an
// error keep their effect in `options`. A /d path without its closing quote is
// BadRemoval and does not set selfRemove: the scan never reads past the text.
CommandLineError ParseCommandLine(const char* text, CommandLineOptions* options);

// The Shift-JIS message for an error, or nullptr for None.
const char* CommandLineMessage(CommandLineError error);
