#include "runtime/command_line.h"

#include <unistd.h>

#include <ctime>

namespace {
int g_argc = 0;
char** g_argv = nullptr;
char** g_envp = nullptr;
}  // namespace

void keep_command_line(int argc, char** argv, char** envp) {
  g_argc = argc;
  g_argv = argv;
  g_envp = envp;
}

int argument_count() { return g_argc > 0 ? g_argc - 1 : 0; }

std::string_view argument(int n) {
  if (n < 0 || n >= g_argc || g_argv == nullptr || g_argv[n] == nullptr) return {};
  return g_argv[n];
}

std::string_view environment_value(std::string_view name) {
  if (g_envp == nullptr) return {};
  for (char** entry = g_envp; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (text.starts_with(name) && text.size() > name.size() && text[name.size()] == '=') {
      return text.substr(name.size() + 1);
    }
  }
  return {};
}

char** environment_block() { return g_envp; }

long long clock_seconds() { return static_cast<long long>(std::time(nullptr)); }

int process_id() { return static_cast<int>(::getpid()); }

unsigned user_id() { return static_cast<unsigned>(::geteuid()); }
