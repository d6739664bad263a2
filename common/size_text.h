// The short size text shown beside each install choice ("1.50 KB", "650 MB").
#pragma once
#include <cstddef>
#include <cstdint>

// Writes the size text of `count` into `out`. Returns `out`, or nullptr when the
// text with its terminator does not fit in `capacity` (then `out` is untouched).
char* FormatSize(int64_t count, char* out, std::size_t capacity);
