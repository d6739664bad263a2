// Update path fuzz target: the first byte chooses the install type and how full
// the list already is, the rest up to a NUL is an UpdateFile value. A path the
// guard lets through must never climb above its folder when resolved the way the
// platform does (both separators, trailing dots and blanks of a name dropped).
#include "common/sjis.h"
#include "install/update_list.h"
#include "tests/fuzz/fuzz_text.h"

namespace {
bool ClimbsOut(const char* path)
{
    if (path[0] == '\\' || path[0] == '/' || std::strchr(path, ':'))
        return true;
    int depth = 0;
    std::size_t dots = 0;
    bool other = false;
    for (std::size_t i = 0;; ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '\0' || c == '\\' || c == '/') {
            // A name of dots and blanks only with two dots or more is taken for "..".
            depth += other ? 1 : dots >= 2 ? -1 : 0;
            if (depth < 0 || c == '\0')
                return depth < 0;
            dots = 0, other = false;
        } else if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            other = true;
            i += IsSjisLeadByte(c) && path[i + 1] != '\0';
        }
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    UpdateList list{};
    const int selected = data[0] % 10, before = list.count = data[0] / 10 % (kMaxUpdateFiles + 1);
    ++data, --size;
    fuzztext::Text value = fuzztext::NextPiece(&data, &size);
    const bool accepted = AddUpdateEntry(&list, value.s, selected) == UpdateEntry::Accepted;
    FUZZ_CHECK(list.count == before + accepted);
    if (accepted) {
        const char* slot = list.paths[before];
        const unsigned offset = list.memberNameOffsets[before];
        FUZZ_CHECK(std::strlen(slot) < sizeof list.paths[0] && offset <= std::strlen(slot));
        FUZZ_CHECK((offset == 0 || slot[offset - 1] == '\\') && (!IsContainedPath(slot) || !ClimbsOut(slot)));
    }
    FUZZ_CHECK(!IsContainedPath(value.s) || !ClimbsOut(value.s));
    return 0;
}
