#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string kBanner1 = "Vurel v2.1 FrontEnd for Linux lrzsz for use with BBS Software";
const std::string kMaker = "Written by the Vurel developers";
const std::string kQuery = "\x1b[6n";
const std::string kClear = "\x1b[H\x1b[2J";
const std::string kDown = "\x1b[1B";
// What every run on an answering 80x24 terminal starts with.
const std::string kPtyStart =
    kQuery + "\x1b[m" + kClear + kBanner1 + "\r\n" + kMaker + "\r\n" + kDown;

RunResult run_pty(std::vector<std::string> args) {
  RunOptions options;
  options.args = std::move(args);
  return run_on_pty(options);
}

void expect_clean_ending(const RunResult& result) {
  EXPECT_TRUE(same_attributes(result.before, result.after)) << "terminal settings not restored";
  EXPECT_EQ("", result.error_output);
}

TEST(FrontEnd, NoArgumentsPrintsNothingToDo) {
  RunResult result = run_pty({});
  EXPECT_EQ(kPtyStart + "Nothing to do... !   --help for usage.\r\n" +
                "                     --info for program information\r\n" +
                "                     --bugs for known bugs in this version\r\n",
            result.output);
  EXPECT_EQ(1, result.exit_code);
  expect_clean_ending(result);
}

TEST(FrontEnd, VersionOnAnsweringTerminal) {
  RunResult result = run_pty({"--ver"});
  EXPECT_EQ(kPtyStart + "Vurel version 2.1\r\n" + kDown, result.output);
  EXPECT_EQ(0, result.exit_code);
  expect_clean_ending(result);
  EXPECT_EQ(61u, kBanner1.size());
}

TEST(FrontEnd, OnlyExactSwitchesCount) {
  for (std::string argument : {"--VER", "-ver", "--ver ", "--version", "", "--Help", "--sen"}) {
    RunResult result = run_pty({argument, "more"});
    EXPECT_EQ(kPtyStart, result.output) << "argument '" << argument << "'";
    EXPECT_EQ(0, result.exit_code) << argument;
  }
}

TEST(FrontEnd, RedirectedOutputHasNoEscapes) {
  RunOptions options;
  options.args = {"--ver"};
  RunResult result = run_redirected(options);
  EXPECT_EQ(kBanner1 + "\n" + kMaker + "\n\nVurel version 2.1\n\n", result.output);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.error_output);
}

TEST(FrontEnd, SilentTerminalCostsOneSecondThenHome) {
  RunOptions options;
  options.args = {"--ver"};
  options.answer = CursorAnswer::kSilent;
  RunResult result = run_on_pty(options);
  std::string home_start = kQuery + "\x1b[H\x1b[m" + kClear;
  EXPECT_EQ(home_start, result.output.substr(0, home_start.size()));
  EXPECT_EQ(0, result.exit_code);
  expect_clean_ending(result);
}

TEST(FrontEnd, CursorAnswerSetsTheRecord) {
  RunOptions options;
  options.args = {"--nothing"};
  options.answer = CursorAnswer::kCustom;
  // A 7-byte answer: only "all attributes off" follows the query.
  options.custom_answer = "\x1b[12;5R";
  RunResult result = run_on_pty(options);
  EXPECT_EQ(kPtyStart, result.output);
  // An answer too short to read counts as none: home is sent.
  options.custom_answer = "\x1b[1;";
  result = run_on_pty(options);
  std::string home_start = kQuery + "\x1b[H\x1b[m" + kClear;
  EXPECT_EQ(home_start, result.output.substr(0, home_start.size()));
}

TEST(FrontEnd, NarrowTerminalWrapsTheBanner) {
  RunOptions options;
  options.args = {"--nothing"};
  options.columns = 40;
  RunResult result = run_on_pty(options);
  EXPECT_EQ(kQuery + "\x1b[m" + kClear + kBanner1.substr(0, 40) + "\r\n" + kBanner1.substr(40) +
                "\r\n" + kMaker + "\r\n" + kDown,
            result.output);
}

TEST(FrontEnd, BottomRowLineEndsScroll) {
  RunOptions options;
  options.args = {"--ver"};
  options.rows = 3;
  RunResult result = run_on_pty(options);
  EXPECT_EQ(kQuery + "\x1b[m" + kClear + kBanner1 + "\r\n" + kMaker + "\r\n" + "\n\r" +
                "Vurel version 2.1\n\r\n\r",
            result.output);
}

}  // namespace
