#include "runtime/command_line.h"

#include <cstring>

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

Str argument(int n) {
  if (n < 0 || n >= g_argc || g_argv == nullptr || g_argv[n] == nullptr) return Str();
  return Str(std::string_view(g_argv[n]));
}

Str environment_value(std::string_view name) {
  if (g_envp == nullptr) return Str();
  for (char** entry = g_envp; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (text.size() > name.size() && text.substr(0, name.size()) == name &&
        text[name.size()] == '=') {
      return Str(text.substr(name.size() + 1));
    }
  }
  return Str();
}

char** environment_block() { return g_envp; }
