// The pseudo-random generator whose only consumer is the banner choice.
#pragma once
#include <cstdint>

void SeedRandom(uint32_t seed);
// Next number, 0 to 32767: state = state * 214013 + 2531011, bits 16 to 30.
int NextRandom();
