#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "harness.h"

// The protocol program a caller talks to runs confined: whatever it does on
// a caller's bytes, it touches nothing but this transfer's own files.

namespace {

namespace fs = std::filesystem;

// The Landlock version this kernel speaks; 0 when it has none.
int landlock_abi() {
  long abi = ::syscall(444, nullptr, 0, 1u);
  return abi > 0 ? static_cast<int>(abi) : 0;
}

// A TCP listener on 127.0.0.1; a connect succeeds without an accept.
struct Listener {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port = 0;
  Listener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd, 16);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd); }
};

class ConfinementTest : public ::testing::Test, public FakeTransfer {
 protected:
  void SetUp() override {
    for (const char* program : {"sz", "rz"}) {
      fs::remove(scratch.file("bin/") + program);
      fs::copy_file(fixture_path("misbehave.sh"), scratch.file("bin/") + program);
    }
    for (const std::string& dir : {start(), file("up"), scratch.file("beside")}) {
      fs::create_directories(dir);
      fs::permissions(dir, fs::perms::all);
    }
    write_file(scratch.file("secret.txt"), "the BBS's own\n");
  }

  // One run of the misbehaving program as uid 65534, so that no file
  // permission hides a missing rule.
  RunResult misbehave(const Lines& args, const std::string& confine, const Listener& listener) {
    write_file(scratch.file("vurel.conf"), "confine = " + confine + "\n");
    RunOptions run = options(args);
    run.as_nobody = true;
    for (const std::string& setting :
         {"TRY_DIRS=" + file("up") + ":" + start() + ":" + scratch.file("beside"),
          "TRY_SECRET=" + scratch.file("secret.txt"), "TRY_PORT=" + std::to_string(listener.port),
          "DSZLOG=" + file("dsz.log"), race_hook()}) {
      set_env(run.env, setting);
    }
    return run_redirected(run);
  }
};

// Every forbidden action fails confined and succeeds in its twin under
// `confine = off`; the transfer's own files move and are recorded either way.
TEST_F(ConfinementTest, ForbiddenActionsFailConfinedAndSucceedUnconfined) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run vurel as another user";
  int abi = landlock_abi();
  std::cout << "Landlock ABI " << abi << "\n";
  if (abi == 0) GTEST_SKIP() << "this kernel has no Landlock";
  Listener listener;
  write_file(scratch.file("listed.txt"), "a download\n");
  const struct {
    std::string action;
    int abi;  // the version that can forbid it
  } actions[] = {
      {"create in " + file("up"), 1},
      {"create in " + start(), 1},
      {"create in " + scratch.file("beside"), 1},
      {"read the BBS's file", 1},
      {"read the DSZ log", 1},
      {"connect to TCP", 4},
      {"signal Vurel", 6},
  };
  const struct {
    Lines args;
    std::string records;
  } transfers[] = {
      {{"--send", file("list"), "Z"}, sent_record(scratch.file("listed.txt"))},
      {{"--receive", "up", "Z"}, received_record("up/own.txt", 3)},
  };
  list({scratch.file("listed.txt")});
  fs::permissions(file("list"), fs::perms::all);
  for (const auto& transfer : transfers) {
    for (std::string confine : {"best-effort", "off"}) {
      SCOPED_TRACE(transfer.args[0] + ", confine = " + confine);
      for (const std::string& f : files_named(start(), "vrl", "")) fs::remove(f);
      fs::remove(file("dsz.log"));
      RunResult result = misbehave(transfer.args, confine, listener);
      EXPECT_EQ(0, result.exit_code) << result.output;
      EXPECT_EQ(transfer.records, dsz_log());
      std::string log = read_file(only("vrlsz", ".log"));
      EXPECT_EQ(std::string::npos, log.find("cannot be preloaded")) << log;
      for (const auto& [action, needed] : actions) {
        if (abi < needed) {
          std::cout << "skipped: " << action << " (needs Landlock ABI " << needed << ")\n";
          continue;
        }
        std::string expected = confine == "off" ? ": done\n" : ": refused\n";
        EXPECT_NE(std::string::npos, log.find("tried " + action + expected)) << log;
      }
      for (const std::string& dir : {file("up"), start(), scratch.file("beside")}) {
        fs::remove(dir + "/planted");
      }
    }
  }
}

