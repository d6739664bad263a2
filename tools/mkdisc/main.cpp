// mkdisc: the disc author's tool. Exit status 0 clean, 1 faults, 2 bad usage.
#include <cstdlib>
#include <cstring>

#include "tools/mkdisc/mkdisc.h"

namespace {
const char kHelp[] =
    "usage: mkdisc check DISC [DISC2 ...]\n"
    "       mkdisc make SRC OUT [--setup PATH] [--iso IMAGE] [--disc N DIR]...\n"
    "\n"
    "check  reads DISC/SETUP.INI with the same reader and rules as setup.exe and\n"
    "       reports every fault, not only the first, as\n"
    "           DISC/SETUP.INI:LINE: KEY: the text setup.exe would show\n"
    "       then what setup.exe would only find on a user's machine: listed files\n"
    "       missing from the disc their disc mark names (DISC2, DISC3, ... are\n"
    "       discs 2, 3, ...; entries of a disc not given are not checked),\n"
    "       missing DiskCheckFile markers, shortcut targets and ExecApp files\n"
    "       that no install choice installs, banners that would not load, an\n"
    "       InstallSize more than 10% from the measured size, InstallDirectX\n"
    "       without a directx folder, and text that Shift-JIS can't hold. A disc\n"
    "       over 650 MiB is a warning. It ends with each install choice's files\n"
    "       and bytes. SETUP.INI may be Shift-JIS or UTF-8 (then it is read as\n"
    "       its Shift-JIS conversion).\n"
    "\n"
    "make   checks SRC (with the discs given by --disc N DIR, N = 2 to 9) and,\n"
    "       when there is no fault, lays disc 1 out in OUT, which must be absent\n"
    "       or empty: every file and folder of SRC except names beginning with a\n"
    "       dot (a directx folder comes along), marked read-only as on a pressed\n"
    "       disc; SETUP.INI in Shift-JIS with CR LF line ends, keys and values\n"
    "       unchanged; and SETUP.EXE, the setup program given by --setup\n"
    "       (default: " MKDISC_DEFAULT_SETUP ").\n"
    "       --iso IMAGE also writes an ISO 9660 image with Joliet names and\n"
    "       GameTitle as volume label (needs xorriso). Further discs are checked,\n"
    "       not laid out.\n"
    "\n"
    "Exit status: 0 no fault (warnings allowed), 1 faults or no disc made,\n"
    "2 bad usage.\n";

int Usage()
{
    std::fputs(kHelp, stderr);
    return 2;
}
}

int main(int argc, char** argv)
{
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc >= 3 && !std::strcmp(argv[1], "check")) {
        const std::vector<std::string> discs(argv + 2, argv + argc);
        return CheckDiscs(discs, stdout).faults ? 1 : 0;
    }
    if (argc < 4 || std::strcmp(argv[1], "make") != 0)
        return Usage();
    std::vector<std::string> discs = {argv[2]};
    std::string setup = MKDISC_DEFAULT_SETUP, image;
    for (int i = 4; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--setup") && more) {
            setup = argv[++i];
        } else if (!std::strcmp(argv[i], "--iso") && more) {
            image = argv[++i];
        } else if (!std::strcmp(argv[i], "--disc") && i + 2 < argc) {
            const int n = std::atoi(argv[i + 1]);
            if (n < 2 || n > 9 || std::strlen(argv[i + 1]) != 1)
                return Usage();
            if (discs.size() < static_cast<std::size_t>(n))
                discs.resize(static_cast<std::size_t>(n));
            discs[static_cast<std::size_t>(n - 1)] = argv[i + 2];
            i += 2;
        } else {
            return Usage();
        }
    }
    return MakeDisc(discs, argv[3], setup, image);
}
