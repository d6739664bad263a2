// Text conversion and the disc's files as setup sees them.
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "app/measure.h"
#include "tools/mkdisc/mkdisc.h"

bool ConvertText(const char* from, const char* to, const std::string& in, std::string* out)
{
    out->clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    bool whole = true;
    char* source = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char block[4096];
    while (left > 0) {
        char* target = block;
        std::size_t room = sizeof block;
        const std::size_t done = iconv(cd, &source, &left, &target, &room);
        out->append(block, static_cast<std::size_t>(target - block));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character without counterpart, or a malformed or cut sequence:
            // mark it and step over one byte (then to the next start of a character).
            whole = false;
            *out += '?';
            ++source;
            --left;
            while (left > 0 && std::strcmp(from, "UTF-8") == 0 && (static_cast<unsigned char>(*source) & 0xC0) == 0x80) {
                ++source;
                --left;
            }
        }
    }
    iconv_close(cd);
    return whole;
}

namespace {
bool SameLetters(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        const char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}
}

std::string FindOnDisc(const std::string& root, const std::string& sjisPath)
{
    std::string path;
    if (!ConvertText("CP932", "UTF-8", sjisPath, &path))
        return "";
    std::string found = root;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        struct stat info;
        if (stat((found + "/" + part).c_str(), &info) == 0) {
            found += "/" + part;
            continue;
        }
        DIR* dir = opendir(found.c_str());
        std::string match;
        while (dir && match.empty()) {
            const dirent* entry = readdir(dir);
            if (!entry)
                break;
            if (SameLetters(entry->d_name, part.c_str()))
                match = entry->d_name;
        }
        if (dir)
            closedir(dir);
        if (match.empty())
            return "";
        found += "/" + match;
    }
    return found;
}

uint64_t MeasurePath(const std::string& path, int* files)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return 0;
    if (!S_ISDIR(info.st_mode)) {
        if (files)
            ++*files;
        return static_cast<uint64_t>(info.st_size);
    }
    uint64_t total = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return 0;
    while (const dirent* entry = readdir(dir)) {
        if (IsCountedName(entry->d_name))
            total += MeasurePath(path + "/" + entry->d_name, files);
    }
    closedir(dir);
    return total;
}
