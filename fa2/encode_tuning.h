// Knobs of the FA2 encoder that only tests and benchmarks turn; the archive
// writer and the tool use the defaults through Fa2Compress.
#pragma once
#include <cstddef>
#include <cstdint>

struct Fa2EncodeTuning {
    // A match at least this long is taken as soon as it is found: the parse then
    // tries no token that starts inside it. Above 282 (the longest match) it never
    // triggers and the parse is exact in bits. A commit saves little time, since
    // the parse tries only a few lengths of a long match, and it costs more than
    // it seems: the parse reaches the insides of a match only at a few lengths.
    uint32_t commitLength;
    // Positions per parse segment (at most 2^28 take effect). Tokens do not cross
    // a segment's end, which bounds the parse's memory at 8 bytes per position
    // of one segment.
    uint32_t segmentLength;
    // Tree nodes visited per position before the search gives up (and drops the
    // older nodes below). Unlimited, the search finds the nearest occurrence of
    // every length; a cap trades a little compression for speed on text whose
    // positions share long prefixes.
    uint32_t searchDepth;
};

// The longest segment in which the parse, among paths of the fewest bits, takes
// one with the fewest pairs and long matches (which expands fastest).
constexpr uint32_t kFa2LongestTieBreakSegment = (1u << 19) - 1;

// Exact in bits within segments of half a million positions (4 MiB of parse
// state), taking the fewest tokens among the cheapest paths: the whole parse is
// fast enough that no token need be left untried.
constexpr Fa2EncodeTuning kFa2DefaultTuning = {UINT32_MAX, kFa2LongestTieBreakSegment, UINT32_MAX};
// Exact in bits over the whole input as one segment.
constexpr Fa2EncodeTuning kFa2ExactTuning = {UINT32_MAX, UINT32_MAX, UINT32_MAX};

// What the parse decided, for tests that compare it with a reference optimum.
struct Fa2EncodeStats {
    uint64_t flagBits;   // control bits, including the end marker's six
    uint64_t byteFields; // literal, distance and length bytes, including the marker's byte
    uint64_t matches;    // pairs and long matches
};

// Fa2Compress with explicit tuning; `stats` may be null.
size_t Fa2CompressTuned(uint8_t* out, size_t outCapacity, const uint8_t* in, size_t inLength,
                        const Fa2EncodeTuning& tuning, Fa2EncodeStats* stats);
