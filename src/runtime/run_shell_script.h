#pragma once

#include <string_view>

// Runs `/bin/sh SCRIPT` in a child process on the caller's terminal and waits
// for it to end. The script name is one argument, whatever bytes it holds.
// The outcome is not reported: a transfer's result is read from its log.
// A child that cannot execute the shell ends with status 127.
void run_shell_script(std::string_view script_name);
