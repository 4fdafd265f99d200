#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness.h"

// No fault costs a whole upload: every file that arrived whole is placed
// before any record is written, and a record names the very file placed.
// What happens meanwhile is made by the test process or by the race hook in
// vurel, never by the protocol program (which runs confined).

namespace {

namespace fs = std::filesystem;

class PlacingTest : public ::testing::Test, public FakeTransfer {
 protected:
  void SetUp() override {
    for (const std::string& dir : {start(), file("up")}) {
      fs::create_directories(dir);
      fs::permissions(dir, fs::perms::all);
    }
  }

  // Files written and reported whole by the stand-in rz.
  static std::string uploads(const Lines& names, const std::string& content = "data") {
    std::string run;
    for (const std::string& name : names) {
      run += "printf '" + content + "' > '" + name + "'; echo 'Receiving: " + name + "' >&2; ";
    }
    return run;
  }
};

TEST_F(PlacingTest, WhatArrivedWholeIsPlacedAndRecordedAsItLies) {
  const std::string kHook = race_hook();
  Lines folding;  // 105 names that fold to one 8.3 name
  for (int i = 0; i < 105; ++i) folding.push_back("longfile" + std::to_string(100 + i) + ".zip");
  const struct {
    std::string what;
    std::string settings;
    std::string fake_run;
    Lines env;
    std::string records;  // the DSZ log afterwards
    Lines lines;          // shown, each with its line end
    std::size_t files;    // in the upload directory afterwards
  } cases[] = {
      {"no atomic claim: a check and a move under the claims lock",
       "package = wwiv",
       uploads({"a b.zip", "c.zip"}),
       {kHook, "HOOK_NO_ATOMIC_CLAIM=1"},
       received_record("A_B~1.ZIP", 4) + received_record("C.ZIP", 4),
       {"Renamed : a b.zip -> up/A_B~1.ZIP\n", "Renamed : c.zip -> up/C.ZIP\n"},
       3},
      {"no atomic claim and no lock: placed all the same, and said",
       "package = wwiv",
       uploads({"a b.zip"}),
       {kHook, "HOOK_NO_ATOMIC_CLAIM=1", "HOOK_NO_CLAIMS_LOCK=1"},
       received_record("A_B~1.ZIP", 4),
       {"Placed without a lock : up/A_B~1.ZIP\n"},
       2},
      {"105 names that fold to one 8.3 name",
       "package = wwiv",
       uploads(folding),
       {},
       "",
       {"Renamed : longfile204.zip -> up/LONGF~2W.ZIP\n"},
       106},
      {"an empty upload",
       "",
       uploads({"empty.txt"}, ""),
       {},
       "",
       {"Not placed : up/empty.txt (empty)\n"},
       1},
      {"directories whole and in part: only what arrived whole",
       "",
       "mkdir sub whole; printf 'part' > sub/c.part; " + uploads({"sub/a.zip", "whole/x"}) +
           "chmod 4755 whole/x; " + uploads({"whole/y", "sub/b.zip"}),
       {},
       received_record("up/sub/a.zip", 4) + received_record("up/whole/x", 4) +
           received_record("up/whole/y", 4) + received_record("up/sub/b.zip", 4),
       {},
       3},
      {"the upload directory replaced by a link after placing",
       "",
       uploads({"n.bin"}, "2b"),
       {kHook, "HOOK_BEFORE_STATX=cd '" + start() + "' && mv up up.moved && ln -s other up"},
       "",
       {"Not recorded : up/n.bin (the upload directory was moved)\n"},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(file("up"));
    fs::remove_all(file("up.moved"));
    fs::remove(file("dsz.log"));
    fs::create_directories(file("up"));
    fs::create_directories(file("other"));
    write_file(file("up/A_B.ZIP"), "someone else's");
    write_file(file("other/n.bin"), std::string(9999, 'o'));
    configure(c.settings);
    RunResult result = run({"--receive", "up", "Z"}, c.fake_run, c.env);
    EXPECT_EQ(0, result.exit_code) << result.output;
    std::string log = dsz_log();
    if (c.what.starts_with("105")) {
      EXPECT_EQ(105u, lines_of(log).size()) << log;
    } else {
      EXPECT_EQ(c.records, log);
    }
    for (const std::string& line : c.lines) EXPECT_TRUE(shows(result, line)) << line;
    std::string up = file_exists(file("up.moved")) ? file("up.moved") : file("up");
    EXPECT_EQ(c.files, files_named(up, "", "").size());
    EXPECT_EQ("someone else's", read_file(up + "/A_B.ZIP"));
    if (c.what.starts_with("directories")) {
      EXPECT_EQ(Lines({up + "/sub/a.zip", up + "/sub/b.zip"}), files_named(up + "/sub", "", ""));
      EXPECT_EQ(fs::perms(plain_file_mode()), fs::status(up + "/whole/x").permissions());
    }
    EXPECT_EQ(std::string(9999, 'o'), read_file(file("other/n.bin")));
  }
}

// The DSZ log is settled before anything is placed: a log that cannot be
// opened again keeps the records in the log opened at the start, and a
// record that cannot be written ends the run with its run-time error, the
// files placed. A log on another mount of the upload directory is refused.
TEST_F(PlacingTest, RecordsReachTheLogOrTheFilesStay) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  const std::string kHook = race_hook();
  Lines five = {"1.zip", "2.zip", "3.zip", "4.zip", "5.zip"};
  std::string records;
  for (const std::string& name : five) records += received_record("up/" + name, 4);
  const std::string cannot = "The DSZ log " + file("dsz.log") +
                             " cannot be opened again; records go to the log opened at the start\n";
  const struct {
    std::string what;
    std::string rotate;  // right after the program ended
    std::string dszlog;  // DSZLOG, empty for the default
    long size_limit;
    std::string shown;
  } cases[] = {
      {"rotated to a log this user cannot write",
       "mv dsz.log dsz.log.1 && : > dsz.log && chmod 0 dsz.log", file("dsz.log"), 0, cannot},
      {"the default log replaced by a link", "mv dsz.log dsz.log.1 && ln -s elsewhere dsz.log", "",
       0, cannot},
      {"a full disk at the first record", "", file("dsz.log"), 2030, "Run time error  101 at 0x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(file("up"));
    fs::create_directory(file("up"));
    fs::permissions(file("up"), fs::perms::all);
    for (const char* log : {"dsz.log", "dsz.log.1"}) fs::remove(file(log));
    if (c.size_limit > 0) {
      write_file(file("dsz.log"), std::string(2000, 'x'));
      fs::permissions(file("dsz.log"), fs::perms::all);
    }
    RunOptions run = options({"--receive", "up", "Z"}, uploads(five));
    run.as_nobody = true;
    run.file_size_limit = c.size_limit;
    if (!c.dszlog.empty()) set_env(run.env, "DSZLOG=" + c.dszlog);
    if (!c.rotate.empty()) {
      set_env(run.env, kHook);
      set_env(run.env, "HOOK_AFTER_WAITPID=cd '" + start() + "' && " + c.rotate);
    }
    RunResult result = run_redirected(run);
    EXPECT_TRUE(shows_unwrapped(result, c.shown, c.size_limit > 0 ? 101 : 0));
    // Every file that arrived whole lies in the upload directory.
    EXPECT_EQ(5u, files_named(file("up"), "", "").size());
    EXPECT_EQ(c.size_limit == 0 ? records : "", read_file(file("dsz.log.1")));
  }
  // A bind mount of the upload directory.
  fs::create_directory(file("mirror"));
  if (std::system(
          ("mount --bind '" + file("up") + "' '" + file("mirror") + "' 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "a bind mount cannot be made here (needs root)";
  }
  fs::remove(scratch.file("record"));
  EXPECT_TRUE(shows(run({"--receive", "up", "Z"}, "", {"DSZLOG=mirror/dsz.log"}),
                    "The DSZ log mirror/dsz.log lies in the upload directory: refused.\n", 1));
  EXPECT_FALSE(program_ran());
  EXPECT_EQ(0, std::system(("umount '" + file("mirror") + "'").c_str()));
}

}  // namespace
