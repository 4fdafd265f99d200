#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using Lines = std::vector<std::string>;

class SendTest : public ::testing::Test {
 protected:
  SendTest() : bin_(scratch_) {}

  // Runs `vurel --send LIST LETTER` in the scratch directory with the fake
  // protocol programs; `fake_run` is the fake's shell code.
  RunResult send(const Lines& names, const std::string& letter = "Z",
                 const std::string& fake_run = "", Lines extra_env = {}) {
    std::string list;
    for (const std::string& name : names) list += name + "\n";
    write_file(scratch_.file("list"), list);
    return send_with_args({"--send", scratch_.file("list"), letter}, fake_run, extra_env);
  }

  RunResult send_with_args(const Lines& args, const std::string& fake_run = "",
                           Lines extra_env = {}) {
    RunOptions options;
    options.args = args;
    options.directory = start_directory();
    options.as_nobody = as_nobody_;
    options.env = {bin_.path_variable(), "FAKE_RECORD=" + scratch_.file("record"),
                   "FAKE_RUN=" + fake_run, "LANG=de_DE.UTF-8", "LANGUAGE=de"};
    options.env.insert(options.env.end(), extra_env.begin(), extra_env.end());
    return on_pty_ ? run_on_pty(options) : run_redirected(options);
  }

  virtual std::string start_directory() { return scratch_.path(); }

  std::string only(const std::string& prefix, const std::string& suffix) {
    Lines found = files_named(start_directory(), prefix, suffix);
    EXPECT_EQ(1u, found.size()) << prefix << "*" << suffix;
    return found.empty() ? "" : found[0];
  }
  std::string script() { return read_file(only("vrl", ".sh")); }
  std::string transfer_log_path() { return only("vrlsz", ".log"); }
  std::string record() { return read_file(scratch_.file("record")); }
  std::string dsz_log() { return read_file(start_directory() + "/dsz.log"); }

  Scratch scratch_;
  FakeProtocolBin bin_;
  bool as_nobody_ = false;
  bool on_pty_ = false;
};

TEST_F(SendTest, CompleteSendOfTwoNames) {
  RunResult result =
      send({"a.zip", "b.zip"}, "Z",
           "printf 'Sending: a.zip\\n\\rSending: b.zip\\n\\r\\nTransfer complete\\n' >&2");
  std::string dsz = scratch_.file("dsz.log");
  Lines expected = kBanner;
  Lines rest = {"DSZ Logpath : " + dsz,
                "Send mode active.",
                "Filelist path set to " + scratch_.file("list"),
                "Protocol : Z-modem",
                "",
                "Adding.. a.zip",
                "Adding.. b.zip",
                "Total Files Added : 2",
                "",
                "Executing SZ(zmodem) External Protocol....",
                "",
                "",
                "Please wait... ",
                "Processing Logfile \"" + dsz + "\"",
                "",
                "\xfe File Sent :  a.zip",
                "\xfe File Sent :  b.zip",
                "",
                "Finished."};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(join_lines(expected, "\n"), result.output);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.error_output);
  EXPECT_EQ(sent_record("a.zip") + sent_record("b.zip"), dsz_log());
  // The script's one line, and the program as the shell started it.
  std::string log = transfer_log_path();
  EXPECT_EQ("exec sz -v -b -r -Y -y -e  \"a.zip\" \"b.zip\" 2>" + log + "\n", script());
  EXPECT_EQ("program=sz\ncwd=" + scratch_.path() + "\nLC_ALL=C LANGUAGE=unset LANG=de_DE.UTF-8\n" +
                "arg=-v\narg=-b\narg=-r\narg=-Y\narg=-y\narg=-e\narg=a.zip\narg=b.zip\n",
            record());
  // Both working files carry the same transfer number.
  std::string number = log.substr(log.rfind("vrlsz") + 5);
  number = number.substr(0, number.size() - 4);
  EXPECT_EQ(scratch_.file("vrl" + number + ".sh"), only("vrl", ".sh"));
  EXPECT_TRUE(number == "0" || number[0] != '0');
}

