#pragma once

#include <string_view>

// What the process was given: its arguments, its environment, the clock,
// its id.
// The program never changes them.
void keep_command_line(int argc, char** argv, char** envp);

// Number of arguments after the program name.
int argument_count();
// Argument n, whole (0 is the program name as invoked); empty when n is
// greater than the count.
std::string_view argument(int n);
// Value of the first NAME=value entry, whole; empty when unset.
std::string_view environment_value(std::string_view name);
// The environment as received, for a child process.
char** environment_block();

// The clock in whole seconds since the Unix epoch.
long long clock_seconds();

// This process's id: a child process shares the parent's state, not its id.
int process_id();
// The user the program runs as (its effective user id).
unsigned user_id();
