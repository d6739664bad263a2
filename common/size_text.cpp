#include "common/size_text.h"

#include <cstdio>
#include <cstring>

namespace {
struct SizeRow {
    int64_t below;   // the first row whose bound the count is below decides
    int64_t unit;
    int decimals;    // 2, 1 or 0 digits after the point
    const char* format;
};

constexpr int64_t KB = int64_t{1} << 10;
constexpr int64_t MB = int64_t{1} << 20;
constexpr int64_t GB = int64_t{1} << 30;
constexpr int64_t TB = int64_t{1} << 40;

// Widths in the formats never pad: each row's range gives the whole part at least
// that many digits. They are kept so the texts match the platform formatter's output.
constexpr SizeRow kRows[] = {
    {10 * KB, KB, 2, "%1i.%02i KB"},  {100 * KB, KB, 1, "%2i.%01i KB"},  {MB, KB, 0, "%3i KB"},
    {10 * MB, MB, 2, "%1i.%02i MB"},  {100 * MB, MB, 1, "%2i.%01i MB"},  {GB, MB, 0, "%3i MB"},
    {10 * GB, GB, 2, "%1i.%02i GB"},  {100 * GB, GB, 1, "%2i.%01i GB"},  {TB, GB, 0, "%3i GB"},
    {10 * TB, TB, 2, "%1i.%02i TB"},  {100 * TB, TB, 1, "%2i.%01i TB"},
};
}

char* FormatSize(int64_t count, char* out, std::size_t capacity)
{
    char work[256];
    if (count < 1000) {
        // Only the low 32 bits are printed, as a signed number.
        std::snprintf(work, sizeof work, "%i bytes", static_cast<int>(static_cast<uint32_t>(count)));
    } else {
        const SizeRow* row = nullptr;
        for (const SizeRow& r : kRows) {
            if (count < r.below) {
                row = &r;
                break;
            }
        }
        if (!row) {
            std::snprintf(work, sizeof work, "%i TB", static_cast<int>(count / TB));
        } else {
            const int64_t whole = count / row->unit;
            const int64_t rest = count % row->unit;
            if (row->decimals == 2)
                std::snprintf(work, sizeof work, row->format, static_cast<int>(whole),
                              static_cast<int>(rest * 100 / row->unit));
            else if (row->decimals == 1)
                std::snprintf(work, sizeof work, row->format, static_cast<int>(whole),
                              static_cast<int>(rest * 10 / row->unit));
            else
                std::snprintf(work, sizeof work, row->format, static_cast<int>(whole));
        }
    }
    const std::size_t length = std::strlen(work);
    if (length >= capacity)
        return nullptr;
    std::memcpy(out, work, length + 1);
    return out;
}
