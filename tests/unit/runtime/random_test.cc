#include "runtime/random.h"

#include <gtest/gtest.h>

namespace {

// The number a transfer started at clock second `t` draws: the generator is
// seeded from the clock twice and then draws once with range 999.
std::int32_t transfer_number_at(std::int32_t t) {
  seed_random(t);
  seed_random(t);
  return draw_random(999);
}

// The same number computed independently: f applied nine times to
// t mod 1000003, where f(x) = ((x + 1) * 998) mod 1000003.
std::int32_t nine_steps(std::int64_t t) {
  std::uint32_t x = static_cast<std::uint32_t>(t % 1000003);
  for (int i = 0; i < 9; ++i) x = static_cast<std::uint32_t>((x + 1) * 998u) % 1000003u;
  return static_cast<std::int32_t>(x % 999);
}

TEST(Random, TransferNumberFromTheClock) {
  EXPECT_EQ(297, transfer_number_at(1800000000));
  EXPECT_EQ(618, transfer_number_at(1796630400));
  for (std::int32_t t : {1700000000, 1765432109, 2000000000}) {
    EXPECT_EQ(nine_steps(t), transfer_number_at(t)) << t;
  }
  // The same second always gives the same number.
  EXPECT_EQ(transfer_number_at(1765432109), transfer_number_at(1765432109));
}

TEST(Random, RangeZeroGivesZeroAndStillAdvances) {
  seed_random(1800000000);
  draw_random(999);
  std::int32_t before = draw_random(1000003);
  seed_random(1800000000);
  draw_random(999);
  EXPECT_EQ(0, draw_random(0));
  EXPECT_NE(before, draw_random(1000003));
}

}  // namespace
