// FA2 archives over the Windows platform: open, the embedded package, extraction.
#include "fa2/fa2_win.h"

#include "common/winhelp.h"

#include <cstring>

const uint8_t* archiveImage = nullptr;
uint32_t archiveImageSize = 0;
Fa2Archive* openArchive = nullptr;

namespace {
Fa2MessageFunction g_showMessage = ShowErrorBox;

// Closes the file on every way out of Fa2Open.
struct FileHolder {
    HANDLE handle;
    ~FileHolder()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

int ReadExactly(HANDLE file, void* buffer, DWORD count)
{
    DWORD read = 0;
    return ReadFile(file, buffer, count, &read, nullptr) && read == count;
}

Fa2Archive* OpenFile(const char* path)
{
    FileHolder file{CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE)
        return nullptr;
    Fa2Header header;
    if (!ReadExactly(file.handle, &header, sizeof header) || header.magic != kFa2Magic)
        return nullptr;
    // The size bounds what the directory can be before anything is allocated for it.
    const DWORD fileSize = GetFileSize(file.handle, nullptr);
    if (fileSize == INVALID_FILE_SIZE || !Fa2CheckHeader(&header, fileSize))
        return nullptr;
    if (SetFilePointer(file.handle, static_cast<LONG>(header.directoryOffset), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return nullptr;

    const size_t blockBytes = Fa2ArchiveBytes(&header);
    Fa2Archive* archive = static_cast<Fa2Archive*>(GlobalAlloc(GMEM_FIXED, blockBytes));
    if (!archive)
        return nullptr;
    uint8_t* const entries = reinterpret_cast<uint8_t*>(Fa2Entries(archive));
    const DWORD directoryBytes = static_cast<DWORD>(blockBytes - sizeof header);
    int ok;
    if (header.flags & kFa2DirectoryCompressed) {
        const DWORD streamBytes = fileSize - header.directoryOffset;
        void* stream = GlobalAlloc(GMEM_FIXED, streamBytes ? streamBytes : 1);
        size_t written = 0;
        ok = stream && ReadExactly(file.handle, stream, streamBytes) &&
             Fa2Decompress(entries, directoryBytes, static_cast<const uint8_t*>(stream), streamBytes, &written,
                           nullptr) == kFa2DecodeOk &&
             written == directoryBytes;
        if (stream)
            GlobalFree(stream);
    } else {
        ok = directoryBytes == 0 || ReadExactly(file.handle, entries, directoryBytes);
    }
    if (!ok) {
        GlobalFree(archive);
        return nullptr;
    }
    archive->header = header;
    return archive;
}

Fa2Archive* OpenImage(const uint8_t* image, uint32_t size)
{
    Fa2Header header;
    if (!Fa2ReadImageHeader(image, size, &header))
        return nullptr;
    Fa2Archive* archive = static_cast<Fa2Archive*>(GlobalAlloc(GMEM_FIXED, Fa2ArchiveBytes(&header)));
    if (!archive)
        return nullptr;
    // The image is only read, so a compressed directory expands from it in place.
    if (!Fa2ReadImageDirectory(image, size, &header, archive)) {
        GlobalFree(archive);
        return nullptr;
    }
    return archive;
}

// Index of the first entry named `memberName` (user-locale case rules), or -1.
int32_t FindMember(const char* memberName)
{
    const Fa2Entry* entries = Fa2Entries(openArchive);
    for (uint32_t i = 0; i < openArchive->header.entryCount && i <= INT32_MAX; ++i) {
        // A damaged field may lack its terminator; lstrcmpiA needs one.
        char name[kFa2NameField + 1];
        std::memcpy(name, entries[i].name, kFa2NameField);
        name[kFa2NameField] = 0;
        if (lstrcmpiA(name, memberName) == 0)
            return static_cast<int32_t>(i);
    }
    return -1;
}
}

Fa2Archive* Fa2Open(const void* source, uint32_t size)
{
    if (size == 0)
        return OpenFile(static_cast<const char*>(source));
    return OpenImage(static_cast<const uint8_t*>(source), size);
}

const void* LoadResourceBlock(HMODULE module, int id, const char* type, uint32_t* outSize)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!resource)
        return nullptr;
    const DWORD size = SizeofResource(module, resource);
    if (size == 0)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return nullptr;
    *outSize = size;
    return LockResource(loaded);
}

void SetCurrentArchive(const void* image, uint32_t imageSize, Fa2Archive* archive)
{
    archiveImage = static_cast<const uint8_t*>(image);
    archiveImageSize = imageSize;
    openArchive = archive;
}

void SetFa2MessageFunction(Fa2MessageFunction function) { g_showMessage = function ? function : ShowErrorBox; }

int Fa2ExtractMember(const char* memberName, const char* destinationPath)
{
    const int32_t index = openArchive ? FindMember(memberName) : -1;
    if (index < 0) {
        g_showMessage("Can't Find File in Resource !!");
        return 0;
    }
    const Fa2Entry& entry = Fa2Entries(openArchive)[index];

    // Only this member's size counts, against the space the calling user may use.
    // A target whose drive can't be asked (no drive letter, a failing query) is
    // not checked here: the write itself then fails on a full disk.
    char drive[3] = {};
    std::memcpy(drive, destinationPath, destinationPath[0] ? 2 : 0);
    uint64_t available = 0, total = 0, totalFree = 0;
    int32_t shortfall = 0;
    if (GetDiskSpace(drive, &available, &total, &totalFree) &&
        !Fa2SpaceSuffices(entry.originalSize, available, &shortfall)) {
        char message[1024];
        FormatText(message, sizeof message, "ディスク容量が足りません。%s ドライブに %i バイトの空き容量が必要です",
                   drive, shortfall);
        g_showMessage(message);
        return 0;
    }

    uint32_t offset;
    if (!Fa2LocateMember(openArchive, static_cast<uint32_t>(index), archiveImageSize, &offset))
        return 0;
    const uint8_t* data = archiveImage + offset;
    void* expanded = nullptr;
    if (entry.attributes & kFa2MemberCompressed) {
        expanded = GlobalAlloc(GMEM_FIXED, entry.originalSize ? entry.originalSize : 1);
        if (!expanded) {
            g_showMessage("Can't Allocate Memory !!");
            return 0;
        }
        size_t written = 0;
        if (Fa2Decompress(static_cast<uint8_t*>(expanded), entry.originalSize, data, entry.storedSize, &written,
                          nullptr) != kFa2DecodeOk ||
            written != entry.originalSize) {
            GlobalFree(expanded);
            return 0;
        }
        data = static_cast<const uint8_t*>(expanded);
    }

    int result = 0;
    const DWORD attributes = GetFileAttributesA(destinationPath);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesA(destinationPath, FILE_ATTRIBUTE_NORMAL);
        FILETIME fileTime;
        fileTime.dwLowDateTime = static_cast<DWORD>(entry.fileTime);
        fileTime.dwHighDateTime = static_cast<DWORD>(entry.fileTime >> 32);
        result = WriteWholeFile(destinationPath, data, entry.originalSize, &fileTime);
    }
    if (expanded)
        GlobalFree(expanded);
    return result;
}
