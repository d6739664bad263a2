#include "common/size_text.h"

#include <cstring>

namespace {
struct SizeRow {
    int64_t below;  // the first row whose bound the count is below decides
    int64_t unit;
    int decimals;   // 2, 1 or 0 digits after the point
    const char* unitName;
};

constexpr int64_t KB = int64_t{1} << 10;
constexpr int64_t MB = int64_t{1} << 20;
constexpr int64_t GB = int64_t{1} << 30;
constexpr int64_t TB = int64_t{1} << 40;

constexpr SizeRow kRows[] = {
    {10 * KB, KB, 2, " KB"},  {100 * KB, KB, 1, " KB"},  {MB, KB, 0, " KB"},
    {10 * MB, MB, 2, " MB"},  {100 * MB, MB, 1, " MB"},  {GB, MB, 0, " MB"},
    {10 * GB, GB, 2, " GB"},  {100 * GB, GB, 1, " GB"},  {TB, GB, 0, " GB"},
    {10 * TB, TB, 2, " TB"},  {100 * TB, TB, 1, " TB"},
};
constexpr SizeRow kBeyondRows = {0, TB, 0, " TB"};

// Writes `value` in decimal, zero-padded to at least `digits` digits; returns the end.
char* PutDecimal(char* p, int64_t value, int digits)
{
    if (value < 0) {
        *p++ = '-';
        value = -value;
    }
    char reversed[20];
    int n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < digits);
    while (n > 0)
        *p++ = reversed[--n];
    return p;
}
}

char* FormatSize(int64_t count, char* out, std::size_t capacity)
{
    char work[64];
    char* end;
    const char* unitName;
    if (count < 1000) {
        // Only the low 32 bits are printed, as a signed number.
        end = PutDecimal(work, static_cast<int32_t>(static_cast<uint32_t>(count)), 1);
        unitName = " bytes";
    } else {
        const SizeRow* row = &kBeyondRows;
        for (const SizeRow& r : kRows) {
            if (count < r.below) {
                row = &r;
                break;
            }
        }
        end = PutDecimal(work, count / row->unit, 1);
        if (row->decimals > 0) {
            const int64_t scale = row->decimals == 2 ? 100 : 10;
            *end++ = '.';
            end = PutDecimal(end, count % row->unit * scale / row->unit, row->decimals);
        }
        unitName = row->unitName;
    }
    const std::size_t digits = static_cast<std::size_t>(end - work);
    const std::size_t length = digits + std::strlen(unitName);
    if (length >= capacity)
        return nullptr;
    std::memcpy(out, work, digits);
    std::memcpy(out + digits, unitName, length - digits + 1);
    return out;
}
