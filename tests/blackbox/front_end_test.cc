#include <gtest/gtest.h>

#include <string>

#include "harness.h"

// Start-up, the banner and the dispatch, as the terminal sees them.

namespace {

const std::string kQuery = "\x1b[6n";
const std::string kClear = "\x1b[H\x1b[2J";
const std::string kDown = "\x1b[1B";
// What every run on an answering 80x24 terminal starts with.
const std::string kPtyStart =
    kQuery + "\x1b[m" + kClear + kBanner[0] + "\r\n" + kBanner[1] + "\r\n" + kDown;

struct Case {
  const char* what = "";
  Lines args = {};
  std::string expected = {};  // the whole output, or with `prefix` its start
  int exit_code = 0;
  bool prefix = false;
  CursorAnswer answer = CursorAnswer::kAtTopLeft;
  std::string custom_answer = {};
};

TEST(FrontEnd, BytesOnTheTerminal) {
  const Case cases[] = {
      {.what = "no arguments",
       .expected = kPtyStart + "Nothing to do... !   --help for usage.\r\n" +
                   "                     --info for program information\r\n" +
                   "                     --bugs for known bugs in this version\r\n",
       .exit_code = 1},
      {.what = "--ver", .args = {"--ver"}, .expected = kPtyStart + "Vurel version 2.1\r\n" + kDown},
      {.what = "a silent terminal costs a second, then home",
       .args = {"--ver"},
       .expected = kQuery + "\x1b[H\x1b[m" + kClear,
       .prefix = true,
       .answer = CursorAnswer::kSilent},
      // A 7-byte answer: only "all attributes off" follows the query.
      {.what = "an answer sets the record",
       .args = {"--nothing"},
       .expected = kPtyStart,
       .answer = CursorAnswer::kCustom,
       .custom_answer = "\x1b[12;5R"},
  };

  for (const Case& c : cases) {
    RunOptions options;
    options.args = c.args;
    options.answer = c.answer;
    options.custom_answer = c.custom_answer;
    RunResult result = run_on_pty(options);
    EXPECT_EQ(c.expected, c.prefix ? result.output.substr(0, c.expected.size()) : result.output)
        << c.what;
    EXPECT_EQ(c.exit_code, result.exit_code) << c.what;
    EXPECT_TRUE(same_attributes(result.before, result.after)) << c.what;
    EXPECT_EQ("", result.error_output) << c.what;
  }
}

TEST(FrontEnd, OnlyExactSwitchesCount) {
  for (std::string argument : {"--VER", "-ver", "--ver ", "--version", "", "--Help", "--sen"}) {
    RunOptions options;
    options.args = {argument, "more"};
    RunResult result = run_on_pty(options);
    EXPECT_EQ(kPtyStart, result.output) << "argument '" << argument << "'";
    EXPECT_EQ(0, result.exit_code) << argument;
  }
}

}  // namespace
