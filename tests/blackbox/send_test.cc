#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "harness.h"

// vurel --send with the stand-in sz, sx and sb.

namespace {

class SendTest : public ::testing::Test, public FakeTransfer {
 protected:
  RunResult send(const Lines& names, const std::string& fake_run = "",
                 const std::string& letter = "Z", const Lines& extra_env = {}) {
    return run({"--send", list(names), letter}, fake_run, extra_env);
  }
};

TEST_F(SendTest, CompleteSendOfTwoNames) {
  RunResult result =
      send({"a.zip", "b.zip"},
           "printf 'Sending: a.zip\\n\\rSending: b.zip\\n\\r\\nTransfer complete\\n' >&2", "Z",
           {"LANG=de_DE.UTF-8", "LANGUAGE=de"});
  EXPECT_EQ(whole_screen({"DSZ Logpath : " + file("dsz.log"), "Send mode active.",
                          "Filelist path set to " + file("list"), "Protocol : Z-modem", "",
                          "Adding.. a.zip", "Adding.. b.zip", "Total Files Added : 2", "",
                          "Executing SZ(zmodem) External Protocol....", ""},
                         file("dsz.log"), {"\xfe File Sent :  a.zip", "\xfe File Sent :  b.zip"}),
            result.output);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.error_output);
  EXPECT_EQ(sent_record("a.zip") + sent_record("b.zip"), dsz_log());
  // The script's one line, and the program as the shell started it.
  std::string log = only("vrlsz", ".log");
  EXPECT_EQ("exec sz -v -b -r -y -e  \"a.zip\" \"b.zip\" 2>" + log + "\n",
            read_file(only("vrl", ".sh")));
  EXPECT_EQ("program=sz\ncwd=" + start() + "\nLC_ALL=C LANGUAGE=unset LANG=de_DE.UTF-8\n" +
                "arg=-v\narg=-b\narg=-r\narg=-y\narg=-e\narg=a.zip\narg=b.zip\n",
            calls());
  // Both working files carry the same transfer number, without leading zeros.
  std::string number = log.substr(log.rfind("vrlsz") + 5);
  number = number.substr(0, number.size() - 4);
  EXPECT_EQ(file("vrl" + number + ".sh"), only("vrl", ".sh"));
  EXPECT_TRUE(number == "0" || number[0] != '0');
}

TEST_F(SendTest, ProtocolLettersAndUsageErrors) {
  EXPECT_TRUE(shows(send({"f"}, "", "Xmodem"),
                    "Protocol : X-modem\n\nAdding.. f\nTotal Files Added : 1\n\n"
                    "Executing SX(xmodem) External Protocol....\n",
                    0));
  EXPECT_EQ(0u, read_file(only("vrl", ".sh")).rfind("exec sx -v -b -r -y -e  \"f\" 2>", 0));
  EXPECT_TRUE(shows(send({"f"}, "", "Y"), "Executing SB(ymodem) External Protocol....\n"));
  for (std::string letter : {"z", "", "Q"}) {
    EXPECT_TRUE(shows(send({"f"}, "", letter),
                      "Invalid Protocol Specified!\nUppercase \"X\" \"Y\" or \"Z\" ! \n", 1));
  }
  RunResult result = run({"--send", file("list")});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_EQ(join_lines(kBanner, "\n") + "DSZ Logpath : " + file("dsz.log") +
                "\nSend mode active.\nYou did not specify enough parameters!\n",
            result.output);
}

TEST_F(SendTest, FileListLinesAsRead) {
  std::string long_name(70, 'n');  // longer than lines once were
  write_file(file("list"), "crlf.txt\r\n" + long_name + "\nnext\n\nlast");
  EXPECT_TRUE(shows(run({"--send", file("list"), "Z"}),
                    "Adding.. crlf.txt\nAdding.. " + long_name +
                        "\nAdding.. next\nAdding.. \nAdding.. last\nTotal Files Added : 5\n",
                    0));
  EXPECT_NE(std::string::npos,
            read_file(only("vrl", ".sh"))
                .find(" \"crlf.txt\" \"" + long_name + "\" \"next\" \"\" \"last\" 2>"));
  // An empty list still runs the program, with no names.
  for (const std::string& f : files_named(start(), "vrl", "")) std::filesystem::remove(f);
  EXPECT_TRUE(shows(send({}), "Total Files Added : 0\n"));
  EXPECT_EQ("exec sz -v -b -r -y -e  2>" + only("vrlsz", ".log") + "\n",
            read_file(only("vrl", ".sh")));
  EXPECT_NE(std::string::npos, calls().find("program=sz"));
  EXPECT_EQ("", dsz_log());
}

