// Archive images for tests, laid out by the archive writer.
#pragma once
#include "fa2/fa2.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace fa2test {

// The image of `members`; a failure to pack fails the calling test.
inline std::vector<uint8_t> PackArchive(const std::vector<Fa2PackMember>& members, int compressDirectory)
{
    uint8_t* image = nullptr;
    size_t size = 0;
    EXPECT_EQ(Fa2BuildArchive(members.data(), static_cast<uint32_t>(members.size()), compressDirectory, &image, &size,
                              nullptr),
              kFa2PackOk);
    std::vector<uint8_t> v(image, image + size);
    std::free(image);
    return v;
}

}  // namespace fa2test