TEST_F(SendTest, ProtocolLettersAndUsageErrors) {
  RunResult result = send({"f"}, "Xmodem");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Protocol : X-modem\n"));
  EXPECT_NE(std::string::npos, result.output.find("Executing SX(xmodem) External Protocol....\n"));
  EXPECT_EQ(0u, script().rfind("exec sx -v -b -r -Y -y -e  \"f\" 2>", 0));
  std::filesystem::remove(only("vrl", ".sh"));
  result = send({"f"}, "Y");
  EXPECT_NE(std::string::npos, result.output.find("Executing SB(ymodem) External Protocol....\n"));

  for (std::string letter : {"z", "", "Q"}) {
    result = send({"f"}, letter);
    EXPECT_EQ(1, result.exit_code);
    EXPECT_NE(
        std::string::npos,
        result.output.find("Invalid Protocol Specified!\nUppercase \"X\" \"Y\" or \"Z\" ! \n"));
  }
  result = send_with_args({"--send", scratch_.file("list")});
  EXPECT_EQ(1, result.exit_code);
  std::string dsz = scratch_.file("dsz.log");
  EXPECT_EQ(join_lines(kBanner, "\n") + "DSZ Logpath : " + dsz +
                "\nSend mode active.\nYou did not specify enough parameters!\n",
            result.output);
  // The preparation ran before the arguments were looked at.
  EXPECT_TRUE(file_exists(dsz));
}

TEST_F(SendTest, FileListLinesAsRead) {
  std::string long_name(70, 'n');  // longer than lines once were
  write_file(scratch_.file("list"), "crlf.txt\r\n" + long_name + "\nnext\n\nlast");
  RunResult result = send_with_args({"--send", scratch_.file("list"), "Z"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(
      std::string::npos,
      result.output.find("Adding.. crlf.txt\nAdding.. " + long_name +
                         "\nAdding.. next\nAdding.. \nAdding.. last\nTotal Files Added : 5\n"));
  EXPECT_NE(std::string::npos,
            script().find(" \"crlf.txt\" \"" + long_name + "\" \"next\" \"\" \"last\" 2>"));
}

TEST_F(SendTest, EmptyListStillRunsTheProtocolProgram) {
  RunResult result = send({});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Total Files Added : 0\n"));
  EXPECT_EQ("exec sz -v -b -r -Y -y -e  2>" + transfer_log_path() + "\n", script());
  EXPECT_NE(std::string::npos, record().find("program=sz"));
  EXPECT_EQ("", dsz_log());
}

TEST_F(SendTest, NamesReachTheProgramByteForByte) {
  Lines names = {"with space.zip", "quote\"d", "$HOME",          "`touch pwned`",
                 "back\\slash",    "-leading", "$(touch pwned2)"};
  std::string log_text;
  for (const std::string& name : names) log_text += "Sending: " + name + "\n";
  write_file(scratch_.file("fake.log"), log_text + "Transfer complete\n");
  RunResult result = send(names, "Z", "cat '" + scratch_.file("fake.log") + "' >&2");
  EXPECT_EQ(0, result.exit_code);
  std::string expected_args;
  for (const std::string& name : names) expected_args += "arg=" + name + "\n";
  std::string calls = record();
  EXPECT_EQ(expected_args, calls.substr(calls.find("arg=--\n") + 7));
  EXPECT_FALSE(file_exists(scratch_.file("pwned")));
  EXPECT_FALSE(file_exists(scratch_.file("pwned2")));
  std::string records;
  for (const std::string& name : names) records += sent_record(name);
  EXPECT_EQ(records, dsz_log());
}

TEST_F(SendTest, MoreThan240Names) {
  Lines names;
  std::string log_text;
  for (int i = 0; i < 1000; ++i) {
    names.push_back("/files/f" + std::to_string(i) + ".zip");
    log_text += "Sending: f" + std::to_string(i) + ".zip\n";
  }
  write_file(scratch_.file("fake.log"), log_text + "Transfer complete\n");
  RunResult result = send(names, "Z", "cat '" + scratch_.file("fake.log") + "' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Total Files Added : 1000\n"));
  Lines records = lines_of(dsz_log());
  ASSERT_EQ(1000u, records.size());
  EXPECT_EQ(sent_record("/files/f999.zip"), records[999] + "\n");
  // Past row 25 of the assumed screen, every line end is LF CR.
  EXPECT_NE(std::string::npos, result.output.find("Adding.. /files/f30.zip\n\r"));
}

TEST_F(SendTest, EscapeInANameCannotDriveTheTerminal) {
  on_pty_ = true;
  RunResult result = send({"a\x1b[2Jb"}, "Z", "printf 'Sending: a\\033[2Jb\\n' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Adding.. a^[[2Jb\r\n"));
  EXPECT_NE(std::string::npos, result.output.find("\xfe File Sent :  a^[[2Jb\r\n"));
  EXPECT_EQ(sent_record("a\x1b[2Jb"), dsz_log());
  EXPECT_TRUE(same_attributes(result.before, result.after));
}

