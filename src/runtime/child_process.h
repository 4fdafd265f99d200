#pragma once

#include <string>
#include <string_view>

#include "runtime/confinement.h"

// The child process and the signals that reach the program meanwhile.
//
// A hang-up (SIGHUP: the caller's line dropped) and every other signal that
// would end the program and may be caught (SIGTERM, SIGINT, SIGQUIT: a BBS
// stopping its door; SIGUSR1, SIGALRM, the real-time signals and the like)
// are recorded instead of ending it, so that the files that moved still
// reach the DSZ log and the terminal is restored. While the protocol program
// runs they are passed on to it: SIGHUP, SIGTERM, SIGINT and SIGQUIT as they
// are, the others as SIGTERM (the program may use them for itself). A write
// to a closed pipe or socket (SIGPIPE) and to a file beyond its size limit
// (SIGXFSZ) fails instead of ending the program. A child restores the
// default actions before it runs the shell. The protocol program's PATH
// keeps only its absolute entries.
void catch_signals();
bool caller_hung_up();
// The stop signal that came, or 0.
int stop_signal();

// Runs `/bin/sh SCRIPT` in a child process on the caller's terminal, confined
// to `access` (confinement.h), and waits for it to end. The script name is
// one argument, whatever bytes it holds. Returns how the child ended: its
// exit status, 128 + N when signal N ended it (as the shell tells it); -1
// when it was not started, because the caller hung up or a stop signal came
// first, no child could be made, or the rules could not be built (that
// failure is pending); kNotConfined when confinement is required and the
// child could not restrict itself, so it never ran the shell. A child that
// cannot execute the shell ends with status 127.
inline constexpr int kNotConfined = -2;
int run_shell_script(std::string_view script_name, const ProgramAccess& access);
// Why the last child could not restrict itself (after kNotConfined).
std::string why_not_confined();
