#include "runtime/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/command_line.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"

namespace {

// Every signal that would end the program and that it may catch, but for
// the processor faults (run-time errors) and those it ignores.
constexpr int kStopSignals[] = {SIGTERM,   SIGINT,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                                SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};
constexpr int kIgnoredSignals[] = {SIGPIPE, SIGXFSZ};
// A protocol program may use the others for itself (rz times out by
// SIGALRM): they reach it as SIGTERM.
constexpr int kPassedOnAsTheyAre[] = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};

// When PATH holds no absolute entry at all.
constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

volatile sig_atomic_t g_hung_up = 0;
volatile sig_atomic_t g_stop_signal = 0;
volatile pid_t g_child = 0;
int g_confinement_error = 0;

int passed_on_as(int signal_number) {
  for (int same : kPassedOnAsTheyAre) {
    if (same == signal_number) return signal_number;
  }
  return SIGTERM;
}

void on_signal(int signal_number) {
  if (signal_number == SIGHUP) {
    g_hung_up = 1;
  } else {
    g_stop_signal = signal_number;
  }
  if (g_child > 0) ::kill(g_child, passed_on_as(signal_number));
}

// SIGHUP, the stop signals and the real-time signals, in one list.
template <typename Action>
void for_each_recorded_signal(Action action) {
  action(SIGHUP);
  for (int signal_number : kStopSignals) action(signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    action(signal_number);
  }
}

void set_action(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal_number, &action, nullptr);
}

sigset_t recorded_signals() {
  sigset_t set;
  sigemptyset(&set);
  for_each_recorded_signal([&](int signal_number) { sigaddset(&set, signal_number); });
  return set;
}

// The protocol program's PATH keeps only absolute entries: an empty entry,
// "." or a relative one would find a program that a caller uploaded.
std::string absolute_path_entries(std::string_view path) {
  std::string kept;
  for (std::string_view entry : parts_between(path, ':')) {
    if (!entry.starts_with('/')) continue;
    if (!kept.empty()) kept += ':';
    kept += entry;
  }
  return kept.empty() ? std::string(kDefaultPath) : kept;
}

// The program's environment, with the protocol program's messages in the C
// locale: the log translations read them, and a translated lrzsz would name
// no file in words they know. The caller never sees these messages.
std::vector<std::string> child_environment(const std::string& search_path) {
  std::vector<std::string> env;
  if (char** entries = environment_block()) {
    for (char** entry = entries; *entry != nullptr; ++entry) {
      std::string_view text(*entry);
      if (text.starts_with("LC_ALL=") || text.starts_with("LANGUAGE=") ||
          text.starts_with("PATH=")) {
        continue;
      }
      env.emplace_back(text);
    }
  }
  env.emplace_back("LC_ALL=C");
  env.emplace_back("PATH=" + search_path);
  return env;
}

// The child, between fork and exec: default signal actions, the
// confinement, the shell. It never returns, and never runs the parent's exit
// procedures (they would restore the terminal the parent still uses and
// remove the parent's files). A restriction that fails where confinement is
// required is told to the parent through `report`.
[[noreturn]] void become_shell(const sigset_t& previous, const Confinement& confinement, int report,
                               char** argv, char** envp) {
  for_each_recorded_signal([](int signal_number) { set_action(signal_number, SIG_DFL); });
  for (int signal_number : kIgnoredSignals) set_action(signal_number, SIG_DFL);
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
  int error = enter_confinement(confinement);
  if (error != 0 && confinement.required) {
    [[maybe_unused]] ssize_t told = ::write(report, &error, sizeof error);
    ::_exit(127);
  }
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

// What the child told through `report` (closed here): the reason it could
// not restrict itself, or 0 when it ran the shell.
int reported_error(int report) {
  int error = 0;
  ssize_t got;
  do {
    got = ::read(report, &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report);
  return got == sizeof error ? error : 0;
}

int wait_for(pid_t child) {
  int status = 0;
  pid_t ended;
  do {
    ended = ::waitpid(child, &status, 0);
  } while (ended < 0 && errno == EINTR);
  if (ended < 0) return -1;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

void catch_signals() {
  for_each_recorded_signal([](int signal_number) { set_action(signal_number, on_signal); });
  for (int signal_number : kIgnoredSignals) set_action(signal_number, SIG_IGN);
}

bool caller_hung_up() { return g_hung_up != 0; }

int stop_signal() { return g_stop_signal; }

std::string why_not_confined() { return restriction_failure(g_confinement_error); }

int run_shell_script(std::string_view script_name, const ProgramAccess& access) {
  std::string script(script_name);
  std::string search_path = absolute_path_entries(environment_value("PATH"));
  Confinement confinement = build_confinement(access, search_path);
  if (io_failed()) return -1;
  std::vector<std::string> env_text = child_environment(search_path);
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char shell[] = "/bin/sh";
  char* argv[] = {shell, script.data(), nullptr};

  // A signal that comes before the child exists stops it from starting; one
  // that comes later is passed on to it.
  sigset_t recorded = recorded_signals();
  sigset_t previous;
  ::sigprocmask(SIG_BLOCK, &recorded, &previous);
  if (caller_hung_up() || stop_signal() != 0) {
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return -1;
  }
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    record_system_error(errno);
    return -1;
  }
  pid_t child = ::fork();
  if (child == 0) become_shell(previous, confinement, report[1], argv, envp.data());
  ::close(report[1]);
  g_child = child;
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (child < 0) {
    ::close(report[0]);
    return -1;
  }
  int end_status = wait_for(child);
  g_child = 0;
  g_confinement_error = reported_error(report[0]);
  return g_confinement_error != 0 ? kNotConfined : end_status;
}
