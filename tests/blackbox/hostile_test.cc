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
  RunOptions options(const Lines& args, const std::string& fake_run = kReportArguments) const {
    return FakeTransfer::options(args, fake_run);
  }
  RunResult send(const Lines& names, const Lines& env = {}) const {
    return run({"--send", list(names), "Z"}, kReportArguments, env);
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
    nodes += "(FAKE_RECORD='" + file("record" + n) + "' DSZLOG=dsz" + n + ".log FAKE_RUN='" +
             fake_run + "' faketime '2026-12-07 12:00:00' '" + vurel_path() + "' " +
             (sending ? "--send list" + n + " Z" : "--receive up Z") + " >/dev/null 2>&1) & ";
  }
  std::string command = "cd '" + start() + "' || exit 1; PATH='" + scratch.file("bin") +
                        ":/usr/bin:/bin' VUREL_CONF='" + scratch.file("vurel.conf") +
                        "'; export PATH VUREL_CONF; " + nodes + "wait";
  ASSERT_EQ(0, std::system(command.c_str()));
  for (int i = 0; i < 10; ++i) {
    std::string n = std::to_string(i);
    SCOPED_TRACE("node " + n);
    std::string dsz = read_file(file("dsz" + n + ".log"));
    std::string calls = read_file(file("record" + n));
    EXPECT_EQ(i < 8 ? sent_record("f" + n + ".zip") : received_record("up/r" + n, 1), dsz);
    // One call each: 3 lines, 5 options (3 when receiving), 1 name for a send.
    EXPECT_EQ(i < 8 ? 9u : 6u, lines_of(calls).size()) << calls;
    EXPECT_EQ(i < 8, calls.find("arg=f" + n + ".zip\n") != std::string::npos);
  }
  EXPECT_EQ(10u, files_named(start(), "vrl", ".sh").size());
}

// Another process acts at the worst moment (a preloaded hook runs it right
// before vurel's own call).
TEST_F(HostileTest, RacesAtTheWorstMoment) {
  std::string hook = race_hook();
  // A directory on the way is swapped for a link while the upload is being
  // placed: the file goes where the directory went, never through the link.
  fs::create_directories(file("up/sub"));
  fs::create_directory(file("elsewhere"));
  std::string swap = "mv up/sub up/moved && ln -s ../elsewhere up/sub";
  EXPECT_EQ(0, run({"--receive", "up", "Z"},
                   "mkdir sub; printf 'x' > sub/x.zip; echo 'Receiving: sub/x.zip' >&2",
                   {hook, "HOOK_BEFORE_RENAMEAT=" + swap})
                   .exit_code);
  EXPECT_TRUE(fs::is_empty(file("elsewhere")));
  EXPECT_EQ("x", read_file(file("up/moved/x.zip")));
  // A working file unlinked just before this run locks it (the run that held
  // it removed it on leaving): another number is taken, and the log the
  // program writes is the one read.
  fs::remove(file("dsz.log"));
  EXPECT_EQ(0, send({"a"}, {hook, "HOOK_BEFORE_FLOCK=rm -f vrlsz*.log"}).exit_code);
  EXPECT_EQ(sent_record("a"), dsz_log());
  // Two uploads create a missing upload directory at once.
  EXPECT_TRUE(shows(run({"--receive", "new", "Z"}, "printf 'y' > y; echo 'Receiving: y' >&2",
                        {hook, "HOOK_MKDIR_FIRST=1"}),
                    "\xfe File Received :  new/y\n", 0));
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
  EXPECT_EQ(0, send({"a"}, {"DSZLOG=" + file("node.log")}).exit_code);
  EXPECT_EQ(sent_record("a"), read_file(file("node.log")));
  EXPECT_EQ("Sending: a\n", read_file(file("vrlsz500.log")));
  // No number left: a clear refusal.
  fs::remove(file("vrlsz500.log"));
  fs::create_symlink(target, file("vrlsz500.log"));
  EXPECT_TRUE(shows(send({"a"}, {"DSZLOG=" + file("node.log")}),
                    "No free transfer number in " + start() + "\n", 1));
  // Scripts taken by links everywhere: no number is free, and no log of
  // those this run tried is left behind.
  for (int n = 0; n < 999; ++n) fs::remove(file("vrlsz" + std::to_string(n) + ".log"));
  fs::remove(file("vrl500.sh"));
  fs::create_symlink(target, file("vrl500.sh"));
  EXPECT_TRUE(shows(send({"a"}, {"DSZLOG=" + file("node.log")}),
                    "No free transfer number in " + start() + "\n", 1));
  EXPECT_EQ(Lines(), files_named(start(), "vrlsz", ".log"));
  fs::remove(file("vrl500.sh"));
  // A default DSZ log that is a link.
  for (int n = 0; n < 999; ++n) fs::remove(file("vrlsz" + std::to_string(n) + ".log"));
  fs::create_symlink(target, file("dsz.log"));
  fs::remove(scratch.file("record"));
  EXPECT_TRUE(shows(send({"a"}), "The DSZ log is a link, refused : " + file("dsz.log"), 1));
  EXPECT_FALSE(program_ran());
  EXPECT_EQ("precious\n", read_file(target));
}

