// Replays fuzz corpus files through a target without libFuzzer, so the ordinary
// test run keeps every saved case passing. Arguments: files or folders.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int g_count = 0;

bool RunFile(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(data.data(), data.size());
    ++g_count;
    return true;
}

bool Run(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "missing %s\n", path.c_str());
        return false;
    }
    if (!S_ISDIR(st.st_mode))
        return RunFile(path);
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return false;
    bool ok = true;
    while (dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            ok = Run(path + "/" + name) && ok;
    }
    closedir(dir);
    return ok;
}
}

int main(int argc, char** argv)
{
    bool ok = true;
    for (int i = 1; i < argc; ++i)
        ok = Run(argv[i]) && ok;
    std::printf("replayed %d inputs\n", g_count);
    return ok && g_count > 0 ? 0 : 1;
}
