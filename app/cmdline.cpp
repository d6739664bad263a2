#include "app/cmdline.h"

CommandLineError ParseCommandLine(const char* text, CommandLineOptions* options)
{
    const char* p = text;
    for (;;) {
        const char c = *p;
        if (c == '\0')
            return CommandLineError::None;
        if (c == '\t' || c == ' ' || c == '"') {
            ++p;
            continue;
        }
        if (c != '/')
            return CommandLineError::Unexpected;
        const char letter = p[1];
        if (letter == 'a' || letter == 'A') {
            options->autoMode = 1;
            p += 2;
            continue;
        }
        if (letter == 'd' || letter == 'D') {
            if (p[2] != '"')
                return CommandLineError::BadRemoval;
            const char* q = p + 3;
            while (*q != '\0' && *q != '"')
                ++q;
            if (*q == '\0')
                return CommandLineError::BadRemoval;
            options->selfRemove = 1;
            p = q + 1;
            continue;
        }
        return CommandLineError::UnknownSwitch;
    }
}

const char* CommandLineMessage(CommandLineError error)
{
    switch (error) {
    case CommandLineError::Unexpected: return "コマンドラインオプションエラー(1)";
    case CommandLineError::UnknownSwitch: return "コマンドラインオプションエラー(2)";
    case CommandLineError::BadRemoval: return "コマンドラインオプションエラー(/d)";
    case CommandLineError::None: break;
    }
    return nullptr;
}