// Where the kernel cannot confine: `required` refuses before anything is
// made, or, when only the child's restriction fails, before the shell runs;
// `best-effort` runs the program as it is.
TEST_F(ConfinementTest, RequiredNeverRunsUnconfined) {
  // The stand-in that notes its call: it runs only where nothing confines it.
  for (const char* program : {"sz", "rz"}) {
    fs::remove(scratch.file("bin/") + program);
    fs::copy_file(fixture_path("fake_protocol.sh"), scratch.file("bin/") + program);
  }
  std::string hook = race_hook();
  const struct {
    std::string confine;
    std::string failure;
    std::string refusal;  // empty: the program runs
  } cases[] = {
      {"required", "HOOK_LANDLOCK=ENOSYS", "this kernel has no Landlock"},
      {"required", "HOOK_LANDLOCK=EOPNOTSUPP", "Landlock is switched off"},
      {"required", "HOOK_LANDLOCK_RESTRICT=EPERM", "Landlock refused: Operation not permitted"},
      {"best-effort", "HOOK_LANDLOCK=ENOSYS", ""},
      {"best-effort", "HOOK_LANDLOCK_RESTRICT=EPERM", ""},
  };
  for (const auto& c : cases) {
    for (const Lines& args : {Lines{"--send", list({"a"}), "Z"}, Lines{"--receive", "up", "Z"}}) {
      SCOPED_TRACE(c.confine + " " + c.failure + " " + args[0]);
      write_file(scratch.file("vurel.conf"), "confine = " + c.confine + "\n");
      fs::remove(scratch.file("record"));
      fs::remove(file("dsz.log"));
      for (const std::string& f : files_named(start(), "vrl", "")) fs::remove(f);
      RunResult result = run(args, "printf 'x' > x; echo 'Sending: a' >&2; echo 'Receiving: x' >&2",
                             {hook, c.failure});
      bool early = c.failure.starts_with("HOOK_LANDLOCK=");
      if (c.refusal.empty()) {
        EXPECT_EQ(0, result.exit_code) << result.output;
        EXPECT_TRUE(program_ran());
        EXPECT_EQ(args[0] == "--send" ? sent_record("a") : received_record("up/x", 1), dsz_log());
        continue;
      }
      EXPECT_TRUE(shows(result, "Cannot confine the protocol program : " + c.refusal + "\n", 1));
      EXPECT_FALSE(program_ran());
      EXPECT_EQ("", dsz_log());
      // Refused before any working file is made, or with nothing placed.
      EXPECT_EQ(early ? 0u : 2u, files_named(start(), "vrl", "").size());
      EXPECT_EQ(Lines(), files_named(file("up"), "", ""));
    }
  }
}

// A child that cannot execute the shell ends there: it never runs the
// parent's exit procedures, which would restore the terminal the parent
// still uses in raw mode (its line ends would then turn into CR CR LF).
TEST_F(ConfinementTest, ChildThatCannotStartTheShellEndsAlone) {
  write_file(scratch.file("vurel.conf"), "");  // no program runs
  RunOptions run = options({"--send", list({"a"}), "Z"});
  set_env(run.env, race_hook());
  set_env(run.env, "HOOK_EXECVE_FAILS=1");
  RunResult result = run_on_pty(run);
  EXPECT_EQ(0, result.exit_code);
  EXPECT_NE(std::string::npos, result.output.find("Finished.\r\n")) << result.output;
  EXPECT_EQ(std::string::npos, result.output.find("\r\r\n")) << result.output;
  EXPECT_TRUE(same_attributes(result.before, result.after));
  EXPECT_FALSE(program_ran());
}

}  // namespace
