#pragma once

#include <string>
#include <string_view>

// The terminal bytes for the program's output, as pure logic: the driver's
// record of where the cursor is, and the bytes that move it, end a line, wrap
// long text and clear the screen, appended to a string that the console then
// writes in one call. No descriptors here.
//
// Sequences sent (VT100/ANSI):
//   ESC [ n A / B / C / D   cursor up / down / right / left by n
//   ESC [ row ; col H       cursor to a position
//   ESC [ H                 cursor to the top left
//   ESC [ 2 J               erase the whole screen
//   ESC [ m                 all attributes off
//   ESC [ 6 n               cursor position query, answered ESC [ row ; col R
inline constexpr std::string_view kCursorPositionQuery = "\x1b[6n";
inline constexpr std::string_view kCursorHome = "\x1b[H";
inline constexpr std::string_view kAttributesOff = "\x1b[m";

struct Screen {
  bool redirected = true;  // no escape sequences at all
  int columns = 80;
  int rows = 25;
  // Where the driver believes the terminal's cursor is (1-based).
  int column = 1;
  int row = 1;
};

// A screen of the given size, clamped to 1..255 (80 by 25 for a size of 0).
Screen make_screen(bool redirected, int columns, int rows);

// Moves the cursor record to (column, row) and appends the bytes that take
// the terminal's cursor there.
void append_cursor_motion(Screen& screen, int column, int row, std::string& out);
void append_line_feed(Screen& screen, std::string& out);
// Plain text, wrapped at the right edge.
void append_text(Screen& screen, std::string_view text, std::string& out);
// A line of the program's output: text with line ends (10) and carriage
// returns (13); other control bytes are shown, never sent (see vt100.cc).
void append_hand_over(Screen& screen, std::string_view bytes, std::string& out);
void append_clear_screen(Screen& screen, std::string& out);
// The program's move_cursor: a column and row outside the screen do nothing.
void append_move_cursor(Screen& screen, int column, int row, std::string& out);

struct CursorReply {
  bool usable = false;
  int row = 0;
  int column = 0;
};

// Reads the answer to the cursor position query out of the bytes of one read.
CursorReply parse_cursor_reply(std::string_view bytes);
