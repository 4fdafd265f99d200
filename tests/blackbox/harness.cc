#include "harness.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

// The checkout may sit below a directory that other users cannot enter, so
// a run as another user starts a copy of vurel from a directory they can,
// and preloads a copy of the race hook from there.
std::string for_everyone(const std::string& path) {
  static Scratch everyone;
  std::string copy = everyone.file(std::filesystem::path(path).filename());
  if (!file_exists(copy)) std::filesystem::copy_file(path, copy);
  return copy;
}
std::string vurel_for_everyone() { return for_everyone(vurel_path()); }

// A configuration file for every run that names none: this machine's own
// never reaches a test.
const Scratch& configurations() {
  static Scratch configurations;
  static bool written = false;
  if (!written) {
    written = true;
    write_file(configurations.file("empty.conf"), "");
    write_file(configurations.file("unconfined.conf"), std::string(kUnconfined));
  }
  return configurations;
}

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string vurel_path() { return VUREL_BINARY; }
std::string race_hook() { return "LD_PRELOAD=" + for_everyone(RACE_HOOK); }
std::string unconfined_configuration() { return configurations().file("unconfined.conf"); }
std::string fixture_path(const std::string& name) { return std::string(FIXTURE_DIR) + "/" + name; }

std::string read_back(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
  }
  std::fclose(file);
  return text;
}