TEST_F(SendTest, TerminalIsRawWhileTheProtocolProgramRuns) {
  on_pty_ = true;
  RunResult result = send({"a"}, "Z", "stty -a > '" + scratch_.file("stty") + "'");
  EXPECT_EQ(0, result.exit_code);
  std::string settings = read_file(scratch_.file("stty"));
  for (const char* flag : {"-ignbrk", "-brkint", "-parmrk", "-istrip", "-inlcr", "-igncr", "-icrnl",
                           "-ixon", "-opost", "-echo ", "-echonl", "-icanon", "-isig", "-iexten",
                           "cs8", "-parenb", "min = 1;", "time = 0;"}) {
    EXPECT_NE(std::string::npos, settings.find(flag)) << flag << "\n" << settings;
  }
  EXPECT_TRUE(same_attributes(result.before, result.after));
}

TEST_F(SendTest, RunTimeErrorOnATerminalRestoresIt) {
  on_pty_ = true;
  RunResult result = send({"a"}, "Z", "rm -f \"$(readlink /proc/$$/fd/2)\"");
  EXPECT_EQ(2, result.exit_code);
  // The report comes after the console's shut-down, as plain lines, which
  // the restored terminal settings turn into CR LF.
  std::size_t report = result.output.find("Run time error  2 at 0x");
  ASSERT_NE(std::string::npos, report);
  EXPECT_TRUE(std::regex_match(
      result.output.substr(report),
      std::regex("Run time error  2 at 0x[0-9A-F]{8}\r\n(  0x[0-9A-F]{8}\r\n){1,9}")));
  EXPECT_TRUE(same_attributes(result.before, result.after));
}

