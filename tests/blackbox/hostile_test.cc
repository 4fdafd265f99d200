#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

// Hostile ground: nodes sharing a directory, planted links, stop signals,
// odd paths, files that are not regular, full disks. Whatever happens, every
// file that moved is recorded, nothing is written where it does not belong,
// and vurel ends with the terminal restored.

namespace {

namespace fs = std::filesystem;

constexpr const char* kReportArguments =
    "for a; do case $a in -*) ;; *) echo \"Sending: $a\" >&2;; esac; done";

class HostileTest : public ::testing::Test, public FakeTransfer {
 protected:
  RunOptions options(const Lines& args, const std::string& fake_run = kReportArguments) {
    RunOptions result = FakeTransfer::options(args, fake_run);
    result.timeout_seconds = 20;
    return result;
  }
  RunResult send(const Lines& names, const std::string& fake_run = kReportArguments) {
    return run_redirected(options({"--send", list(names), "Z"}, fake_run));
  }
  static bool shows(const RunResult& result, const std::string& text) {
    return result.output.find(text) != std::string::npos;
  }
};

TEST_F(HostileTest, NodesStartedInOneSecondNeverShareWorkingFiles) {
  ASSERT_EQ(0, std::system("command -v faketime >/dev/null")) << "faketime is needed";
  fs::create_directory(file("up"));
  // Eight sends and two receives in one directory, in one (pinned) second.
  std::string nodes;
  for (int i = 0; i < 10; ++i) {
    std::string n = std::to_string(i);
    bool sending = i < 8;
    std::string fake_run = sending
                               ? std::string(kReportArguments) + "; sleep 1"
                               : "printf x > r" + n + "; echo Receiving: r" + n + " >&2; sleep 1";
    if (sending) list({"f" + n + ".zip"}, "list" + n);
    nodes += "(FAKE_RECORD=record" + n + " DSZLOG=dsz" + n + ".log FAKE_RUN='" + fake_run +
             "' faketime '2026-12-07 12:00:00' '" + vurel_path() + "' " +
             (sending ? "--send list" + n + " Z" : "--receive up Z") + " >/dev/null 2>&1) & ";
  }
  std::string command = "cd '" + start() + "' || exit 1; PATH='" + scratch.file("bin") +
                        ":/usr/bin:/bin'; export PATH; " + nodes + "wait";
  ASSERT_EQ(0, std::system(command.c_str()));
  for (int i = 0; i < 10; ++i) {
    std::string n = std::to_string(i);
    SCOPED_TRACE("node " + n);
    std::string dsz = read_file(file("dsz" + n + ".log"));
    if (i < 8) {
      EXPECT_EQ(sent_record("f" + n + ".zip"), dsz);
      std::string calls = read_file(file("record" + n));
      EXPECT_EQ(1u, lines_of(calls).size() - 9) << calls;  // 3 lines, 6 options, 1 name
      EXPECT_NE(std::string::npos, calls.find("arg=f" + n + ".zip\n"));
    } else {
      EXPECT_EQ(received_record("up/r" + n, 1), dsz);
    }
  }
  EXPECT_EQ(10u, files_named(start(), "vrl", ".sh").size());
}

TEST_F(HostileTest, PlantedLinksAreNeverFollowed) {
  std::string target = file("precious");
  write_file(target, "precious\n");
  for (int n = 0; n < 999; ++n) {
    if (n == 500) continue;
    fs::create_symlink(target, file("vrl" + std::to_string(n) + ".sh"));
    fs::create_symlink(target, file("vrlsz" + std::to_string(n) + ".log"));
  }
  // The one number without links is taken.
  RunOptions run = options({"--send", list({"a"}), "Z"});
  run.env.push_back("DSZLOG=" + file("node.log"));
  RunResult result = run_redirected(run);
  EXPECT_EQ(0, result.exit_code) << result.output;
  EXPECT_EQ(sent_record("a"), read_file(file("node.log")));
  EXPECT_EQ("Sending: a\n", read_file(file("vrlsz500.log")));
  // No number left: a clear refusal.
  fs::remove(file("vrlsz500.log"));
  fs::create_symlink(target, file("vrlsz500.log"));
  result = run_redirected(run);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(shows(result, "No free transfer number in " + start() + "\n")) << result.output;
  // A default DSZ log that is a link.
  for (int n = 0; n < 999; ++n) fs::remove(file("vrlsz" + std::to_string(n) + ".log"));
  fs::create_symlink(target, file("dsz.log"));
  fs::remove(scratch.file("record"));
  result = send({"a"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(shows(result, "The DSZ log is a link, refused : " + file("dsz.log")))
      << result.output;
  EXPECT_FALSE(program_ran());
  EXPECT_EQ("precious\n", read_file(target));
}

TEST_F(HostileTest, StopSignalsRecordWhatMovedAndRestoreTheTerminal) {
  for (const char* signal : {"TERM", "INT", "QUIT"}) {
    SCOPED_TRACE(signal);
    // The program is still at b.txt when the BBS stops vurel alone; vurel
    // passes the signal on, so "Transfer complete" never comes.
    RunOptions run =
        options({"--send", list({"a.txt", "b.txt"}), "Z"},
                "printf 'Sending: a.txt\\n\\rSending: b.txt\\n' >&2; kill -" + std::string(signal) +
                    " $(vurel_pid); sleep 1; echo 'Transfer complete' >&2");
    RunResult result = run_on_pty(run);
    EXPECT_EQ(128 + (signal[0] == 'T' ? 15 : signal[0] == 'I' ? 2 : 3), result.exit_code);
    EXPECT_EQ(sent_record("a.txt"), dsz_log());
    EXPECT_TRUE(same_attributes(result.before, result.after));
    fs::remove(file("dsz.log"));
  }
  // A hang-up while vurel waits for the terminal's answer: nothing starts.
  fs::remove(scratch.file("record"));
  RunOptions run = options({"--send", list({"a.txt"}), "Z"});
  run.answer = CursorAnswer::kSilent;
  run.shell_before = "(sleep 0.3; kill -HUP $$) &";
  RunResult result = run_on_pty(run);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_FALSE(program_ran());
  EXPECT_EQ("", dsz_log());
}

TEST_F(HostileTest, PathsAreHeldWholeOrRefused) {
  // A starting directory that cannot be known is never taken for "/".
  fs::create_directory(file("gone"));
  RunOptions run = options({"--send", list({"a"}), "Z"});
  run.shell_before = "cd gone && rmdir ../gone";
  bool root_log = file_exists("/dsz.log");
  RunResult result = run_redirected(run);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(shows(result, "Cannot find the starting directory!\n")) << result.output;
  EXPECT_EQ(root_log, file_exists("/dsz.log"));
  EXPECT_FALSE(program_ran());

  // A list path whose first 64 bytes name another node's list.
  std::string other = list({"other.zip"}, std::string(64 - start().size() - 1, 'l'));
  std::string mine = list({"mine.zip"}, fs::path(other).filename().string() + "-node2");
  result = run_redirected(options({"--send", mine, "Z"}));
  EXPECT_EQ(sent_record("mine.zip"), dsz_log());
  EXPECT_TRUE(shows(result, "Filelist path set to " + mine.substr(0, 80 - 21)));

  // Beyond the system's path limit: refused before anything is created.
  for (const std::string& f : files_named(start(), "", "")) fs::remove(f);
  std::string too_long = "/" + std::string(4100, 'p');
  const Lines refusals[] = {
      {"--send", too_long, "Z"}, {"--receive", too_long, "Z"}, {"--send", "", "Z"}};
  for (const Lines& args : refusals) {
    result = run_redirected(options(args));
    EXPECT_EQ(1, result.exit_code) << args[1].size();
    EXPECT_TRUE(shows(result, args[1].empty() ? "File not found : \n" : "Path too long : /ppp"))
        << result.output.substr(0, 400);
  }
  run = options({"--send", list({"a"}), "Z"});
  run.env.push_back("DSZLOG=" + too_long);
  result = run_redirected(run);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(shows(result, "Path too long : /ppp"));
  EXPECT_EQ(Lines({file("list")}), files_named(start(), "", ""));

  // A list line beyond it is skipped, never sent as its prefix.
  result = send({"a", std::string(5000, 'n'), "b"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_TRUE(shows(result, "Adding.. a\nSkipped.. a name longer than 4095 bytes\nAdding.. b\n"));
  EXPECT_EQ(sent_record("a") + sent_record("b"), dsz_log());

  // Below a parent that may be entered but not read, the system still knows
  // the starting directory.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  std::string below = file("closed/node");
  fs::create_directories(below);
  fs::permissions(below, fs::perms::all);
  ::chmod(file("closed").c_str(), 0311);
  run = options({"--send", list({"a"}), "Z"});
  run.directory = below;
  run.as_nobody = true;
  EXPECT_EQ(0, run_redirected(run).exit_code);
  EXPECT_EQ(sent_record("a"), read_file(below + "/dsz.log"));
}

TEST_F(HostileTest, OnlyRegularFilesAreReadOrMeasured) {
  ASSERT_EQ(0, ::mkfifo(file("fifo").c_str(), 0666));
  for (const char* path : {"fifo", "/dev/zero", "/dev/urandom", "."}) {
    RunOptions run = options({"--send", path, "Z"});
    run.timeout_seconds = 5;
    RunResult result = run_redirected(run);
    EXPECT_EQ(1, result.exit_code) << path;
    EXPECT_TRUE(shows(result, std::string("Not a regular file : ") + path)) << result.output;
  }
  for (const char* dsz : {"fifo", "."}) {
    RunOptions run = options({"--send", list({"a"}), "Z"});
    run.env.push_back(std::string("DSZLOG=") + dsz);
    run.timeout_seconds = 5;
    RunResult result = run_redirected(run);
    EXPECT_EQ(1, result.exit_code) << dsz;
    EXPECT_TRUE(shows(result, std::string("The DSZ log is not a regular file : ") + dsz))
        << result.output;
    EXPECT_FALSE(program_ran());
  }
  // An upload that is a FIFO is never opened to be measured.
  fs::create_directory(file("up"));
  RunOptions run =
      options({"--receive", "up", "Z"},
              "mkfifo pipe; printf x > f; printf 'Receiving: pipe\\nReceiving: f\\n' >&2");
  run.timeout_seconds = 5;
  RunResult result = run_redirected(run);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(received_record("up/f", 1), dsz_log());
  // With standard output closed, the screen text goes nowhere, and the
  // script is the script.
  fs::remove(file("dsz.log"));
  run = options({"--send", list({"a"}), "Z"});
  run.shell_before = "exec 1>&-";
  result = run_redirected(run);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(sent_record("a"), dsz_log());
  EXPECT_NE(std::string::npos, read_file(scratch.file("record")).find("arg=a\n"));
}

TEST_F(HostileTest, DszLogTakesItsRecordsOrTheTransferNeverStarts) {
  // Log rotation left a link whose target is gone: the target is created.
  fs::create_directory(file("rotated"));
  fs::create_symlink(file("rotated/new.log"), file("link.log"));
  RunOptions run = options({"--send", list({"a"}), "Z"});
  run.env.push_back("DSZLOG=" + file("link.log"));
  EXPECT_EQ(0, run_redirected(run).exit_code);
  EXPECT_EQ(sent_record("a"), read_file(file("rotated/new.log")));

  // A disk that fills up: a record is in the log whole or not at all, and
  // no "File Sent" shows without its record.
  std::string filler(2000, 'x');
  write_file(file("dsz.log"), filler);
  run = options({"--send", list({"a", "b"}), "Z"});
  run.file_size_limit = 2030;
  RunResult result = run_redirected(run);
  EXPECT_EQ(101, result.exit_code);
  EXPECT_TRUE(shows(result, "Run time error  101 at 0x"));
  EXPECT_FALSE(shows(result, "File Sent"));
  EXPECT_EQ(filler, dsz_log());

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  fs::permissions(start(), fs::perms::all);
  fs::remove(file("dsz.log"));
  fs::remove(scratch.file("record"));
  // Created under umask 0277, the log still takes its records.
  run = options({"--send", list({"a"}), "Z"});
  run.as_nobody = true;
  run.shell_before = "umask 0277";
  EXPECT_EQ(0, run_redirected(run).exit_code);
  EXPECT_EQ(sent_record("a"), dsz_log());
  // A log it may not write: the transfer never starts.
  ::chmod(file("dsz.log").c_str(), 0444);
  fs::remove(scratch.file("record"));
  run.shell_before.clear();
  result = run_redirected(run);
  EXPECT_EQ(5, result.exit_code);
  EXPECT_FALSE(program_ran());
  EXPECT_EQ(sent_record("a"), dsz_log());
}

TEST_F(HostileTest, FailuresAreSaidAndUsageErrorsLeaveNothing) {
  // The shell could not run the protocol program.
  RunOptions run = options({"--send", list({"a"}), "Z"});
  set_env(run.env, "PATH=" + file("nowhere"));
  RunResult result = run_redirected(run);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_TRUE(shows(result, "\nCould not run sz: not found\n")) << result.output;

  // Usage errors leave no working files behind.
  for (const std::string& f : files_named(start(), "", "")) fs::remove_all(f);
  const Lines usage_errors[] = {
      {"--send", "list"}, {"--send", "list", "q"}, {"--send", "nolist", "Z"}};
  for (const Lines& args : usage_errors) {
    EXPECT_EQ(1, run_redirected(options(args)).exit_code);
    EXPECT_TRUE(fs::is_empty(start()));
  }
}

}  // namespace
