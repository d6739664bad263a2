// Shift-JIS character stepping that does not depend on the platform.
#pragma once

// True for a Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC): the byte after it is
// the second half of the same character and may be 0x5C or any other value.
inline bool IsSjisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Index of the first byte after the last path separator (a backslash that is not
// the second byte of a double-byte character), or 0 when there is none.
// `isLead` decides lead bytes; pass nullptr for the Shift-JIS rule.
unsigned MemberNameOffset(const char* path, bool (*isLead)(unsigned char) = nullptr);
