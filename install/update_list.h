// The update package's list of files to replace, built from the UpdateFile00 to
// UpdateFile15 values of UPDATE.INI. Portable: the platform reads the values.
#pragma once

constexpr int kMaxUpdateFiles = 16;

struct UpdateList {
    char paths[kMaxUpdateFiles][260];            // relative to the install folder, prefix removed
    unsigned memberNameOffsets[kMaxUpdateFiles]; // where the archive member's name begins in the path
    int count;
};

enum class UpdateEntry {
    Accepted,
    OtherType,  // the "d," prefix names another install type
    Full,       // all 16 places are taken
};

// Takes one value into the list. "d,PATH" applies only when d is the digit of
// `selectedIndex`; a value without a comma in second place applies to every type.
// The member name begins after the last backslash that is not the second byte of a
// double-byte character (`isLead` decides lead bytes; nullptr: the Shift-JIS rule).
UpdateEntry AddUpdateEntry(UpdateList* list, const char* value, int selectedIndex,
                           bool (*isLead)(unsigned char) = nullptr);

// 1 when `path` stays inside the folder it is joined to: it is relative, names no
// drive or stream (no colon anywhere) and has no component of dots only beyond a
// single dot (".." and the forms Windows folds into it). Both separators count,
// since the platform accepts '/' as well; a 0x5C or 0x2F trail byte does not.
int IsContainedPath(const char* path, bool (*isLead)(unsigned char) = nullptr);
