#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness.h"

// vurel --receive with the stand-in rz, rx and rb, which run in the
// destination directory.

namespace {

namespace fs = std::filesystem;

class ReceiveTest : public ::testing::Test, public FakeTransfer {
 protected:
  RunResult receive(const std::string& destination, const std::string& fake_run = "",
                    const Lines& extra_env = {}) {
    return run({"--receive", destination, "Z"}, fake_run, extra_env);
  }
};

TEST_F(ReceiveTest, CompleteReceiveIntoAnExistingDirectory) {
  std::string up = scratch.file("up");
  fs::create_directory(up);
  RunResult result = receive(up,
                             "printf 'report' > report.txt; "
                             "printf 'rz waiting to receive.\\r   \\rReceiving: report.txt\\n"
                             "\\r\\nTransfer complete\\n' >&2");
  EXPECT_EQ(whole_screen(
                {"Receive mode active.", "Upload Path : " + up, "DSZ Logpath : " + file("dsz.log"),
                 "Protocol : Z-modem", "", "", "Executing RZ(zmodem) External Protocol....", ""},
                file("dsz.log"), {"\xfe File Received :  " + up + "/report.txt"}),
            result.output);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.error_output);
  EXPECT_EQ(received_record(up + "/report.txt", 6), dsz_log());
  EXPECT_EQ("exec rz -b -y -v  2>" + only("vrlsz", ".log") + "\n", read_file(only("vrl", ".sh")));
  // rz ran in a staging directory of its own, which is gone afterwards.
  std::string calls_text = calls();
  EXPECT_EQ(0u, calls_text.find("program=rz\ncwd=" + up + "/.vurel-" + std::to_string(::geteuid()) +
                                "/stage-"))
      << calls_text;
  EXPECT_NE(std::string::npos,
            calls_text.find("\nLC_ALL=C LANGUAGE=unset LANG=unset\narg=-b\narg=-y\narg=-v\n"));
  EXPECT_EQ(Lines({up + "/report.txt"}), files_named(up, "", ""));
}

TEST_F(ReceiveTest, UsageErrorsLeaveNoWorkingFiles) {
  fs::create_directory(file("up"));
  write_file(file("up/taken.zip"), "another upload");
  const std::pair<Lines, std::string> refused[] = {
      {{"--receive", "up"}, "Receive mode active.\nYou did not specify enough parameters!\n"},
      {{"--receive", "up", "z"}, "Upload Path : up\nInvalid Protocol Specified!\n"},
      {{"--receive", "up", "X"}, "Xmodem uploads need a file name: --receive <directory> X <name>"},
      {{"--receive", "up", "X", ""}, "Xmodem uploads need a file name"},
      {{"--receive", "up", "X", "sub/x.zip"}, "Invalid upload name : sub/x.zip"},
      {{"--receive", "up", "X", ".."}, "Invalid upload name : .."},
      {{"--receive", "up", "X", "-rf"}, "Invalid upload name : -rf"},
      {{"--receive", "up", "X", "a\rb"}, "Invalid upload name : a"},
      {{"--receive", "up", "X", "taken.zip"}, "Upload name already taken : taken.zip"},
  };
  for (const auto& [args, message] : refused) {
    EXPECT_TRUE(shows(run(args), message, 1));
    EXPECT_EQ(Lines({file("up")}), files_named(start(), "", ""));
  }
  // Only the first character of the letter counts; Y and Z take no name.
  EXPECT_TRUE(shows(run({"--receive", "up", "Ymodem", "sub/x.zip"}),
                    "Executing RB(ymodem) External Protocol....\n", 0));
  EXPECT_EQ("arg=-b\narg=-y\narg=-v\n", calls().substr(calls().find("arg=")));
}

TEST_F(ReceiveTest, MissingDirectoryIsCreatedOrGivenUp) {
  EXPECT_TRUE(shows(receive("new"),
                    "Upload Path : new\n\nWarning: Cannot find directory for receive!\n"
                    "Creating Directory new for you... =]\nDSZ Logpath : ",
                    0));
  EXPECT_NE(std::string::npos, calls().find("cwd=" + file("new") + "/.vurel-" +
                                            std::to_string(::geteuid()) + "/stage-"));
  write_file(file("taken"), "a file");
  for (std::string destination : {"missing/parent", "taken", ""}) {
    EXPECT_TRUE(shows(receive(destination),
                      "Creating Directory " + destination + " for you... =]\n\n" +
                          "Cannot Create Directory " + destination + ". I give up!\n",
                      1));
  }
}

