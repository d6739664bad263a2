#include "install/paths.h"
#include "common/path.h"

#include <cstring>

DestinationFault CheckDestinationRoot(const char* root, uint32_t presentDrives)
{
    if (root[0] == '\0' || root[1] != ':' || root[2] != '\\')
        return DestinationFault::InvalidPath;
    // Clearing bit 5 folds a-z onto A-Z; any other byte lands outside A-Z or on a
    // letter only when it already was one of the two cases.
    const unsigned char letter = static_cast<unsigned char>(root[0]) & ~0x20u;
    if (letter < 'A' || letter > 'Z')
        return DestinationFault::InvalidDrive;
    if (!(presentDrives & (uint32_t{1} << (letter - 'A'))))
        return DestinationFault::InvalidDrive;
    return DestinationFault::None;
}

DestinationFault CheckFreeSpace(int queryOk, uint64_t freeToCaller, uint64_t needed)
{
    if (!queryOk || freeToCaller < needed)
        return DestinationFault::NoSpace;
    return DestinationFault::None;
}

int PlanCopyEntry(const char* sourceRoot, const char* installFolder, const char* name, int sourceIsFile,
                  CopyPlan* plan)
{
    plan->source[0] = plan->source[1] = '\0';
    plan->target[0] = plan->target[1] = '\0';
    if (!CopyText(plan->source, sizeof plan->source, sourceRoot)
        || !AppendPath(plan->source, sizeof plan->source, name))
        return 0;
    // The second NUL must be there for the shell's list form even when no join ran.
    if (!CopyText(plan->target, sizeof plan->target - 1, installFolder))
        return 0;
    plan->target[std::strlen(plan->target) + 1] = '\0';
    plan->folderFlag = 1;
    if (sourceIsFile) {
        if (!AppendPath(plan->target, sizeof plan->target, name))
            return 0;
        plan->folderFlag = 0;
    }
    return 1;
}

int BuildDataPath(char* out, unsigned capacity, const char* installFolder, const char* profileFolder)
{
    const char* base = profileFolder[0] != '\0' ? profileFolder : installFolder;
    if (!CopyText(out, capacity, base) || !AppendPath(out, capacity, "")) {
        if (capacity)
            out[0] = '\0';
        return 0;
    }
    return 1;
}
