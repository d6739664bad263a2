// Decoder fuzz target: the first two bytes choose the output capacity, the rest
// is the stream. Buffers are exactly sized so that any stray access is caught by
// the sanitizers; the results of both fast loops must agree with the
// byte-at-a-time reference rule.
#include "fa2/fa2.h"
#include "tests/fa2/reference_decode.h"
#include "tests/fuzz/fuzz_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t capacity = data[0] | data[1] << 8;
    const std::vector<uint8_t> stream(data + 2, data + size);
    auto* in = static_cast<uint8_t*>(std::malloc(size - 2 + !stream.size()));
    auto* out = static_cast<uint8_t*>(std::malloc(capacity + !capacity));
    std::memcpy(in, data + 2, stream.size());
    size_t written = 0, consumed = 0, expectedConsumed = 0;
    std::vector<uint8_t> expected;
    const bool ok = fa2test::ReferenceDecode(stream, capacity, &expected, &expectedConsumed);
    for (const Fa2DecodeLoop loop : {Fa2DecodeLoop::kPortable, Fa2DecodeLoop::kFastest}) {
        Fa2SetDecodeLoop(loop);
        const Fa2DecodeResult r = Fa2Decompress(out, capacity, in, stream.size(), &written, &consumed);
        FUZZ_CHECK((r == kFa2DecodeOk) == ok && written <= capacity && consumed <= stream.size());
        FUZZ_CHECK(!ok || (written == expected.size() && consumed == expectedConsumed &&
                           (!written || std::memcmp(out, expected.data(), written) == 0)));
    }
    std::free(in), std::free(out);
    return 0;
}