// The receiving program writes into an empty staging directory; only what
// it reported whole and wrote there is placed in the upload directory, and
// recorded where it now lies. Nothing else in the upload tree is touched.
TEST_F(ReceiveTest, UploadsArePlacedFromTheStagingDirectory) {
  fs::create_directories(file("up/taken"));
  fs::create_directories(scratch.file("files/pub"));
  fs::create_directory_symlink("../../files/pub", file("up/pub"));
  write_file(file("up/renewed.txt"), "old");
  write_file(file("up/victim.zip"), "another caller's");
  write_file(scratch.file("files/pub/old.zip"), "someone else's");
  write_file(scratch.file("node.log"), "");
  fs::create_hard_link(scratch.file("node.log"), file("up/log.txt"));
  std::string long_name(200, 'L');
  std::string uploads[] = {"a.txt",   "renewed.txt", "sub/b.txt", "taken",   "pub/old.zip",
                           "vrl5.sh", "log.txt",     "late",      long_name, "cut.bin"};
  std::string fake =
      "mkdir -p sub pub dir .vrlstage-x; : > empty.txt; printf 'x' > .vrlstage-x/f; "
      "printf 'l' > linked; ln linked linked2; ";
  for (const std::string& name : uploads) {
    fake += "printf '" + std::string(name == "a.txt" ? "12345" : "new!") + "' > " + name + "; ";
  }
  fake += "printf 'z' > bin\001x; printf 'rz waiting to receive.\\r  \\rReceiving: a.txt\\n";
  for (const char* report :
       {"evil", "victim.zip", "renewed.txt", "dir", "sub/b.txt", "sub//b.txt", "sub/./b.txt",
        "empty.txt", "a.txt", "taken", "pub/old.zip", "vrl5.sh", ".vrlstage-x/f", "log.txt",
        "../sub/b.txt", "/etc/passwd", "bin\\001x", "linked"}) {
    fake += "\\r  \\rReceiving: " + std::string(report) + "\\n";
  }
  fake += "xxReceiving: mid\\nReceiving: late\\nReceiving: " + long_name +
          "\\nReceiving: cut.bin\\nrz: caught signal 15\\n' >&2";
  // Meanwhile another process renames its own file over a received name.
  fake += "; printf 'their file' > ../../theirs; mv ../../theirs ../../a.txt";
  RunResult result = run({"--receive", "up/", "Z"}, fake, {"DSZLOG=" + scratch.file("node.log")});
  // Records in the order of first report, under the destination as given.
  EXPECT_EQ(received_record("up//a.txt", 5) + received_record("up//renewed.txt", 4) +
                received_record("up//sub/b.txt", 4) + received_record("up//late", 4) +
                received_record("up//" + long_name, 4),
            read_file(scratch.file("node.log")));
  for (const char* line : {"Not placed : up//taken (the name is taken by a directory)",
                           "Not placed : up//pub/old.zip (a link on the way)",
                           "Not placed : up//vrl5.sh (a name Vurel keeps for itself)",
                           "Not placed : up//.vrlstage-x/f (a hidden name)",
                           "Not placed : up//log.txt (a name Vurel keeps for itself)",
                           "Not placed : up//linked (it has other links)"}) {
    EXPECT_TRUE(shows(result, std::string(line) + "\n", 0)) << line;
  }
  EXPECT_EQ("new!", read_file(file("up/renewed.txt")));
  EXPECT_EQ("12345", read_file(file("up/a.txt")));
  EXPECT_EQ("another caller's", read_file(file("up/victim.zip")));
  EXPECT_EQ("someone else's", read_file(scratch.file("files/pub/old.zip")));
  // Nothing else is left: no staging directory, nothing that did not arrive
  // whole or could not be placed.
  Lines left;
  for (const char* name :
       {"LLL", "a.txt", "late", "log.txt", "pub", "renewed.txt", "sub", "taken", "victim.zip"}) {
    left.push_back(file("up/") + (name[0] == 'L' ? long_name : name));
  }
  EXPECT_EQ(left, files_named(file("up"), "", ""));
}

