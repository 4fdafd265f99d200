#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "harness.h"

// The three fixed screens: where they stand and how they reach a terminal.
// Their texts live in one table each in the source; these tests do not
// copy them.

namespace {

Lines redirected_lines(const std::string& argument) {
  RunOptions options;
  options.args = {argument};
  RunResult result = run_redirected(options);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ('\n', result.output.back()) << "output ends without a line end";
  return lines_of(result.output);
}

TEST(Screens, KnownIssuesAndInformationFollowTheBanner) {
  Lines bugs = redirected_lines("--bugs");
  ASSERT_EQ(3u + 14u, bugs.size());
  EXPECT_EQ(kBanner, Lines(bugs.begin(), bugs.begin() + 3));
  EXPECT_EQ(0u, bugs[3].rfind("Known Issues and Bugs", 0));
  EXPECT_EQ("", bugs.back());
  // The information screen fits 24 rows with the banner.
  Lines info = redirected_lines("--info");
  ASSERT_EQ(23u, info.size());
  EXPECT_EQ(kBanner, Lines(info.begin(), info.begin() + 3));
  EXPECT_EQ("your path!", info.back());
}

TEST(Screens, UsageScreenClearsTheBanner) {
  RunOptions options;
  options.args = {"--help", "ignored", "also"};
  RunResult result = run_on_pty(options);
  EXPECT_EQ(0, result.exit_code);
  // The usage screen starts right after the second clearing.
  std::string clear = "\x1b[H\x1b[2J";
  std::size_t second = result.output.rfind(clear);
  ASSERT_NE(std::string::npos, second);
  EXPECT_NE(result.output.find(clear), second);
  std::string screen = result.output.substr(second + clear.size());
  EXPECT_EQ(0u, screen.find("Vurel v2.1 by the Vurel developers <vurel@example.org>\r\n"));
  // Empty lines are cursor-down moves; the braces line up in column 42.
  EXPECT_NE(std::string::npos,
            screen.find("\r\n\x1b[1B   vurel --help / --info / --bugs        {displays"));
  EXPECT_NE(std::string::npos, screen.find("\r\n   vurel --send <listfilename> <letter>  {send"));
}

TEST(Screens, InformationScreenInTmux) {
  if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  Scratch scratch;
  std::string socket = "vurel-test-" + std::to_string(::getpid());
  std::string capture = scratch.file("screen.txt");
  std::string command = "tmux -L " + socket + " new-session -d -x 80 -y 24 '" + vurel_path() +
                        " --info; sleep 30' && sleep 1.5 && tmux -L " + socket +
                        " capture-pane -p > " + capture + "; tmux -L " + socket +
                        " kill-server >/dev/null 2>&1";
  ASSERT_EQ(0, std::system(command.c_str()));
  std::string screen = read_file(capture);
  Lines expected = kBanner;
  expected.push_back("Vurel was written as an attempt to satisfy the growing need for a DSZ");
  EXPECT_EQ(0u, screen.find(join_lines(expected, "\n"))) << screen;
  EXPECT_NE(std::string::npos, screen.find("\nyour path!\n")) << screen;
}

}  // namespace