TEST_F(SendTest, NamesReachTheProgramByteForByte) {
  Lines names = {"with space.zip", "quote\"d", "$HOME",          "`touch pwned`",
                 "back\\slash",    "-leading", "$(touch pwned2)"};
  std::string log_text;
  for (const std::string& name : names) log_text += "Sending: " + name + "\n";
  write_file(scratch.file("fake.log"), log_text + "Transfer complete\n");
  RunResult result = send(names, "cat '" + scratch.file("fake.log") + "' >&2");
  EXPECT_EQ(0, result.exit_code);
  std::string expected_args;
  std::string records;
  for (const std::string& name : names) {
    expected_args += "arg=" + name + "\n";
    records += sent_record(name);
  }
  EXPECT_EQ(expected_args, calls().substr(calls().find("arg=--\n") + 7));
  EXPECT_FALSE(file_exists(file("pwned")));
  EXPECT_FALSE(file_exists(file("pwned2")));
  EXPECT_EQ(records, dsz_log());
}

TEST_F(SendTest, MoreThan240Names) {
  Lines names;
  std::string log_text;
  for (int i = 0; i < 1000; ++i) {
    names.push_back("/files/f" + std::to_string(i) + ".zip");
    log_text += "Sending: f" + std::to_string(i) + ".zip\n";
  }
  write_file(scratch.file("fake.log"), log_text + "Transfer complete\n");
  RunResult result = send(names, "cat '" + scratch.file("fake.log") + "' >&2");
  EXPECT_TRUE(shows(result, "Total Files Added : 1000\n"));
  Lines records = lines_of(dsz_log());
  ASSERT_EQ(1000u, records.size());
  EXPECT_EQ(sent_record("/files/f999.zip"), records[999] + "\n");
  // Past row 25 of the assumed screen, every line end is LF CR.
  EXPECT_TRUE(shows(result, "Adding.. /files/f30.zip\n\r"));
}

TEST_F(SendTest, OnATerminal) {
  // Raw mode while the program runs, VMIN and VTIME as found.
  RunResult result =
      run_on_pty(options({"--send", list({"a"}), "Z"}, "stty -a > '" + file("stty") + "'"));
  EXPECT_EQ(0, result.exit_code);
  std::string settings = read_file(file("stty"));
  for (const char* flag : {"-ignbrk", "-brkint", "-parmrk", "-istrip", "-inlcr", "-igncr", "-icrnl",
                           "-ixon", "-opost", "-echo ", "-echonl", "-icanon", "-isig", "-iexten",
                           "cs8", "-parenb", "min = 1;", "time = 0;"}) {
    EXPECT_NE(std::string::npos, settings.find(flag)) << flag << "\n" << settings;
  }
  EXPECT_TRUE(same_attributes(result.before, result.after));
  // A full disk under the DSZ log is a run-time error: its report comes after
  // the console's shut-down, as plain lines that the restored terminal turns
  // into CR LF.
  RunOptions full = options({"--send", list({"a"}), "Z"}, "echo 'Sending: a' >&2");
  write_file(file("dsz.log"), std::string(2000, 'x'));
  full.file_size_limit = 2030;
  result = run_on_pty(full);
  EXPECT_EQ(101, result.exit_code);
  EXPECT_EQ(std::string::npos, result.output.find("Finished."));
  std::size_t report = result.output.find("Run time error  101 at 0x");
  ASSERT_NE(std::string::npos, report);
  EXPECT_TRUE(std::regex_match(
      result.output.substr(report),
      std::regex("Run time error  101 at 0x[0-9A-F]{8}\r\n(  0x[0-9A-F]{8}\r\n){1,9}")));
  EXPECT_TRUE(same_attributes(result.before, result.after));
}