TEST_F(SendTest, ExitStatusIgnoresTheProtocolProgram) {
  RunResult result = send({"a"}, "Z", "echo 'sz: cannot open a: No such file or directory' >&2",
                          {"FAKE_STATUS=3"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", dsz_log());
  EXPECT_NE(std::string::npos, result.output.find("\nFinished.\n"));
}

TEST_F(SendTest, MissingTransferLogIsARunTimeError) {
  RunResult result = send({"a"}, "Z", "rm -f \"$(readlink /proc/$$/fd/2)\"");
  EXPECT_EQ(2, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Processing Logfile"));
  EXPECT_EQ(std::string::npos, result.output.find("Finished."));
  std::string report = result.output.substr(result.output.find("Run time error  "));
  EXPECT_TRUE(std::regex_match(
      report, std::regex("Run time error  2 at 0x[0-9A-F]{8}\n(  0x[0-9A-F]{8}\n){1,9}")))
      << report;
}

TEST_F(SendTest, HangUpKeepsTheFilesThatMoved) {
  RunResult result =
      send({"a.txt", "b.txt"}, "Z",
           "printf 'Sending: a.txt\\n\\rSending: b.txt\\n' >&2; kill -HUP $(vurel_pid)");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(sent_record("a.txt"), dsz_log());
}

TEST_F(SendTest, DszLogIsNeverEmptied) {
  std::string dsz = scratch_.file("dsz.log");
  write_file(dsz, "kept\n");
  RunResult result = send({"a"}, "Z", "echo 'Sending: a' >&2");
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
  // A DSZLOG in a missing directory: a run-time error, nothing run.
  std::filesystem::remove(scratch_.file("record"));
  result = send({"a"}, "Z", "", {"DSZLOG=" + scratch_.file("missing/dsz.log")});
  EXPECT_EQ(2, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Run time error  2 at 0x"));
  EXPECT_FALSE(file_exists(scratch_.file("record")));
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
}

TEST_F(SendTest, DszLogOnDszlogVariable) {
  std::string dsz = scratch_.file("transfers.log");
  RunResult result = send({"a"}, "Z", "echo 'Sending: a' >&2", {"DSZLOG=" + dsz});
  EXPECT_NE(std::string::npos, result.output.find("DSZ Logpath : " + dsz + "\n"));
  EXPECT_EQ(sent_record("a"), read_file(dsz));
  EXPECT_FALSE(file_exists(scratch_.file("dsz.log")));
}

// Permission bits stop nothing for root, so these run vurel as uid 65534.
class SendAsNobodyTest : public SendTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
    as_nobody_ = true;
  }
};

TEST_F(SendAsNobodyTest, ReadOnlyDszLogIsKeptAndTheFailureReported) {
  std::string dsz = scratch_.file("dsz.log");
  write_file(dsz, "kept\n");
  ::chmod(dsz.c_str(), 0444);
  RunResult result = send({"a"}, "Z", "echo 'Sending: a' >&2");
  EXPECT_EQ(5, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Run time error  5 at 0x"));
  EXPECT_EQ("kept\n", dsz_log());
}

TEST_F(SendAsNobodyTest, WriteOnlyDszLogGetsItsRecords) {
  std::string dsz = scratch_.file("dsz.log");
  write_file(dsz, "kept\n");
  ::chmod(dsz.c_str(), 0222);
  RunResult result = send({"a"}, "Z", "echo 'Sending: a' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
}

TEST_F(SendAsNobodyTest, UnreadableFileListIsNotFound) {
  RunResult result = send({"a"});  // writes the list first
  ::chmod(scratch_.file("list").c_str(), 0200);
  std::filesystem::remove(only("vrl", ".sh"));
  result = send_with_args({"--send", scratch_.file("list"), "Z"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("File not found : " + scratch_.file("list")));
}

TEST_F(SendAsNobodyTest, UnwritableStartingDirectoryEndsBeforeAnythingRuns) {
  std::string dsz = scratch_.file("dsz.log");
  write_file(dsz, "kept\n");
  ::chmod(dsz.c_str(), 0666);
  write_file(scratch_.file("list"), "a\n");
  ::chmod(scratch_.path().c_str(), 0555);
  RunResult result = send_with_args({"--send", scratch_.file("list"), "Z"});
  ::chmod(scratch_.path().c_str(), 0777);
  EXPECT_EQ(5, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Run time error  5 at 0x"));
  EXPECT_FALSE(file_exists(scratch_.file("record")));
  EXPECT_EQ("kept\n", dsz_log());
}

// A starting directory whose name would mean something to the shell.
class SendFromOddDirectoryTest : public SendTest {
 protected:
  std::string start_directory() override {
    std::string dir = scratch_.file("my bbs;$(touch pwned)");
    std::filesystem::create_directories(dir);
    return dir;
  }
};

TEST_F(SendFromOddDirectoryTest, LogPathIsQuoted) {
  RunResult result = send({"a"}, "Z", "echo 'Sending: a' >&2");
  EXPECT_EQ(0, result.exit_code);
  std::string log = transfer_log_path();
  EXPECT_EQ("exec sz -v -b -r -Y -y -e  \"a\" 2>\"" + start_directory().substr(0, log.find("$")) +
                "\\$(touch pwned)/" + log.substr(log.rfind('/') + 1) + "\"\n",
            script());
  EXPECT_EQ("Sending: a\n", read_file(log));
  EXPECT_EQ(sent_record("a"), dsz_log());
  EXPECT_FALSE(file_exists(start_directory() + "/pwned"));
  EXPECT_EQ(std::string::npos, record().find("arg=my"));
}

}  // namespace
