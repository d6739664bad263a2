// FA2 decode and encode speed, with zlib (level 9) on the same data for scale.
// Corpora: generated English-like prose, x86 machine code (the file named by
// FA2_BENCH_EXE, else this program's own executable) and a mixed low-redundancy
// set. Counters: fa2_ratio and zlib_ratio, compressed size over original size;
// fa2_exact_ratio, the same for the encoder's exact tuning, for scale of the default.
// decode/fa2 runs the decoder's fastest loop for this processor, decode/fa2-portable
// the portable one. Repetitions are interleaved at random by default.
#include "fa2/encode_tuning.h"
#include "fa2/fa2.h"
#include "tools/fa2-bench/corpus.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> ReadAll(const char* path)
{
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return data;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
    return data;
}

struct Corpus {
    std::string name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> fa2;
    std::vector<uint8_t> zlib;
    size_t fa2Exact;
};

std::vector<Corpus>& Corpora()
{
    static std::vector<Corpus> corpora = [] {
        std::vector<Corpus> c;
        c.push_back({"english", corpus::EnglishText(400000), {}, {}, 0});
        const char* exe = std::getenv("FA2_BENCH_EXE");
        c.push_back({"x86", ReadAll(exe && *exe ? exe : "/proc/self/exe"), {}, {}, 0});
        c.push_back({"mixed", corpus::MixedData(400000), {}, {}, 0});
        for (Corpus& k : c) {
            k.fa2.resize(Fa2CompressBound(k.data.size()));
            k.fa2Exact = Fa2CompressTuned(k.fa2.data(), k.fa2.size(), k.data.data(), k.data.size(), kFa2ExactTuning,
                                          nullptr);
            k.fa2.resize(Fa2Compress(k.fa2.data(), k.fa2.size(), k.data.data(), k.data.size()));
            uLongf zlibSize = compressBound(k.data.size());
            k.zlib.resize(zlibSize);
            if (compress2(k.zlib.data(), &zlibSize, k.data.data(), k.data.size(), 9) != Z_OK)
                zlibSize = 0;
            k.zlib.resize(zlibSize);
        }
        return c;
    }();
    return corpora;
}

void Ratios(benchmark::State& state, const Corpus& c)
{
    state.counters["fa2_ratio"] = double(c.fa2.size()) / double(c.data.size());
    state.counters["fa2_exact_ratio"] = double(c.fa2Exact) / double(c.data.size());
    state.counters["zlib_ratio"] = double(c.zlib.size()) / double(c.data.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.data.size()));
}

void DecodeFa2(benchmark::State& state, size_t index, Fa2DecodeLoop loop)
{
    const Corpus& c = Corpora()[index];
    std::vector<uint8_t> out(c.data.size());
    Fa2SetDecodeLoop(loop);
    for (auto _ : state) {
        size_t written = 0;
        if (Fa2Decompress(out.data(), out.size(), c.fa2.data(), c.fa2.size(), &written, nullptr) != kFa2DecodeOk ||
            written != c.data.size()) {
            state.SkipWithError("FA2 round trip failed");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    Fa2SetDecodeLoop(Fa2DecodeLoop::kFastest);
    if (out != c.data)
        state.SkipWithError("FA2 output differs");
    Ratios(state, c);
}

void DecodeZlib(benchmark::State& state, size_t index)
{
    const Corpus& c = Corpora()[index];
    std::vector<uint8_t> out(c.data.size());
    for (auto _ : state) {
        uLongf size = out.size();
        if (uncompress(out.data(), &size, c.zlib.data(), c.zlib.size()) != Z_OK || size != c.data.size()) {
            state.SkipWithError("zlib round trip failed");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    Ratios(state, c);
}

void EncodeFa2(benchmark::State& state, size_t index)
{
    const Corpus& c = Corpora()[index];
    std::vector<uint8_t> out(Fa2CompressBound(c.data.size()));
    for (auto _ : state) {
        const size_t n = Fa2Compress(out.data(), out.size(), c.data.data(), c.data.size());
        benchmark::DoNotOptimize(n);
    }
    Ratios(state, c);
}

void EncodeZlib(benchmark::State& state, size_t index)
{
    const Corpus& c = Corpora()[index];
    std::vector<uint8_t> out(compressBound(c.data.size()));
    for (auto _ : state) {
        uLongf size = out.size();
        compress2(out.data(), &size, c.data.data(), c.data.size(), 9);
        benchmark::DoNotOptimize(size);
    }
    Ratios(state, c);
}

}  // namespace

int main(int argc, char** argv)
{
    // Repetitions of all benchmarks run in a random order, unless the command line
    // says otherwise, so that a slow spell of a shared machine falls on FA2 and
    // zlib alike instead of on the one whose turn it is.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(argv, argv + argc, [](const char* a) { return std::strstr(a, "random_interleaving"); }))
        args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    const char* names[] = {"english", "x86", "mixed"};
    for (size_t i = 0; i < 3; ++i) {
        benchmark::RegisterBenchmark((std::string("decode/fa2/") + names[i]).c_str(), DecodeFa2, i,
                                     Fa2DecodeLoop::kFastest);
        benchmark::RegisterBenchmark((std::string("decode/fa2-portable/") + names[i]).c_str(), DecodeFa2, i,
                                     Fa2DecodeLoop::kPortable);
        benchmark::RegisterBenchmark((std::string("decode/zlib/") + names[i]).c_str(), DecodeZlib, i);
        benchmark::RegisterBenchmark((std::string("encode/fa2/") + names[i]).c_str(), EncodeFa2, i);
        benchmark::RegisterBenchmark((std::string("encode/zlib/") + names[i]).c_str(), EncodeZlib, i);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
