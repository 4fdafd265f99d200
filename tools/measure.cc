// Times a command over many runs for scripts/bench:
//
//   measure [--pty] [--before 'SHELL CODE'] RUNS COMMAND ARGS...
//
// With --pty the command runs on a pseudo-terminal that answers the cursor
// position query at once; otherwise its output goes to /dev/null. The shell
// code of --before runs ahead of each run, untimed. Prints
// five numbers: the median wall time in milliseconds, the largest peak
// memory (resident set, the command and its children) in KB (0 on a pty),
// the shortest and longest wall time in milliseconds, and the median
// processor time (user and system, the command and its children) in
// milliseconds (0 on a pty).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/blackbox/harness.h"

extern char** environ;

namespace {

double run_plain(char** argv, long* max_rss_kb, double* cpu_seconds) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) {
    int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::execvp(argv[0], argv);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  *max_rss_kb = std::max(*max_rss_kb, usage.ru_maxrss);
  auto seconds_of = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
  };
  *cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool pty = argc > 1 && std::strcmp(argv[1], "--pty") == 0;
  if (pty) ++first;
  const char* before = nullptr;
  if (argc - first > 1 && std::strcmp(argv[first], "--before") == 0) {
    before = argv[first + 1];
    first += 2;
  }
  if (argc - first < 2) {
    std::fprintf(stderr, "usage: measure [--pty] [--before 'SHELL CODE'] RUNS COMMAND ARGS...\n");
    return 2;
  }
  int runs = std::atoi(argv[first]);
  std::vector<double> seconds;
  std::vector<double> cpu_seconds;
  long max_rss_kb = 0;
  for (int i = 0; i < runs; ++i) {
    if (before != nullptr && std::system(before) != 0) return 1;
    if (pty) {
      RunOptions options;
      options.program = argv[first + 1];
      for (int a = first + 2; a < argc; ++a) options.args.emplace_back(argv[a]);
      for (char** entry = environ; *entry != nullptr; ++entry) options.env.emplace_back(*entry);
      seconds.push_back(run_on_pty(options).seconds);
    } else {
      double cpu = 0;
      seconds.push_back(run_plain(argv + first + 1, &max_rss_kb, &cpu));
      cpu_seconds.push_back(cpu);
    }
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpu_seconds.begin(), cpu_seconds.end());
  double cpu = cpu_seconds.empty() ? 0 : cpu_seconds[cpu_seconds.size() / 2];
  std::printf("%.3f %ld %.3f %.3f %.3f\n", seconds[seconds.size() / 2] * 1000, max_rss_kb,
              seconds.front() * 1000, seconds.back() * 1000, cpu * 1000);
  return 0;
}
