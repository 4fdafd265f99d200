#pragma once

#include <initializer_list>
#include <string_view>

// The console driver on the caller's terminal (descriptor 1; the cursor query
// goes out on descriptor 0). At start-up it switches a terminal to raw mode,
// asks where the cursor is, and installs its shut-down as exit procedure,
// which restores the terminal. When descriptor 1 is not a terminal it runs
// redirected: 80 by 25, no escape sequences at all. Each operation reaches
// the terminal in one write; write errors are ignored (a caller who hung up
// must not stop the program from writing its DSZ log).
void console_start(int query_fd, int terminal_fd);

// A whole line: the pieces, then a line end. Nothing is shown while a file
// failure is pending.
void print_line(std::initializer_list<std::string_view> pieces);
void print_line(std::string_view text = {});
// Several whole lines (each with its line feed) in one write.
void print_lines(std::string_view lines);
// A usage error or a refusal: shows the line and ends the program with
// status 1.
[[noreturn]] void refuse(std::initializer_list<std::string_view> pieces);

void clear_screen();
// Column and row (1-based); outside the screen nothing happens.
void move_cursor(int column, int row);
