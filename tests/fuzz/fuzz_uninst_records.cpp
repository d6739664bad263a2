// Record matching fuzz target: the input's first two NUL-separated pieces are a
// recorded path and this program's path (or the Programs folder and a record's
// key name). Path equality must be symmetric, reflexive and blind to ASCII case
// and to quotes around a record; the folders built must be what they claim.
#include "common/sjis.h"
#include "tests/fuzz/fuzz_text.h"
#include "uninst/uninst_logic.h"

#include <cctype>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzztext::Text a = fuzztext::NextPiece(&data, &size);
    fuzztext::Text b = fuzztext::NextPiece(&data, &size);
    FUZZ_CHECK(SamePath(a.s, b.s) == SamePath(b.s, a.s) && SamePath(a.s, a.s));
    std::string upper = a.s;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const auto c = static_cast<unsigned char>(upper[i]);
        i += IsSjisLeadByte(c) ? 1 : (upper[i] = static_cast<char>(std::toupper(c)), 0);
    }
    fuzztext::Text folded(upper.data(), upper.size());
    FUZZ_CHECK(SamePath(a.s, folded.s));
    const std::size_t length = std::strlen(a.s);
    const std::string quoted = "\"" + upper + "\"";
    fuzztext::Text record(quoted.data(), quoted.size());
    FUZZ_CHECK(!length || (a.s[0] == '"' && a.s[length - 1] == '"') || SamePath(record.s, a.s));

    char out[260];
    if (FolderOfProgram(a.s, out, sizeof out)) {
        const std::size_t n = std::strlen(out);
        FUZZ_CHECK(n > 2 && n < length && std::memcmp(out, a.s, n) == 0 && a.s[n] == '\\');
    }
    if (BuildStartMenuFolder(a.s, b.s, out, sizeof out)) {
        const std::size_t n = std::strlen(out), game = std::strlen(b.s);
        FUZZ_CHECK(n > game && std::memcmp(out + n - game, b.s, game) == 0 && out[n - game - 1] == '\\');
        FUZZ_CHECK(std::strncmp(out, a.s, n - game - 1) == 0 && MemberNameOffset(out) == n - game);
    }
    return 0;
}