TEST_F(HostileTest, StopSignalsRecordWhatMovedAndRestoreTheTerminal) {
  // Every signal that would end vurel: TERM, INT and QUIT reach the program
  // as they are, the others (which it may use for itself) as TERM.
  std::string got = scratch.file("got");
  std::string traps;
  for (const char* name : {"TERM", "INT", "QUIT", "USR1", "USR2", "ALRM", "VTALRM", "PROF", "XCPU"})
    traps += "trap 'echo " + std::string(name) + " > " + got + "; exit 1' " + name + "; ";
  const std::pair<std::string, int> signals[] = {
      {"TERM", 15}, {"INT", 2},     {"QUIT", 3},  {"USR1", 10}, {"USR2", 12},
      {"ALRM", 14}, {"VTALRM", 26}, {"PROF", 27}, {"XCPU", 24}, {"34", 34}};
  for (const auto& [signal, number] : signals) {
    SCOPED_TRACE(signal);
    // The program is still at b.txt when the BBS stops vurel alone; vurel
    // passes the signal on, so "Transfer complete" never comes.
    RunResult result = run_on_pty(
        options({"--send", list({"a.txt", "b.txt"}), "Z"},
                traps + "printf 'Sending: a.txt\\n\\rSending: b.txt\\n' >&2; kill -" + signal +
                    " $(vurel_pid); sleep 5 & wait $!; echo 'Transfer complete' >&2"));
    EXPECT_EQ(128 + number, result.exit_code);
    EXPECT_EQ(sent_record("a.txt"), dsz_log());
    EXPECT_EQ(number == 2 || number == 3 ? signal + "\n" : "TERM\n", read_file(got));
    EXPECT_TRUE(same_attributes(result.before, result.after));
    fs::remove(file("dsz.log"));
  }
  // A hang-up while vurel waits for the terminal's answer: nothing starts.
  fs::remove(scratch.file("record"));
  RunOptions custom = options({"--send", list({"a.txt"}), "Z"});
  custom.answer = CursorAnswer::kSilent;
  custom.shell_before = "(sleep 0.3; kill -HUP $$) &";
  EXPECT_EQ(0, run_on_pty(custom).exit_code);
  EXPECT_FALSE(program_ran());
  EXPECT_EQ("", dsz_log());
}

TEST_F(HostileTest, PathsAreHeldWholeOrRefused) {
  // A starting directory that cannot be known is never taken for "/".
  fs::create_directory(file("gone"));
  RunOptions custom = options({"--send", list({"a"}), "Z"});
  custom.shell_before = "cd gone && rmdir ../gone";
  bool root_log = file_exists("/dsz.log");
  EXPECT_TRUE(shows(run_redirected(custom), "Cannot find the starting directory!\n", 1));
  EXPECT_EQ(root_log, file_exists("/dsz.log"));
  EXPECT_FALSE(program_ran());

  // A list path whose first 64 bytes name another node's list.
  std::string other = list({"other.zip"}, std::string(64 - start().size() - 1, 'l'));
  std::string mine = list({"mine.zip"}, fs::path(other).filename().string() + "-node2");
  EXPECT_TRUE(shows(run({"--send", mine, "Z"}, kReportArguments),
                    "Filelist path set to " + mine.substr(0, 80 - 21)));
  EXPECT_EQ(sent_record("mine.zip"), dsz_log());

  // Beyond the system's path limit: refused before anything is created.
  for (const std::string& f : files_named(start(), "", "")) fs::remove(f);
  std::string too_long = "/" + std::string(4100, 'p');
  const Lines refusals[] = {
      {"--send", too_long, "Z"}, {"--receive", too_long, "Z"}, {"--send", "", "Z"}};
  for (const Lines& args : refusals) {
    EXPECT_TRUE(
        shows(run(args), args[1].empty() ? "File not found : \n" : "Path too long : /ppp", 1));
  }
  EXPECT_TRUE(shows(send({"a"}, {"DSZLOG=" + too_long}), "Path too long : /ppp", 1));
  EXPECT_EQ(Lines({file("list")}), files_named(start(), "", ""));

  // A list line beyond it is skipped, never sent as its prefix; the CR of
  // a CR LF does not count. A NUL byte, which the shell would drop, is
  // skipped too.
  std::string longest(4095, 'n');
  EXPECT_TRUE(
      shows(send({"a", std::string(5000, 'n'), std::string("x\0y", 3), longest + "\r", "b"}),
            "Adding.. a\nSkipped.. a name longer than 4095 bytes\n"
            "Skipped.. a name holding a NUL byte\nAdding.. nnn",
            0));
  EXPECT_EQ(sent_record("a") + sent_record(longest) + sent_record("b"), dsz_log());

  // Below a parent that may be entered but not read, the system still knows
  // the starting directory.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  std::string below = file("closed/node");
  fs::create_directories(below);
  fs::permissions(below, fs::perms::all);
  ::chmod(file("closed").c_str(), 0311);
  custom = options({"--send", list({"a"}), "Z"});
  custom.directory = below;
  custom.as_nobody = true;
  EXPECT_EQ(0, run_redirected(custom).exit_code);
  EXPECT_EQ(sent_record("a"), read_file(below + "/dsz.log"));
}

