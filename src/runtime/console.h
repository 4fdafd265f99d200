#pragma once

// The console driver on the caller's terminal (descriptor 1; the cursor query
// goes out on descriptor 0). At start-up it takes over the standard output
// file, switches a terminal to raw mode, asks where the cursor is, and
// installs its shut-down as exit procedure, which restores the terminal.
// When descriptor 1 is not a terminal it runs redirected: 80 by 25, no
// escape sequences at all.
void console_start(int query_fd, int terminal_fd);

void clear_screen();
// Column and row (1-based) within the window; outside it nothing happens.
void move_cursor(int column, int row);

// Whether the console took descriptor 1 to be redirected (not a terminal).
bool console_redirected();
