// Replays fuzz corpus files through a target without libFuzzer, so the ordinary
// test run keeps every saved case passing. Arguments: folders.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(argv[i], error)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream file(entry.path(), std::ios::binary);
            const std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
            LLVMFuzzerTestOneInput(data.data(), data.size()), ++count;
        }
        if (error)
            return std::fprintf(stderr, "cannot read %s\n", argv[i]), 1;
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