TEST_F(SendTest, EndsOfTheProtocolProgram) {
  // Its exit status below 128 is not the run's.
  EXPECT_TRUE(shows(send({"a"}, "echo 'sz: cannot open a: No such file or directory' >&2", "Z",
                         {"FAKE_STATUS=3"}),
                    "\nFinished.\n", 0));
  EXPECT_EQ("", dsz_log());
  // A hang-up keeps the files that moved.
  EXPECT_EQ(0, send({"a.txt", "b.txt"},
                    "printf 'Sending: a.txt\\n\\rSending: b.txt\\n' >&2; kill -HUP $(vurel_pid)")
                   .exit_code);
  EXPECT_EQ(sent_record("a.txt"), dsz_log());
}

TEST_F(SendTest, DszLogPaths) {
  write_file(file("dsz.log"), "kept\n");
  send({"a"}, "echo 'Sending: a' >&2");
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
  std::string named = scratch.file("transfers.log");
  EXPECT_TRUE(shows(send({"a"}, "echo 'Sending: a' >&2", "Z", {"DSZLOG=" + named}),
                    "DSZ Logpath : " + named + "\n"));
  EXPECT_EQ(sent_record("a"), read_file(named));
  // A DSZLOG in a missing directory: a run-time error, nothing run.
  std::filesystem::remove(scratch.file("record"));
  EXPECT_TRUE(shows(send({"a"}, "", "Z", {"DSZLOG=" + scratch.file("missing/dsz.log")}),
                    "Run time error  2 at 0x", 2));
  EXPECT_FALSE(program_ran());
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
}

// Permission bits stop nothing for root, so these run vurel as uid 65534.
TEST_F(SendTest, PermissionsAsAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  std::filesystem::permissions(start(), std::filesystem::perms::all);
  write_file(file("dsz.log"), "kept\n");
  ::chmod(file("dsz.log").c_str(), 0222);  // write-only: records still go in
  RunOptions run = options({"--send", list({"a"}), "Z"}, "echo 'Sending: a' >&2");
  run.as_nobody = true;
  EXPECT_EQ(0, run_redirected(run).exit_code);
  EXPECT_EQ("kept\n" + sent_record("a"), dsz_log());
  // An unreadable list is not found.
  ::chmod(file("list").c_str(), 0200);
  EXPECT_TRUE(shows(run_redirected(run), "File not found : " + file("list"), 1));
  // An unwritable starting directory ends the run before anything runs.
  ::chmod(file("list").c_str(), 0644);
  ::chmod(file("dsz.log").c_str(), 0666);
  for (const std::string& f : files_named(start(), "vrl", "")) std::filesystem::remove(f);
  std::filesystem::remove(scratch.file("record"));
  ::chmod(start().c_str(), 0555);
  RunResult result = run_redirected(run);
  ::chmod(start().c_str(), 0777);
  EXPECT_TRUE(shows(result, "Run time error  5 at 0x", 5));
  EXPECT_FALSE(program_ran());
}

// A starting directory whose name would mean something to the shell: the
// working files go there, and nothing in its name runs.
TEST(OddStartingDirectory, WorksInBothModes) {
  FakeTransfer transfer("my bbs;$(touch pwned)");
  RunResult result = transfer.run({"--send", transfer.list({"a"}), "Z"}, "echo 'Sending: a' >&2");
  EXPECT_EQ(0, result.exit_code);
  std::string log = transfer.only("vrlsz", ".log");
  EXPECT_EQ("exec sz -v -b -r -y -e  \"a\" 2>\"" + transfer.start().substr(0, log.find("$")) +
                "\\$(touch pwned)/" + log.substr(log.rfind('/') + 1) + "\"\n",
            read_file(transfer.only("vrl", ".sh")));
  EXPECT_EQ(sent_record("a"), transfer.dsz_log());
  EXPECT_EQ(std::string::npos, transfer.calls().find("arg=my"));
  std::filesystem::create_directory(transfer.file("up"));
  result = transfer.run({"--receive", "up", "Z"}, "printf 'data' > f; echo 'Receiving: f' >&2");
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ(sent_record("a") + received_record("up/f", 4), transfer.dsz_log());
  EXPECT_FALSE(file_exists(transfer.file("pwned")));
  EXPECT_FALSE(file_exists(transfer.file("up/pwned")));
}

}  // namespace
