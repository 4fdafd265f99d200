#pragma once

#include <string_view>

// Runs `/bin/sh SCRIPT` in a child process on the caller's terminal and waits
// for it to end. The script name is one argument, whatever bytes it holds.
// Returns how the child ended: its exit status, 128 + N when signal N ended
// it (as the shell tells it), -1 when no child could be made. A child that
// cannot execute the shell ends with status 127.
int run_shell_script(std::string_view script_name);
