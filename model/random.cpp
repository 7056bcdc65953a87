#include "model/random.h"

#include <cstdint>

namespace {
// The classic linear congruential generator with RAND_MAX 32767.
std::uint32_t g_state = 1;
} // namespace

void SeedRandom(unsigned int seed) {
    g_state = seed;
}

int Random15() {
    g_state = g_state * 214013u + 2531011u;
    return static_cast<int>((g_state >> 16) & 0x7fff);
}

int RandomBetween(int lo, int hi) {
    if (lo > hi)
        return 0;
    // In double throughout, so wide ranges cannot overflow.
    return static_cast<int>(lo + Random15() / 32767.0 * (static_cast<double>(hi) - lo));
}
