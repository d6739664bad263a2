// A disc with many faults at once: every one is reported, with its line, its key
// and the text setup would show; setup's own rules decide, as the reader runs here.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/mkdisc/mkdisc.h"

#include <gtest/gtest.h>

namespace {
void Put(const std::string& path, const std::string& data)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f && std::fwrite(data.data(), 1, data.size(), f) == data.size() && !std::fclose(f)) << path;
}

}

TEST(MkdiscCheck, ReportsEveryFaultWithItsLine)
{
    char pattern[] = "/tmp/mkdisc_test_XXXXXX";
    const std::string disc = mkdtemp(pattern);
    for (const char* folder : {"/EXTRA", "/EXTRA/MOVIE"})
        mkdir((disc + folder).c_str(), 0755);
    Put(disc + "/game.exe", "MZ");  // letter case is not the disc's business
    Put(disc + "/EXTRA/MOVIE/M.MPG", std::string(1000, 'x'));
    Put(disc + "/EXTRA/MOVIE/.hidden", "setup does not count this");
    // A bottom-up 24-bit 1x1 bitmap: the smallest banner that loads.
    Put(disc + "/B1.BMP", std::string("BM\x3A\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\1\0\0\0\1\0\0\0\1\0\x18", 29) +
                              std::string(29, '\0'));
    Put(disc + "/BAD.BMP", "BM not a bitmap");
    const std::string longName(300, 'n');
    // UTF-8, as an editor saves it; line 8 holds a character Shift-JIS lacks.
    Put(disc + "/SETUP.INI", "[SETUP]\n"
                             "CompanyName=タルベンソフト\n"
                             "GameTitle=LANTERNA\n"
                             "GameDir=LANTERNA\n"
                             "GameExe=GAME.EXE\n"
                             "SetupBmp=B1.BMP,BAD.BMP\n"
                             "InstallSelects=2\n"
                             "InstallTitle0=標準 \xF0\x9F\x98\x80\n"
                             "InstallFiles0=GAME.EXE,2:,README.TXT\n"
                             "InstallTitle1=Full\n"
                             "InstallFiles1=GAME.EXE,MISSING.DAT,EXTRA\\MOVIE\n"
                             "InstallSize1=2000\n"
                             "Shortcuts=2\n"
                             "Shortcut0=MOVIE\\M.MPG,Movie\n"  // a folder entry lands under its last name
                             "Shortcut1=NOTHERE.EXE,Nothing\n"
                             "DiskCheckFile1=" + longName + "\n"
                             "ExecApp=README.EXE,NOTES.TXT\n");

    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const CheckedDisc checked = CheckDiscs({disc}, out);
    std::fclose(out);
    const std::string report(text, size);
    std::free(text);

    const std::string at = disc + "/SETUP.INI:";
    const std::string expected[] = {
        at + "8: text that Shift-JIS can't hold",
        at + "1: UninstExe: SETUP.INI : UninstExe キーが存在しません",  // absent: the section's line
        at + "9: InstallFiles0: SETUP.INI : InstallFiles0 エラー",
        at + "16: DiskCheckFile1: SETUP.INI : DiskCheckFile1 エラー",
        at + "11: InstallFiles1: SETUP.INI : InstallFiles1 : \"MISSING.DAT\" ファイルが見つかりません",
        at + "12: InstallSize1: states 2000 bytes, the listed files measure 1002",
        at + "15: Shortcut1: \"NOTHERE.EXE\" is installed by no choice",
        at + "17: ExecApp: \"NOTES.TXT\" is installed by no choice",
        at + "17: warning: ExecApp: \"README.EXE\" is installed by no choice: it must be found on the user's system",
        at + "6: SetupBmp: \"BAD.BMP\" would not load: an uncompressed 16, 24 or 32-bit bitmap with a 40-byte "
             "header and no colour table is needed",
        "choice 1 \"Full\": 2 files, 1002 bytes (0.97 KB), disc 1",
        "9 faults, 1 warning",
    };
    for (const std::string& line : expected)
        EXPECT_NE(report.find(line + "\n"), std::string::npos) << "missing: " << line << "\nreport:\n" << report;
    EXPECT_EQ(checked.faults, 9);
    EXPECT_EQ(checked.title, "LANTERNA");
    std::system(("rm -rf '" + disc + "'").c_str());
}