// A run leaves nothing in the upload directory but the uploads: its staging
// directory goes however it ends, and the user's own directory that holds
// it goes when no run uses it; a killed run's staging directory goes with the
// next run, unless a live run holds it. Only what can be Vurel's own
// leftover is taken (in that directory, mode 0700, never a mount); working
// files go when the run started in the upload directory.
TEST_F(ReceiveTest, NothingIsLeftBehindInTheUploadDirectory) {
  std::string up = file("up");
  std::string own = up + "/.vurel-" + std::to_string(::geteuid());
  for (const char* dir : {"/stage-killed", "/stage-live", "/stage-open", "/stage-mount"}) {
    fs::create_directories(own + dir);
    ::chmod((own + dir).c_str(), std::string(dir) == "/stage-open" ? 0755 : 0700);
  }
  fs::create_directory(own + "/stage-killed/sub");
  write_file(own + "/stage-killed/sub/half", "half");
  write_file(own + "/stage-open/kept", "kept");
  // Another service's directory, named as staging directories once were.
  fs::create_directory(up + "/.vrlstage-FILES1");
  write_file(up + "/.vrlstage-FILES1/u1.zip", "u1");
  // A file system mounted at a leftover's name (root may bind-mount).
  fs::create_directory(scratch.file("victim"));
  ::chmod(scratch.file("victim").c_str(), 0700);  // only the mount tells it apart
  write_file(scratch.file("victim/v.zip"), "v");
  bool mounted = std::system(("mount --bind '" + scratch.file("victim") + "' '" + own +
                              "/stage-mount' 2>/dev/null")
                                 .c_str()) == 0;
  std::string held = scratch.file("held");
  std::string hold = "flock '" + own + "/stage-live' sh -c 'touch " + held + "; while [ -e " +
                     held + " ]; do sleep 0.05; done' &";
  ASSERT_EQ(0, std::system(hold.c_str()));
  while (!file_exists(held)) ::usleep(10000);
  RunOptions started_in_up = options({"--receive", ".", "Z"},
                                     "printf 'u' > u; printf 'v' > v; "
                                     "printf 'Receiving: u\\nReceiving: v\\n' >&2; "
                                     "kill -TERM $(vurel_pid)");
  started_in_up.directory = up;
  set_env(started_in_up.env, "DSZLOG=" + file("dsz.log"));
  EXPECT_EQ(143, run_redirected(started_in_up).exit_code);
  EXPECT_EQ(received_record("./u", 1), dsz_log());
  EXPECT_EQ(Lines({up + "/.vrlstage-FILES1", own, up + "/u"}), files_named(up, "", ""));
  EXPECT_EQ(Lines({own + "/stage-live", own + "/stage-mount", own + "/stage-open"}),
            files_named(own, "", ""));
  EXPECT_EQ("u1", read_file(up + "/.vrlstage-FILES1/u1.zip"));
  if (mounted) {
    EXPECT_EQ("v", read_file(scratch.file("victim/v.zip")));
    EXPECT_EQ(0, std::system(("umount '" + own + "/stage-mount'").c_str()));
  }
  // Killed outright, a run leaves its staging directory to the next.
  EXPECT_EQ(-1, run({"--receive", "up", "Z"}, "kill -KILL $(vurel_pid)").exit_code);
  EXPECT_EQ(4u, files_named(own, "stage-", "").size());
  fs::remove(held);  // the live run ends
  fs::remove_all(own + "/stage-open");
  while (std::system(("flock -n '" + own + "/stage-live' true").c_str()) != 0) ::usleep(10000);
  EXPECT_EQ(0, receive("up").exit_code);
  EXPECT_EQ(Lines({up + "/.vrlstage-FILES1", up + "/u"}), files_named(up, "", ""));
  if (!mounted) GTEST_SKIP() << "a bind mount cannot be made here (needs root)";
}

