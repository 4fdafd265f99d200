#include "runtime/run_shell_script.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/command_line.h"
#include "runtime/hang_up.h"
#include "runtime/short_string.h"
#include "runtime/termination.h"

namespace {

// The program's environment, with the protocol program's messages in the C
// locale: the log translations read them, and a translated lrzsz would name
// no file in words they know. The caller never sees these messages.
std::vector<std::string> child_environment() {
  std::vector<std::string> env;
  if (char** entries = environment_block()) {
    for (char** entry = entries; *entry != nullptr; ++entry) {
      std::string_view text(*entry);
      if (text.rfind("LC_ALL=", 0) == 0 || text.rfind("LANGUAGE=", 0) == 0) continue;
      env.emplace_back(text);
    }
  }
  env.emplace_back("LC_ALL=C");
  return env;
}

}  // namespace

int run_shell_script(std::string_view script_name) {
  std::string script(script_name);
  std::vector<std::string> env_text = child_environment();
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);
  char shell[] = "/bin/sh";
  char* argv[] = {shell, script.data(), nullptr};

  pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    restore_default_hang_up();
    ::execve(shell, argv, envp.data());
    halt(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
