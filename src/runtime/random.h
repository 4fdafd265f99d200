#pragma once

#include <cstdint>

// The pseudo-random generator behind the transfer number. Seeded from the
// clock in whole seconds, so two runs in the same second draw the same number.

void seed_random(std::int32_t seed);
// seed := the current time in seconds since the Unix epoch.
void seed_random_from_clock();
// A number from 0 to range - 1; 0 when the range is 0.
std::int32_t draw_random(std::int32_t range);