TEST_F(HostileTest, OnlyRegularFilesAreReadOrMeasured) {
  ASSERT_EQ(0, ::mkfifo(file("fifo").c_str(), 0666));
  for (std::string path : {"fifo", "/dev/zero", "/dev/urandom", "."}) {
    EXPECT_TRUE(shows(run({"--send", path, "Z"}), "Not a regular file : " + path, 1));
  }
  for (std::string dsz : {"fifo", "."}) {
    EXPECT_TRUE(
        shows(send({"a"}, {"DSZLOG=" + dsz}), "The DSZ log is not a regular file : " + dsz, 1));
    EXPECT_FALSE(program_ran());
  }
  // An upload that is a FIFO is never opened to be measured.
  fs::create_directory(file("up"));
  EXPECT_EQ(0, run({"--receive", "up", "Z"},
                   "mkfifo pipe; printf x > f; printf 'Receiving: pipe\\nReceiving: f\\n' >&2")
                   .exit_code);
  EXPECT_EQ(received_record("up/f", 1), dsz_log());
  // With standard output closed, the screen text goes nowhere, and the
  // script is the script.
  fs::remove(file("dsz.log"));
  RunOptions custom = options({"--send", list({"a"}), "Z"});
  custom.shell_before = "exec 1>&-";
  EXPECT_EQ(0, run_redirected(custom).exit_code);
  EXPECT_EQ(sent_record("a"), dsz_log());
  EXPECT_NE(std::string::npos, calls().find("arg=a\n"));
}

TEST_F(HostileTest, DszLogTakesItsRecordsOrTheTransferNeverStarts) {
  // Log rotation left a link whose target is gone: the target is created.
  fs::create_directory(file("rotated"));
  fs::create_symlink(file("rotated/new.log"), file("link.log"));
  EXPECT_EQ(0, send({"a"}, {"DSZLOG=" + file("link.log")}).exit_code);
  EXPECT_EQ(sent_record("a"), read_file(file("rotated/new.log")));

  // Rotated or removed while the program runs: the records go to the log
  // the path names, created anew, never to the file moved away.
  for (const char* away : {"mv dsz.log dsz.log.1", "rm dsz.log"}) {
    write_file(file("dsz.log"), "old\n");
    EXPECT_EQ(
        0,
        run({"--send", list({"a"}), "Z"}, std::string(away) + "; echo 'Sending: a' >&2").exit_code);
    EXPECT_EQ(sent_record("a"), dsz_log()) << away;
    EXPECT_EQ(file_exists(file("dsz.log.1")) ? "old\n" : "", read_file(file("dsz.log.1")));
  }
  fs::remove(file("dsz.log.1"));

  // A disk that fills up: a record is in the log whole or not at all, and
  // no "File Sent" shows without its record.
  std::string filler(2000, 'x');
  write_file(file("dsz.log"), filler);
  RunOptions custom = options({"--send", list({"a", "b"}), "Z"});
  custom.file_size_limit = 2030;
  RunResult result = run_redirected(custom);
  EXPECT_TRUE(shows(result, "Run time error  101 at 0x", 101));
  EXPECT_FALSE(shows(result, "File Sent"));
  EXPECT_EQ(filler, dsz_log());

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  fs::permissions(start(), fs::perms::all);
  fs::remove(file("dsz.log"));
  fs::remove(scratch.file("record"));
  // Created under umask 0277, the log still takes its records.
  custom = options({"--send", list({"a"}), "Z"});
  custom.as_nobody = true;
  custom.shell_before = "umask 0277";
  EXPECT_EQ(0, run_redirected(custom).exit_code);
  EXPECT_EQ(sent_record("a"), dsz_log());
  // A log it may not write: the transfer never starts.
  ::chmod(file("dsz.log").c_str(), 0444);
  fs::remove(scratch.file("record"));
  custom.shell_before.clear();
  EXPECT_EQ(5, run_redirected(custom).exit_code);
  EXPECT_FALSE(program_ran());
  EXPECT_EQ(sent_record("a"), dsz_log());
}