int wait_exit_code(pid_t child, int timeout_seconds) {
  // A process descriptor turns readable when the child ends.
  pollfd watch{static_cast<int>(::syscall(SYS_pidfd_open, child, 0)), POLLIN, 0};
  if (watch.fd >= 0 && ::poll(&watch, 1, timeout_seconds * 1000) == 0) ::kill(child, SIGKILL);
  if (watch.fd >= 0) ::close(watch.fd);
  int status = -1;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t spawn(const RunOptions& options, int in, int out, int err, bool terminal) {
  std::string program = !options.program.empty() ? options.program
                        : options.as_nobody      ? vurel_for_everyone()
                                                 : vurel_path();
  Lines argv_text{program};
  if (!options.shell_before.empty()) {
    argv_text = {"/bin/sh", "-c", options.shell_before + "\nexec \"$0\" \"$@\"", program};
  }
  argv_text.insert(argv_text.end(), options.args.begin(), options.args.end());
  Lines env_text = {"PATH=/usr/local/bin:/usr/bin:/bin",
                    "VUREL_CONF=" + configurations().file("empty.conf")};
  for (const std::string& setting : options.env) set_env(env_text, setting);
  std::vector<char*> argv;
  std::vector<char*> envp;
  for (std::string& text : argv_text) argv.push_back(text.data());
  for (std::string& text : env_text) envp.push_back(text.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  pid_t child = ::fork();
  if (child != 0) return child;
  if (terminal) {
    ::setsid();
    ::ioctl(in, TIOCSCTTY, 0);
  }
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
  if (options.as_nobody &&
      (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
    ::_exit(125);
  }
  if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) ::_exit(126);
  if (options.file_size_limit > 0) {
    rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                 static_cast<rlim_t>(options.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
  }
  ::execve(argv[0], argv.data(), envp.data());
  ::_exit(126);
}

RunResult run_on_pty(const RunOptions& options) {
  RunResult result;
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_col = static_cast<unsigned short>(options.columns);
  size.ws_row = static_cast<unsigned short>(options.rows);
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return result;
  std::FILE* errors = std::tmpfile();
  ::tcgetattr(master, &result.before);
  auto start = std::chrono::steady_clock::now();
  pid_t child = spawn(options, slave, slave, ::fileno(errors), true);
  ::close(slave);
  bool answered = options.answer == CursorAnswer::kSilent;
  for (;;) {
    pollfd watch{master, POLLIN, 0};
    if (since(start) > options.timeout_seconds) {
      ::kill(child, SIGKILL);
      break;
    }
    if (::poll(&watch, 1, 100) <= 0) continue;
    char buffer[4096];
    ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO: every holder of the terminal is gone
    result.output.append(buffer, static_cast<std::size_t>(got));
    if (!answered && result.output.find("\x1b[6n") != std::string::npos) {
      answered = true;
      std::string reply =
          options.answer == CursorAnswer::kCustom ? options.custom_answer : "\x1b[1;1R";
      if (::write(master, reply.data(), reply.size()) < 0) break;
    }
  }
  result.exit_code = wait_exit_code(child, options.timeout_seconds);
  result.seconds = since(start);
  ::tcgetattr(master, &result.after);
  ::close(master);
  result.error_output = read_back(errors);
  return result;
}

RunResult run_redirected(const RunOptions& options) {
  RunResult result;
  std::FILE* out = std::tmpfile();
  std::FILE* errors = std::tmpfile();
  int null_fd = ::open("/dev/null", O_RDONLY);
  auto start = std::chrono::steady_clock::now();
  pid_t child = spawn(options, null_fd, ::fileno(out), ::fileno(errors));
  ::close(null_fd);
  result.exit_code = wait_exit_code(child, options.timeout_seconds);
  result.seconds = since(start);
  result.output = read_back(out);
  result.error_output = read_back(errors);
  return result;
}

std::string sent_record(const std::string& name) {
  return "S  99999 38400 bps 3333 cps   0 errors    66 1024 " + name + " -1\n";
}

std::string received_record(const std::string& path, long long size) {
  return "R  " + std::to_string(size) + " 38400 bps 3333 cps   0 errors    66 1024 " + path +
         " -1\n";
}

std::string whole_screen(const Lines& driver_lines, const std::string& dsz_log,
                         const Lines& confirmations) {
  Lines screen = kBanner;
  screen.insert(screen.end(), driver_lines.begin(), driver_lines.end());
  screen.insert(screen.end(),
                {"", "Please wait... ", "Processing Logfile \"" + dsz_log + "\"", ""});
  screen.insert(screen.end(), confirmations.begin(), confirmations.end());
  screen.insert(screen.end(), {"", "Finished."});
  return join_lines(screen, "\n");
}

std::string join_lines(const std::vector<std::string>& lines, const std::string& line_end) {
  std::string text;
  for (const std::string& line : lines) text += line + line_end;
  return text;
}

bool same_attributes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

::testing::AssertionResult shows(const RunResult& result, const std::string& text, int exit_code) {
  if (result.output.find(text) != std::string::npos &&
      (exit_code == -2 || exit_code == result.exit_code)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "exit code " << result.exit_code << ", output:\n"
                                       << result.output;
}

::testing::AssertionResult shows_unwrapped(RunResult result, std::string text, int exit_code) {
  auto line_end = [](char byte) { return byte == '\n' || byte == '\r'; };
  std::erase_if(result.output, line_end);
  std::erase_if(text, line_end);
  return shows(result, text, exit_code);
}

unsigned plain_file_mode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

FakeTransfer::FakeTransfer(const std::string& start_name)
    : start_(scratch.file(start_name)), configuration_(scratch.file("vurel.conf")) {
  configure("");
  std::filesystem::create_directories(start_);
  std::filesystem::create_directory(scratch.file("bin"));
  for (const char* name : {"sz", "sx", "sb", "rz", "rx", "rb"}) {
    // Copies, not links: a run as another user must be able to read them.
    std::filesystem::copy_file(fixture_path("fake_protocol.sh"), scratch.file("bin/") + name);
  }
}

RunOptions FakeTransfer::options(const Lines& args, const std::string& fake_run) const {
  RunOptions options;
  options.args = args;
  options.directory = start_;
  options.timeout_seconds = 10;  // a fake run takes milliseconds; a hang ends soon
  options.env = {"PATH=" + scratch.file("bin") + ":/usr/bin:/bin",
                 "FAKE_RECORD=" + scratch.file("record"), "FAKE_RUN=" + fake_run,
                 "VUREL_CONF=" + configuration_};
  return options;
}

void FakeTransfer::configure(const std::string& settings) const {
  write_file(configuration_, std::string(kUnconfined) + settings + "\n");
}

RunResult FakeTransfer::run(const Lines& args, const std::string& fake_run,
                            const Lines& extra_env) const {
  RunOptions run = options(args, fake_run);
  for (const std::string& setting : extra_env) set_env(run.env, setting);
  return run_redirected(run);
}

std::string FakeTransfer::list(const Lines& names, const std::string& name) const {
  write_file(file(name), join_lines(names, "\n"));
  return file(name);
}

std::string FakeTransfer::only(const std::string& prefix, const std::string& suffix) const {
  Lines found = files_named(start_, prefix, suffix);
  return found.size() == 1 ? found[0] : "(" + std::to_string(found.size()) + " files)";
}

void set_env(Lines& env, const std::string& setting) {
  std::string name = setting.substr(0, setting.find('=') + 1);
  for (std::string& entry : env) {
    if (entry.rfind(name, 0) == 0) {
      entry = setting;
      return;
    }
  }
  env.push_back(setting);
}

std::string random_bytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::vector<std::string> files_named(const std::string& dir, const std::string& prefix,
                                     const std::string& suffix) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.size() >= prefix.size() + suffix.size() && name.rfind(prefix, 0) == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}
