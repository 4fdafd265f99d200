#pragma once

#include <string_view>

#include "runtime/text_file.h"

// The standard text files: input on descriptor 0, output on descriptor 1 (the
// console driver takes it over at start-up), a second, plain output file on
// descriptor 1 for the run-time error report, and error output on 2.
TextFile& standard_input();
TextFile& standard_output();
TextFile& plain_output();
TextFile& error_output();

void bind_standard_files();

// A whole line on the standard output: the text, then a line end.
void print_line(std::string_view text = {});
// A line made of several pieces.
void print_line(std::initializer_list<std::string_view> pieces);
