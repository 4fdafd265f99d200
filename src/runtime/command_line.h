#pragma once

#include <string_view>

#include "runtime/short_string.h"

// The argument vector and environment the process received at start. The
// program never changes them.
void keep_command_line(int argc, char** argv, char** envp);

// Number of arguments after the program name.
int argument_count();
// Argument n (0 is the program name as invoked), cut to 255 bytes; empty when
// n is greater than the count.
Str argument(int n);
// Value of the first NAME=value entry, cut to 255 bytes; empty when unset.
Str environment_value(std::string_view name);
// The environment as received, for a child process.
char** environment_block();
