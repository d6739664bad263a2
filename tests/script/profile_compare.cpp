// The project's profile reader against the platform's: each script given is read
// with GetPrivateProfileStringA (under Wine in the test run) and with
// ReadProfileString at every capacity the reader uses, for the keys its first
// line names ("; keys: A B ..."). Prints each difference; exits 1 on any.
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "script/profile.h"

int main(int argc, char** argv)
{
    int differences = 0, reads = 0;
    for (int i = 1; i < argc; ++i) {
        std::string text;
        if (FILE* file = std::fopen(argv[i], "rb")) {
            for (int c; (c = std::fgetc(file)) != EOF;)
                text += static_cast<char>(c);
            std::fclose(file);
        }
        if (text.rfind("; keys: ", 0) != 0) {
            std::printf("%s: no keys line\n", argv[i]), ++differences;
            continue;
        }
        std::istringstream keys(text.substr(8, text.find('\r') - 8));
        char path[MAX_PATH];  // the platform reads a name without a folder from the system's folder
        GetFullPathNameA(argv[i], sizeof path, path, nullptr);
        for (std::string key; keys >> key;) {
            for (DWORD capacity : {1024, 260, 20, 2}) {
                std::vector<char> platform(capacity, '\0'), ours(capacity, '\x7F');
                const DWORD got = GetPrivateProfileStringA("SETUP", key.c_str(), "", platform.data(), capacity, path);
                const std::size_t read = ReadProfileString({text.data(), text.size()}, "SETUP", key.c_str(),
                                                           ours.data(), capacity);
                ++reads;
                if (std::string(ours.data()) != platform.data() || (read > 0) != (got > 0))
                    ++differences, std::printf("%s, %s, capacity %lu: platform \"%s\" (%lu), ours \"%s\" (%u)\n",
                                               argv[i], key.c_str(), capacity, platform.data(), got, ours.data(),
                                               static_cast<unsigned>(read));
            }
        }
    }
    std::printf("%d reads, %d differences\n", reads, differences);
    return differences || reads == 0;
}
