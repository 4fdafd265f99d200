#include "runtime/random.h"

#include <ctime>

namespace {

constexpr std::int32_t kModulus = 1000003;

std::int32_t g_seed = 0;
std::int32_t g_last_seed = 0;
bool g_reseed = true;

// Re-seeding reduces the seed and stirs it with four discarded draws. The
// first of them sees a seed that differs from the last one and so re-seeds
// once more from the reduced value before the others go on.
void reseed(std::int32_t seed) {
  g_seed = seed % kModulus;
  for (int i = 0; i < 4; ++i) draw_random(65000);
}

}  // namespace

void seed_random(std::int32_t seed) { g_seed = seed; }

void seed_random_from_clock() { seed_random(static_cast<std::int32_t>(std::time(nullptr))); }

std::int32_t draw_random(std::int32_t range) {
  if (g_reseed || g_seed != g_last_seed) {
    g_reseed = false;
    g_last_seed = g_seed;
    reseed(g_seed);
  }
  std::uint32_t product = static_cast<std::uint32_t>(g_seed + 1) * 998u;
  g_seed = static_cast<std::int32_t>(product % kModulus);
  g_last_seed = g_seed;
  return range == 0 ? 0 : g_seed % range;
}
