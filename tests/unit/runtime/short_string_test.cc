#include "runtime/short_string.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShortString, AssignmentAndAppendingCutAtTheMaximum) {
  ShortString<64> path(std::string(70, 'a'));
  EXPECT_EQ(64u, path.size());
  ShortString<1> letter("Zmodem");
  EXPECT_EQ("Z", letter.view());
  Str long_text(std::string(250, 'x'));
  long_text += "0123456789";
  EXPECT_EQ(255u, long_text.size());
  EXPECT_EQ("x01234", long_text.view().substr(249));
  EXPECT_EQ(255u, std::string_view(long_text.c_str()).size());
}

TEST(ShortString, PositionsAreOneBasedAndEmptyIsNeverFound) {
  Str text("Receiving: a.txt");
  EXPECT_EQ(1u, text.position("Receiving:"));
  EXPECT_EQ(11u, text.position(' '));
  EXPECT_EQ(0u, text.position("missing"));
  EXPECT_EQ(0u, text.position(""));
  EXPECT_EQ("a.txt", text.substring(12, 255).view());
  EXPECT_EQ("", text.substring(40, 3).view());
}

TEST(ShortString, IntegerText) {
  EXPECT_EQ("0", integer_text(0).view());
  EXPECT_EQ("1234", integer_text(1234).view());
  EXPECT_EQ("-7", integer_text(-7).view());
}
