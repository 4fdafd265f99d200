#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "harness.h"

// A real third-party caller: the zmodem.js library, as web terminals use it,
// plays the caller's terminal program against vurel running the real sz and
// rz. Each scenario checks the bytes that arrived against the DSZ records:
// a record exists for a file exactly when it moved whole.

namespace {

struct Scenario {
  const char* what;
  Lines steps;     // zcaller.js steps; "%" stands for the directory of the files
  Lines expected;  // the names that arrive whole and are recorded (NAME or NAME=SOURCE)
  bool drop = false;
};

class ZmodemCallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sz rz >/dev/null 2>&1") != 0) GTEST_SKIP() << "lrzsz is missing";
    ASSERT_TRUE(file_exists(CALLER_DIR "/node_modules/zmodem.js"))
        << "zmodem.js is not installed: run scripts/install-deps";
    for (const char* dir : {"/files", "/caller", "/bbs", "/up"})
      std::filesystem::create_directory(scratch_.path() + dir);
    write_file(file("first.txt"), "the first file\n");
    write_file(file("big.bin"), random_bytes(3 << 20, 5));
    write_file(file("third.txt"), "the third file\n");
  }

  std::string file(const std::string& name) { return scratch_.file("files/" + name); }

  // Runs vurel with the zmodem.js caller; returns the DSZ log.
  std::string transfer(const Lines& args, const Scenario& scenario) {
    std::string command = "node '" CALLER_DIR "/zcaller.js' '" + scratch_.file("caller") + "'";
    for (std::string step : scenario.steps) {
      std::size_t at = step.find('%');
      if (at != std::string::npos) step.replace(at, 1, scratch_.file("files"));
      command += " '" + step + "'";
    }
    RunOptions options;
    options.args = args;
    options.directory = scratch_.file("bbs");
    options.env = {"PATH=/usr/bin:/bin", "DSZLOG=" + scratch_.file("dsz.log")};
    options.timeout_seconds = 60;
    Peer peer{command, scratch_.file("caller"), false, scenario.drop};
    PeerRunResult result = run_with_peer(options, peer);
    EXPECT_TRUE(result.peer_started) << result.vurel.output;
    EXPECT_EQ(0, result.vurel.exit_code) << result.vurel.output;
    return read_file(scratch_.file("dsz.log"));
  }

  Scratch scratch_;
};

TEST_F(ZmodemCallerTest, Downloads) {
  const Scenario scenarios[] = {
      {"three files whole", {"take", "take", "take"}, {"first.txt", "big.bin", "third.txt"}},
      {"ZABORT in the second file", {"take", "abort@1000000", "take"}, {"first.txt"}},
      {"8 CAN in the second file", {"take", "cancel@1000000", "take"}, {"first.txt"}},
      {"the second file skipped", {"take", "skip", "take"}, {"first.txt", "third.txt"}},
      {"the line drops in the second file", {"take", "drop@1000000"}, {"first.txt"}, true},
  };
  write_file(scratch_.file("list"),
             file("first.txt") + "\n" + file("big.bin") + "\n" + file("third.txt") + "\n");
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.what);
    std::string dsz = transfer({"--send", scratch_.file("list"), "Z"}, scenario);
    std::string expected_records;
    for (const char* name : {"first.txt", "big.bin", "third.txt"}) {
      std::string arrived = scratch_.file("caller/") + name;
      bool whole = file_exists(arrived) && read_file(arrived) == read_file(file(name));
      bool recorded = dsz.find(sent_record(file(name))) != std::string::npos;
      EXPECT_EQ(whole, recorded) << name;
      std::filesystem::remove(arrived);
    }
    for (const std::string& name : scenario.expected) expected_records += sent_record(file(name));
    EXPECT_EQ(expected_records, dsz);
    std::filesystem::remove(scratch_.file("dsz.log"));
  }
}

TEST_F(ZmodemCallerTest, Uploads) {
  const Scenario scenarios[] = {
      {"three files whole",
       {"put:%/first.txt", "put:%/big.bin", "put:%/third.txt"},
       {"first.txt", "big.bin", "third.txt"}},
      {"a name with spaces and one in a subdirectory",
       {"put:%/first.txt:with space.txt", "put:%/third.txt:sub/x.txt"},
       {"with space.txt=first.txt", "sub/x.txt=third.txt"}},
      {"a name with CR that imitates another caller's file",
       {"put:%/first.txt:popular.zip\rmine"},
       {}},
      {"cancelled in the middle",
       {"put:%/first.txt", "put:%/big.bin:big.bin:abort@1000000"},
       {"first.txt"}},
      {"the line drops in the middle",
       {"put:%/first.txt", "put:%/big.bin:big.bin:drop@1000000"},
       {"first.txt"},
       true},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.what);
    std::filesystem::remove_all(scratch_.file("up"));
    std::filesystem::create_directory(scratch_.file("up"));
    write_file(scratch_.file("up/popular.zip"), "someone else's file\n");
    std::string dsz = transfer({"--receive", scratch_.file("up"), "Z"}, scenario);
    std::string expected_records;
    for (const std::string& expected : scenario.expected) {
      std::string name = expected.substr(0, expected.find('='));
      std::string path = scratch_.file("up/" + name);
      EXPECT_EQ(read_file(file(expected.substr(expected.find('=') + 1))), read_file(path)) << name;
      expected_records += received_record(path, static_cast<long long>(read_file(path).size()));
    }
    EXPECT_EQ(expected_records, dsz);
    EXPECT_EQ("someone else's file\n", read_file(scratch_.file("up/popular.zip")));
    std::filesystem::remove(scratch_.file("dsz.log"));
  }
}

}  // namespace
