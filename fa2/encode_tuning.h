// Knobs of the FA2 encoder that only tests and benchmarks turn; the archive
// writer and the tool use the defaults through Fa2Compress.
#pragma once
#include <cstddef>
#include <cstdint>

struct Fa2EncodeTuning {
    // A match at least this long is taken as soon as it is found: the parse then
    // tries no token that starts inside it. At 282 (the longest match) this only
    // matters in long repeats, where it keeps the parse linear; above 282 it never
    // triggers and the parse is exact in bits.
    uint32_t commitLength;
    // Positions per parse segment. Tokens do not cross a segment's end, which
    // bounds the parse's memory at about 10 bytes per position of one segment.
    uint32_t segmentLength;
    // Tree nodes visited per position before the search gives up (and drops the
    // older nodes below). Unlimited, the search finds the nearest occurrence of
    // every length; a cap trades a little compression for speed on text whose
    // positions share long prefixes.
    uint32_t searchDepth;
};

constexpr Fa2EncodeTuning kFa2DefaultTuning = {282, 1u << 20, UINT32_MAX};
// Exact in bits: every token of every position is tried.
constexpr Fa2EncodeTuning kFa2ExactTuning = {UINT32_MAX, UINT32_MAX, UINT32_MAX};

// What the parse decided, for tests that compare it with a reference optimum.
struct Fa2EncodeStats {
    uint64_t flagBits;   // control bits, including the end marker's six
    uint64_t byteFields; // literal, distance and length bytes, including the marker's byte
};

// Fa2Compress with explicit tuning; `stats` may be null.
size_t Fa2CompressTuned(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength,
                        const Fa2EncodeTuning& tuning, Fa2EncodeStats* stats);