// A starting directory on a full file system: the protocol program could
// not write its messages, so nothing could be recorded. Refused when it is
// full already; said when it fills up while the program runs.
TEST_F(HostileTest, StartingDirectoryOnAFullFileSystem) {
  std::string disk = scratch.file("disk");
  fs::create_directory(disk);
  if (std::system(
          ("mount -t tmpfs -o size=256k,nr_inodes=64 tmpfs '" + disk + "' 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
  }
  struct Unmount {
    std::string disk;
    ~Unmount() { EXPECT_EQ(0, std::system(("umount '" + disk + "'").c_str())); }
  } unmount{disk};
  RunOptions node =
      options({"--send", list({"a"}), "Z"},
              "head -c 1M /dev/zero > fill 2>/dev/null; " + std::string(kReportArguments));
  node.directory = disk;
  node.env.push_back("DSZLOG=" + file("dsz.log"));
  EXPECT_TRUE(shows(run_redirected(node),
                    "\nThe transfer log stayed empty: nothing can be recorded.\n", 0));
  EXPECT_EQ("", dsz_log());
  const std::string fillers[] = {"", "i=0; while touch f$i 2>/dev/null; do i=$((i+1)); done"};
  for (const std::string& filler : fillers) {
    std::string fill = "cd '" + disk + "' && rm -f *; " + filler;
    if (!filler.empty()) {
      ASSERT_NE(-1, std::system(fill.c_str()));
    }
    fs::remove(scratch.file("record"));
    Lines before = files_named(disk, "", "");
    EXPECT_TRUE(shows(run_redirected(node),
                      "The starting directory's file system is full : " + disk + "\n", 1));
    EXPECT_FALSE(program_ran());
    EXPECT_EQ(before, files_named(disk, "", ""));
  }
}

// A caller's upload keeps its mode bits: with a relative entry in PATH (an
// empty one, ".", "..") it would be run as the protocol program.
TEST_F(HostileTest, OnlyAbsolutePathEntriesFindTheProgram) {
  fs::create_directory(file("up"));
  for (const char* planted : {"sz", "up/rz"}) {
    write_file(file(planted), "#!/bin/sh\ntouch '" + file("pwned") + "'\n");
    fs::permissions(file(planted), fs::perms::all);
  }
  std::string bin = scratch.file("bin");
  EXPECT_EQ(0, send({"a"}, {"PATH=:.:" + bin + ":/usr/bin"}).exit_code);
  EXPECT_EQ(0,
            run({"--receive", "up", "Z"}, "", {"PATH=..:bin:" + bin + ":/usr/bin:/bin"}).exit_code);
  EXPECT_FALSE(file_exists(file("pwned")));
  // The stand-ins on the absolute entries ran instead.
  EXPECT_NE(std::string::npos, calls().find("program=sz"));
  EXPECT_NE(std::string::npos, calls().find("program=rz"));
}

TEST_F(HostileTest, FailuresAreSaidAndUsageErrorsLeaveNothing) {
  // The shell could not run the protocol program.
  EXPECT_TRUE(
      shows(send({"a"}, {"PATH=" + file("nowhere")}), "\nCould not run sz: not found\n", 0));
  // Usage errors leave no working files behind.
  for (const std::string& f : files_named(start(), "", "")) fs::remove_all(f);
  const Lines usage_errors[] = {
      {"--send", "list"}, {"--send", "list", "q"}, {"--send", "nolist", "Z"}};
  for (const Lines& args : usage_errors) {
    EXPECT_EQ(1, run(args).exit_code);
    EXPECT_TRUE(fs::is_empty(start()));
  }
}

}  // namespace