TEST_F(ReceiveTest, CallerCannotReachTheScriptOrTheDszLog) {
  // Uploads into the starting directory can replace the running script (a
  // receiving program that rewrites it does the same): the shell never
  // reads it again once the program runs.
  EXPECT_EQ(0, receive(start(),
                       "for s in '" + start() + "'/vrl*.sh; do echo 'touch " + start() +
                           "/pwned' >> \"$s\"; done",
                       {"DSZLOG=" + scratch.file("dsz.log")})
                   .exit_code);
  EXPECT_FALSE(file_exists(file("pwned")));
  // A DSZ log anywhere below the upload directory is refused before anything
  // is created: the caller could replace it with forged records.
  // So is one that would lie there once the upload directory is made, and
  // one that is a link into it.
  fs::remove_all(start());
  fs::create_directories(file("up/logs"));
  fs::create_directory_symlink(file("up"), file("link"));
  fs::create_symlink("up/logs/linked.log", file("dsz-link.log"));
  const Lines refused[][2] = {{{"."}, {}},
                              {{"up"}, {"DSZLOG=" + file("up/logs/dsz.log")}},
                              {{"link/"}, {"DSZLOG=up/logs/new.log"}},
                              {{"tmpup"}, {"DSZLOG=tmpup/dsz.log"}},
                              {{"tmpup/x/.."}, {"DSZLOG=tmpup/./dsz.log"}},
                              {{"up"}, {"DSZLOG=dsz-link.log"}}};
  for (const auto& [destination, env] : refused) {
    EXPECT_TRUE(shows(receive(destination[0], "", env), "lies in the upload directory", 1));
    EXPECT_EQ(Lines({file("dsz-link.log"), file("link"), file("up")}),
              files_named(start(), "", ""));
    EXPECT_TRUE(fs::is_empty(file("up/logs")));
  }
}

// Permission bits stop nothing for root, so these run vurel as uid 65534.
TEST_F(ReceiveTest, PermissionsAsAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  fs::permissions(start(), fs::perms::all);
  fs::create_directory(file("up"));
  fs::permissions(file("up"), fs::perms::all);
  // Uploads sent read-only or with no permission at all are plain data once
  // placed, and recorded; a file in a subdirectory it may only pass through,
  // which it did not upload, is not.
  fs::create_directory(file("up/hidden"));
  write_file(file("up/hidden/x.zip"), std::string(7000, 'x'));
  ::chmod(file("up/hidden").c_str(), 0311);
  RunOptions run = options({"--receive", "up", "Z"},
                           "printf 'read only' > ro.txt; chmod 444 ro.txt; "
                           "printf 'no access' > secret.txt; chmod 000 secret.txt; "
                           "printf 'Receiving: secret.txt\\nReceiving: ro.txt\\n"
                           "Receiving: hidden/x.zip\\n' >&2");
  run.as_nobody = true;
  EXPECT_EQ(0, run_redirected(run).exit_code);
  EXPECT_EQ(received_record("up/secret.txt", 9) + received_record("up/ro.txt", 9), dsz_log());
  EXPECT_EQ("no access", read_file(file("up/secret.txt")));
  // A directory that may not be entered counts as missing, and cannot be made.
  fs::create_directory(file("closed"));
  ::chmod(file("closed").c_str(), 0700);
  run.args = {"--receive", "closed", "Z"};
  RunResult result = run_redirected(run);
  EXPECT_TRUE(shows(result, "Warning: Cannot find directory for receive!\n", 1));
  EXPECT_TRUE(shows(result, "Cannot Create Directory closed. I give up!\n"));
}

TEST_F(ReceiveTest, RunFromTheRootDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to write in /";
  Lines before = files_named("/", "vrl", "");
  std::string up = scratch.file("up").substr(1);  // relative to /
  fs::create_directory("/" + up);
  RunOptions run = options({"--receive", up, "Z"}, "printf 'r' > f; echo 'Receiving: f' >&2");
  run.directory = "/";
  run.env.push_back("DSZLOG=" + scratch.file("root-dsz.log"));
  RunResult result = run_redirected(run);
  EXPECT_EQ(0, result.exit_code) << result.output;
  EXPECT_EQ(received_record(up + "/f", 1), read_file(scratch.file("root-dsz.log")));
  for (const std::string& path : files_named("/", "vrl", "")) {
    if (std::find(before.begin(), before.end(), path) == before.end()) {
      EXPECT_EQ(0u, path.find("/vrl")) << path;
      fs::remove(path);
    }
  }
}

}  // namespace
