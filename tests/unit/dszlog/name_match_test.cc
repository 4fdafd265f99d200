#include "dszlog/name_match.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The index finds in a segment exactly the names that the plain search
// finds one by one, after a prefix, before a suffix or standing alone, on
// many generated segments built around overlapping names.
TEST(NameIndex, FindsWhatThePlainSearchFinds) {
  std::mt19937 random(12);
  auto text = [&](std::size_t max_length, const std::string& alphabet) {
    std::string result;
    for (std::size_t i = random() % (max_length + 1); i > 0; --i) {
      result += alphabet[random() % alphabet.size()];
    }
    return result;
  };
  const std::string pieces[] = {"cannot open ", " exists", " ", "\t", ",", ":", "\"", "x"};
  for (int round = 0; round < 50000; ++round) {
    std::vector<std::string> names;
    NameIndex index;
    for (std::size_t i = 0, n = random() % 8; i < n; ++i) names.push_back(text(5, "ab/ .:"));
    for (std::size_t i = 0; i < names.size(); ++i) index.add(names[i], i);
    std::string segment;
    for (int i = 0, n = static_cast<int>(random() % 8); i < n; ++i) {
      segment += random() % 2 || names.empty() ? pieces[random() % std::size(pieces)]
                                               : names[random() % names.size()];
    }
    for (auto [prefix, suffix] :
         {std::pair<std::string, std::string>{"", ""}, {"cannot open ", ""}, {"", " exists"}}) {
      std::vector<std::size_t> plain;
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (holds_name(segment, names[i], prefix, suffix)) plain.push_back(i);
      }
      ASSERT_EQ(plain, index.names_in(segment, prefix, suffix))
          << "segment '" << segment << "' prefix '" << prefix << "' suffix '" << suffix << "'";
    }
  }
}

}  // namespace
