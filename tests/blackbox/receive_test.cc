#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using Lines = std::vector<std::string>;

class ReceiveTest : public ::testing::Test {
 protected:
  ReceiveTest() : bin_(scratch_) { std::filesystem::create_directory(start_); }

  // Runs `vurel --receive DIR LETTER` in the start directory; `fake_run` is
  // the fake receiving program's shell code, run in the destination.
  RunResult receive(const std::string& destination, const std::string& letter = "Z",
                    const std::string& fake_run = "", bool as_nobody = false,
                    const Lines& extra_env = {}) {
    return receive_with_args({"--receive", destination, letter}, fake_run, as_nobody, extra_env);
  }
  RunResult receive_with_args(const Lines& args, const std::string& fake_run = "",
                              bool as_nobody = false, const Lines& extra_env = {}) {
    RunOptions options;
    options.args = args;
    options.directory = start_;
    options.as_nobody = as_nobody;
    options.env = {bin_.path_variable(), "FAKE_RECORD=" + scratch_.file("record"),
                   "FAKE_RUN=" + fake_run};
    options.env.insert(options.env.end(), extra_env.begin(), extra_env.end());
    return run_redirected(options);
  }
  std::string only(const std::string& prefix, const std::string& suffix) {
    Lines found = files_named(start_, prefix, suffix);
    EXPECT_EQ(1u, found.size()) << prefix << "*" << suffix;
    return found.empty() ? "" : found[0];
  }
  std::string dsz_log() { return read_file(start_ + "/dsz.log"); }
  std::string record() { return read_file(scratch_.file("record")); }

  Scratch scratch_;
  FakeProtocolBin bin_;
  std::string start_ = scratch_.file("bbs");
};

TEST_F(ReceiveTest, CompleteReceiveIntoAnExistingDirectory) {
  std::string up = scratch_.file("up");
  std::filesystem::create_directory(up);
  RunResult result = receive(up, "Z",
                             "printf 'report' > report.txt; "
                             "printf 'rz waiting to receive.\\r   \\rReceiving: report.txt\\n"
                             "\\r\\nTransfer complete\\n' >&2");
  std::string dsz = start_ + "/dsz.log";
  Lines expected = kBanner;
  Lines rest = {"Receive mode active.",
                "Upload Path : " + up,
                "DSZ Logpath : " + dsz,
                "Protocol : Z-modem",
                "",
                "",
                "Executing RZ(zmodem) External Protocol....",
                "",
                "",
                "Please wait... ",
                "Processing Logfile \"" + dsz + "\"",
                "",
                "\xfe File Received :  " + up + "/report.txt",
                "",
                "Finished."};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(join_lines(expected, "\n"), result.output);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.error_output);
  EXPECT_EQ(received_record(up + "/report.txt", 6), dsz_log());
  std::string log = only("vrlsz", ".log");
  EXPECT_EQ("exec rz -b -y -v  2>" + log + "\n", read_file(only("vrl", ".sh")));
  EXPECT_EQ(
      "program=rz\ncwd=" + up + "\nLC_ALL=C LANGUAGE=unset LANG=unset\narg=-b\narg=-y\narg=-v\n",
      record());
}

