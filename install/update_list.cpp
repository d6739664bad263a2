#include "install/update_list.h"
#include "common/path.h"
#include "common/sjis.h"

#include <cstring>

UpdateEntry AddUpdateEntry(UpdateList* list, const char* value, int selectedIndex, bool (*isLead)(unsigned char))
{
    const char* path = value;
    if (value[0] != '\0' && value[1] == ',') {
        if (static_cast<unsigned char>(value[0]) != 0x30 + selectedIndex)
            return UpdateEntry::OtherType;
        path = value + 2;
    }
    if (list->count >= kMaxUpdateFiles)
        return UpdateEntry::Full;
    // Values are read with a 260-byte capacity, so the rest always fits; cut
    // defensively rather than overrun if a caller passes a longer text.
    char* slot = list->paths[list->count];
    std::strncpy(slot, path, sizeof list->paths[0] - 1);
    slot[sizeof list->paths[0] - 1] = '\0';
    list->memberNameOffsets[list->count] = MemberNameOffset(slot, isLead);
    ++list->count;
    return UpdateEntry::Accepted;
}

int IsContainedPath(const char* path, bool (*isLead)(unsigned char))
{
    if (!isLead)
        isLead = IsLeadByte;
    // Any colon byte: no Shift-JIS second byte is one, so a lead byte before it does
    // not keep the platform from reading a drive or stream.
    if (path[0] == '\\' || path[0] == '/' || std::strchr(path, ':'))
        return 0;
    unsigned dots = 0;
    bool onlyDotsAndBlanks = true;
    for (unsigned i = 0;; ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '\0' || c == '\\' || c == '/') {
            // Windows drops trailing dots and blanks of a component, so ". ." and
            // "..." resolve like "..": refuse every all-dots name beyond ".".
            if (onlyDotsAndBlanks && dots >= 2)
                return 0;
            if (c == '\0')
                return 1;
            dots = 0;
            onlyDotsAndBlanks = true;
            continue;
        }
        if (c == '.') {
            ++dots;
            continue;
        }
        if (c != ' ')
            onlyDotsAndBlanks = false;
        if (isLead(c) && path[i + 1] != '\0')
            ++i;
    }
}
