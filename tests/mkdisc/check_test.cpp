// A disc with many faults at once (faulty-disc/, its SETUP.INI in UTF-8 as an
// editor saves it): every fault is reported, with its line, its key and the text
// setup would show (faulty-disc.expected); setup's own rules decide, as the reader runs here.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/mkdisc/mkdisc.h"

#include <gtest/gtest.h>

TEST(MkdiscCheck, ReportsEveryFaultWithItsLine)
{
    const std::string disc = LANTERNA_TESTS_DIR "/mkdisc/faulty-disc";
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    const CheckedDisc checked = CheckDiscs({disc}, out);
    std::fclose(out);
    const std::string report(text, size);
    std::free(text);

    std::ifstream expected(LANTERNA_TESTS_DIR "/mkdisc/faulty-disc.expected");
    int lines = 0;
    for (std::string line; std::getline(expected, line); ++lines) {
        line = (line.starts_with("SETUP.INI:") ? disc + "/" : "") + line;
        EXPECT_NE(report.find(line + "\n"), std::string::npos) << "missing: " << line << "\nreport:\n" << report;
    }
    EXPECT_EQ(lines, 13);
    EXPECT_EQ(checked.faults, 10);
    EXPECT_EQ(checked.title, "LANTERNA");
}