TEST_F(ReceiveTest, UsageErrorsLeaveNoWorkingFiles) {
  RunResult result = receive_with_args({"--receive", "up"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_EQ(
      join_lines(kBanner, "\n") + "Receive mode active.\nYou did not specify enough parameters!\n",
      result.output);
  result = receive("up", "z");
  EXPECT_EQ(1, result.exit_code);
  EXPECT_EQ(join_lines(kBanner, "\n") +
                "Receive mode active.\nUpload Path : up\nInvalid Protocol Specified!\n",
            result.output);
  EXPECT_TRUE(std::filesystem::is_empty(start_));
  // Only the first character of the letter counts.
  result = receive("up", "Ymodem");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Executing RB(ymodem) External Protocol....\n"));
}

TEST_F(ReceiveTest, XmodemUploadNamesArePlainAndNew) {
  std::filesystem::create_directory(start_ + "/up");
  write_file(start_ + "/up/taken.zip", "another upload");
  const std::pair<Lines, std::string> refused[] = {
      {{"--receive", "up", "X"}, "Xmodem uploads need a file name: --receive <directory> X <name>"},
      {{"--receive", "up", "X", ""}, "Xmodem uploads need a file name"},
      {{"--receive", "up", "X", "sub/x.zip"}, "Invalid upload name : sub/x.zip"},
      {{"--receive", "up", "X", ".."}, "Invalid upload name : .."},
      {{"--receive", "up", "X", "-rf"}, "Invalid upload name : -rf"},
      {{"--receive", "up", "X", "a\rb"}, "Invalid upload name : a"},
      {{"--receive", "up", "X", "taken.zip"}, "Upload name already taken : taken.zip"},
  };
  for (const auto& [args, message] : refused) {
    RunResult result = receive_with_args(args);
    EXPECT_EQ(1, result.exit_code) << message;
    EXPECT_NE(std::string::npos, result.output.find(message)) << result.output;
    EXPECT_EQ(Lines({start_ + "/up"}), files_named(start_, "", ""));
  }
  // Y and Z take no name: a fourth argument is ignored.
  RunResult result = receive_with_args({"--receive", "up", "Z", "sub/x.zip"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("arg=-b\narg=-y\narg=-v\n", record().substr(record().find("arg=")));
}

TEST_F(ReceiveTest, MissingDirectoryIsCreatedOrGivenUp) {
  RunResult result = receive("new", "Y");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos,
            result.output.find("Upload Path : new\n\nWarning: Cannot find directory for receive!\n"
                               "Creating Directory new for you... =]\nDSZ Logpath : "));
  EXPECT_TRUE(std::filesystem::is_directory(start_ + "/new"));
  EXPECT_NE(std::string::npos, record().find("cwd=" + start_ + "/new\n"));

  write_file(start_ + "/taken", "a file");
  for (std::string destination : {"missing/parent", "taken", ""}) {
    result = receive(destination);
    EXPECT_EQ(1, result.exit_code) << destination;
    EXPECT_NE(std::string::npos,
              result.output.find("Creating Directory " + destination + " for you... =]\n\n" +
                                 "Cannot Create Directory " + destination + ". I give up!\n"))
        << result.output;
  }
}

TEST_F(ReceiveTest, PathsFollowTheDestination) {
  std::filesystem::create_directories(start_ + "/up/sub");
  // Files that were there before: one the transfer rewrites, one it leaves.
  write_file(start_ + "/up/renewed.txt", "old");
  write_file(start_ + "/up/victim.zip", "another caller's");
  std::string run =
      "printf '12345' > a.txt; printf 'x' > sub/b.txt; : > empty.txt; mkdir -p dir; "
      "printf 'new!' > renewed.txt; "
      "printf 'rz waiting to receive.\\r  \\rReceiving: a.txt\\n"
      "\\r  \\rReceiving: evil\\nReceiving: victim.zip\\n"
      "\\r  \\rReceiving: renewed.txt\\n"
      "\\r  \\rReceiving: missing.txt\\n"
      "\\r  \\rReceiving: dir\\n"
      "\\r  \\rReceiving: sub/b.txt\\n"
      "\\r  \\rReceiving: empty.txt\\n"
      "\\r  \\rReceiving: /etc/passwd\\n"
      "\\r  \\rReceiving: ../up/a.txt\\n"
      "\\r  \\rReceiving: a.txt\\n"
      "\\r\\nTransfer complete\\n' >&2";
  RunResult result = receive("up/", "Z", run);
  EXPECT_EQ(0, result.exit_code);
  // The trailing slash stays in the path; records in the order of first report.
  // Only what this transfer wrote is an upload.
  EXPECT_EQ(received_record("up//a.txt", 5) + received_record("up//renewed.txt", 4) +
                received_record("up//sub/b.txt", 1),
            dsz_log());
  EXPECT_NE(std::string::npos, result.output.find("\nFinished.\n"));
}

TEST_F(ReceiveTest, OddLogLines) {
  std::filesystem::create_directory(start_ + "/up");
  std::string long_name(200, 'L');
  std::string redraws(300, '\r');
  std::string run =
      "printf 'x' > " + long_name + "; printf 'y' > late; printf 'z' > bin\001x; " +
      "printf 'w' > mid; printf 'Receiving: \\nReceiving:\\n" + redraws +
      "Receiving: late\\nxxReceiving: mid\\n\\001\\377\\200\\nReceiving: bin\\001x\\n" +
      "Receiving: " + long_name + "\\n' >&2";
  RunResult result = receive("up", "Z", run);
  EXPECT_EQ(0, result.exit_code);
  // A report opens a segment, however far into the line; a name with a
  // control byte is never recorded.
  EXPECT_EQ(received_record("up/late", 1) + received_record("up/" + long_name, 1), dsz_log());
}

TEST_F(ReceiveTest, CallerCannotReachTheScriptOrTheDszLog) {
  // Uploads into the starting directory can replace the running script (a
  // receiving program that rewrites it does the same): the shell never
  // reads it again once the program runs.
  std::string dsz = "DSZLOG=" + scratch_.file("dsz.log");
  RunResult result = receive(
      start_, "Z",
      "for s in '" + start_ + "'/vrl*.sh; do echo 'touch " + start_ + "/pwned' >> \"$s\"; done",
      false, {dsz});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_FALSE(file_exists(start_ + "/pwned"));
  // A DSZ log anywhere below the upload directory is refused before anything
  // is created: the caller could replace it with forged records.
  std::filesystem::remove_all(start_);
  std::filesystem::create_directories(start_ + "/up/logs");
  std::filesystem::create_directory_symlink(start_ + "/up", start_ + "/link");
  const Lines refused[][2] = {{{"."}, {}},
                              {{"up"}, {"DSZLOG=" + start_ + "/up/logs/dsz.log"}},
                              {{"link/"}, {"DSZLOG=up/logs/new.log"}}};
  for (const auto& [destination, env] : refused) {
    result = receive(destination[0], "Z", "", false, env);
    EXPECT_EQ(1, result.exit_code) << destination[0];
    EXPECT_NE(std::string::npos, result.output.find("lies in the upload directory"))
        << result.output;
    EXPECT_EQ(Lines({start_ + "/link", start_ + "/up"}), files_named(start_, "", ""));
    EXPECT_TRUE(std::filesystem::is_empty(start_ + "/up/logs"));
  }
}

TEST_F(ReceiveTest, LongPathsAreRecordedWhole) {
  std::string destination = "up/" + std::string(200, 'd');
  std::filesystem::create_directories(start_ + "/" + destination);
  std::string name(100, 'n');
  RunResult result =
      receive(destination, "Z", "printf 'abc' > " + name + "; echo 'Receiving: " + name + "' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(received_record(destination + "/" + name, 3), dsz_log());
}

TEST_F(ReceiveTest, HangUpKeepsTheUploadsThatArrived) {
  std::filesystem::create_directory(start_ + "/up");
  RunResult result = receive("up", "Z",
                             "printf 'aaa' > a; printf 'bb' > b; "
                             "printf 'Receiving: a\\nReceiving: b\\n' >&2; kill -HUP $(vurel_pid)");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(received_record("up/a", 3), dsz_log());
}

TEST_F(ReceiveTest, ReadOnlyUploadIsRecorded) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  std::string up = start_ + "/up";
  std::filesystem::create_directory(up);
  std::filesystem::permissions(start_, std::filesystem::perms::all);
  std::filesystem::permissions(up, std::filesystem::perms::all);
  RunResult result = receive("up", "Z",
                             "printf 'read only' > ro.txt; chmod 444 ro.txt; "
                             "printf 'no access' > secret.txt; chmod 000 secret.txt; "
                             "printf 'Receiving: secret.txt\\nReceiving: ro.txt\\n' >&2",
                             true);
  EXPECT_EQ(0, result.exit_code) << result.output;
  EXPECT_EQ(received_record("up/ro.txt", 9), dsz_log());
}

TEST_F(ReceiveTest, DirectoryThatCannotBeEnteredIsGivenUp) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  std::filesystem::permissions(start_, std::filesystem::perms::all);
  std::filesystem::create_directory(start_ + "/closed");
  ::chmod((start_ + "/closed").c_str(), 0700);
  RunResult result = receive("closed", "Z", "", true);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Warning: Cannot find directory for receive!\n"));
  EXPECT_NE(std::string::npos, result.output.find("Cannot Create Directory closed. I give up!\n"));
}

TEST_F(ReceiveTest, StartingDirectoryWithSpaces) {
  std::string odd = scratch_.file("my bbs;$(touch pwned)");
  std::filesystem::create_directories(odd + "/up");
  start_ = odd;
  RunResult result = receive("up", "Z", "printf 'data' > f; echo 'Receiving: f' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(received_record("up/f", 4), read_file(odd + "/dsz.log"));
  EXPECT_EQ("Receiving: f\n", read_file(only("vrlsz", ".log")));
  EXPECT_FALSE(file_exists(odd + "/up/pwned"));
}

TEST_F(ReceiveTest, RunFromTheRootDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to write in /";
  start_ = "/";
  Lines before = files_named("/", "vrl", ".sh");
  std::string up = scratch_.file("up").substr(1);  // relative to /
  std::filesystem::create_directory("/" + up);
  std::string dsz = scratch_.file("root-dsz.log");
  RunOptions options;
  options.args = {"--receive", up, "Z"};
  options.directory = "/";
  options.env = {bin_.path_variable(), "DSZLOG=" + dsz,
                 "FAKE_RUN=printf 'r' > f; echo 'Receiving: f' >&2"};
  RunResult result = run_redirected(options);
  EXPECT_EQ(0, result.exit_code) << result.output;
  EXPECT_EQ(received_record(up + "/f", 1), read_file(dsz));
  for (const std::string& path : files_named("/", "vrl", "")) {
    if (std::find(before.begin(), before.end(), path) == before.end()) {
      EXPECT_EQ(0u, path.find("/vrl")) << path;
      std::filesystem::remove(path);
    }
  }
}

}  // namespace
