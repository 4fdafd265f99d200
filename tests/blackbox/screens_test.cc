#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::vector<std::string> kKnownIssues = {
    "Known Issues and Bugs (for this release, may be fixed future releases:",
    " o Xmodem receive fully functional. :-())",
    " o Protocol binaries MUST be located in your path! SYNOPSIS, Do \"man sz\" :/",
    " o Now really supports 240 files per session per send!   =]",
    " o Now allows long filenames (+ with spaces) on send + receive!  8-)",
    " o lrzsz - Logging now supported. Changed filename to \"vrl?z*.log\"  ;-)",
    " o Directory from which vurel was executed MUST be running with RW access :/",
    " o Front-end must have changedir permissions to the Destination path on",
    "   receive mode.  :/ ",
    " o DSZ.LOG generation is real and functional  >=)) ",
    "",
    "Please report bugs by e-mail to vurel@example.org ",
    "This release last compiled on 25th October, 1999.",
    "",
};

std::vector<std::string> redirected_lines(const std::string& argument) {
  RunOptions options;
  options.args = {argument};
  RunResult result = run_redirected(options);
  EXPECT_EQ(0, result.exit_code);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = result.output.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(result.output.substr(start, end - start));
  }
  EXPECT_EQ(result.output.size(), start) << "output ends without a line end";
  return lines;
}

TEST(Screens, KnownIssuesFollowTheBanner) {
  std::vector<std::string> expected = kBanner;
  expected.insert(expected.end(), kKnownIssues.begin(), kKnownIssues.end());
  EXPECT_EQ(expected, redirected_lines("--bugs"));
}

TEST(Screens, InformationScreenFitsTwentyFourRows) {
  std::vector<std::string> lines = redirected_lines("--info");
  ASSERT_EQ(23u, lines.size());
  EXPECT_EQ("Vurel was written as an attempt to satisfy the growing need for a DSZ", lines[3]);
  EXPECT_EQ(0u, lines[8].rfind("packages. ", 0));
  EXPECT_EQ("take the syntax of nor give ability to use another set of protocols. ", lines[14]);
  EXPECT_EQ("If you like what you see, or want to report BUGS then send them to my ", lines[16]);
  EXPECT_EQ("the", lines[17].substr(lines[17].size() - 3));
  EXPECT_EQ("next release.", lines[18]);
  EXPECT_EQ("your path!", lines[22]);
  const std::size_t kLengths[] = {69, 71, 70, 73, 71, 0,  0, 72, 70, 71,
                                  71, 69, 0,  70, 0,  13, 0, 74, 74, 10};
  for (std::size_t i = 0; i < 20; ++i) {
    if (kLengths[i] != 0 || lines[3 + i].empty()) {
      EXPECT_EQ(kLengths[i], lines[3 + i].size()) << i;
    }
  }
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
  EXPECT_EQ(0u, screen.find("Vurel v2.1 "));
  const std::vector<std::string> lines = {
      "Commandline usage: ",
      "\x1b[1B   vurel --help / --info / --bugs        {displays help screens}",
      "   vurel --send <listfilename> <letter>  {send files in listfile}",
      "   vurel --receive <directory> <letter>  {receive files to directory}",
      "\x1b[1B   --send  : *switches Vurel into file send mode ",
      "   <listfilename> :  full path of file list of file paths to send",
      "   <letter> :  specify prot. letter, (X)modem, (Y)modem, or (Z)modem",
      "\x1b[1B   --receive :  *switches Vurel into file receive mode ",
      "   <directory> : Destination Dir",
      "   <letter> : specify prot. letter, (X)modem, (Y)modem, or (Z)modem",
      "\x1b[1B --send and --receive MUST be the first parameters. Params are case and order",
      " sensitive. Spec`s marked in angle <> braces are NOT optional and must be ",
      " specified. Make sure binary execs rz.. sz.. rx.. sx.. rb.. sb are in $path !",
  };
  std::string rest = screen.substr(screen.find("\r\n") + 2);
  EXPECT_EQ(join_lines(lines, "\r\n"), rest);
  // The braces line up in column 42.
  for (std::size_t i = 1; i <= 3; ++i) {
    std::string line = lines[i].substr(lines[i][0] == '\x1b' ? 4 : 0);
    EXPECT_EQ(41u, line.find('{')) << line;
  }
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
  std::vector<std::string> expected = kBanner;
  expected.push_back("Vurel was written as an attempt to satisfy the growing need for a DSZ");
  EXPECT_EQ(0u, screen.find(join_lines(expected, "\n"))) << screen;
  EXPECT_NE(std::string::npos, screen.find("\nyour path!\n")) << screen;
}

}  // namespace
