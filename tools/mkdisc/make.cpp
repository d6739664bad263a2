// Laying a checked disc out in a folder, and its image.
#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "app/measure.h"
#include "tools/mkdisc/mkdisc.h"

extern char** environ;

namespace {
bool IsName(const char* name, const char* wanted)
{
    for (; *name && *wanted; ++name, ++wanted) {
        if ((*name & ~0x20) != (*wanted & ~0x20))
            return false;
    }
    return *name == *wanted;
}

// Copies with the read-only mark that every file of a pressed disc carries.
bool CopyFile(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = in ? std::fopen(to.c_str(), "wb") : nullptr;
    bool ok = out != nullptr;
    char block[65536];
    std::size_t n;
    while (ok && (n = std::fread(block, 1, sizeof block, in)) > 0)
        ok = std::fwrite(block, 1, n, out) == n;
    ok = ok && !std::ferror(in);
    if (out)
        ok = std::fclose(out) == 0 && ok;
    if (in)
        std::fclose(in);
    if (!ok)
        std::fprintf(stderr, "mkdisc: cannot copy %s to %s\n", from.c_str(), to.c_str());
    return ok && chmod(to.c_str(), 0444) == 0;
}

// The source's tree without names beginning with a dot (setup counts none of
// them) and, at the root, without the SETUP.INI and setup.exe written apart.
bool CopyTree(const std::string& from, const std::string& to, bool root)
{
    DIR* dir = opendir(from.c_str());
    if (!dir || (mkdir(to.c_str(), 0755) != 0 && errno != EEXIST)) {
        std::fprintf(stderr, "mkdisc: cannot copy %s to %s\n", from.c_str(), to.c_str());
        if (dir)
            closedir(dir);
        return false;
    }
    bool ok = true;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (!IsCountedName(name) || (root && (IsName(name, "SETUP.INI") || IsName(name, "SETUP.EXE"))))
            continue;
        struct stat info;
        const std::string source = from + "/" + name;
        if (stat(source.c_str(), &info) != 0)
            ok = false;
        else if (S_ISDIR(info.st_mode))
            ok = CopyTree(source, to + "/" + name, false) && ok;
        else
            ok = CopyFile(source, to + "/" + name) && ok;
    }
    closedir(dir);
    return ok;
}

bool IsEmptyOrAbsent(const std::string& path)
{
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return errno == ENOENT;
    int entries = 0;
    while (readdir(dir))
        ++entries;
    closedir(dir);
    return entries <= 2;
}

bool Run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "mkdisc: cannot start %s\n", argv[0]);
        return false;
    }
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}

int MakeDisc(const std::vector<std::string>& discs, const std::string& out, const std::string& setupExe,
             const std::string& image)
{
    const CheckedDisc checked = CheckDiscs(discs, stdout);
    if (checked.faults) {
        std::fprintf(stderr, "mkdisc: no disc made: the check found faults\n");
        return 1;
    }
    struct stat info;
    if (stat(setupExe.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fprintf(stderr, "mkdisc: no setup program at %s (give --setup PATH)\n", setupExe.c_str());
        return 1;
    }
    if (!IsEmptyOrAbsent(out)) {
        std::fprintf(stderr, "mkdisc: %s is not empty; the disc is laid out in a new folder\n", out.c_str());
        return 1;
    }
    if (!CopyTree(discs[0], out, true) || !CopyFile(setupExe, out + "/SETUP.EXE"))
        return 1;
    const std::string script = out + "/SETUP.INI";
    std::FILE* file = std::fopen(script.c_str(), "wb");
    if (!file || std::fwrite(checked.script.data(), 1, checked.script.size(), file) != checked.script.size() ||
        std::fclose(file) != 0 || chmod(script.c_str(), 0444) != 0) {
        std::fprintf(stderr, "mkdisc: cannot write %s\n", script.c_str());
        return 1;
    }
    std::printf("laid out in %s\n", out.c_str());
    if (image.empty())
        return 0;
    // ISO 9660 for any reader, Joliet for the Japanese long names Windows shows.
    std::remove(image.c_str());
    if (!Run({"xorriso", "-report_about", "SORRY", "-local_charset", "UTF-8", "-outdev", image, "-joliet", "on",
              "-volid", checked.title, "-map", out, "/", "-commit"})) {
        std::fprintf(stderr, "mkdisc: xorriso could not write %s\n", image.c_str());
        return 1;
    }
    std::printf("image %s, volume %s\n", image.c_str(), checked.title.c_str());
    return 0;
}
