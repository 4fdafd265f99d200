#pragma once

#include <cstdint>
#include <string_view>

// The terminal bytes for the program's output, as pure logic: the driver's
// record of where the cursor is, and what to send to move it, end a line,
// wrap long text and clear the screen. No descriptors here; the console
// hands in a sink that buffers the bytes.
//
// Sequences sent (VT100/ANSI):
//   ESC [ n A / B / C / D   cursor up / down / right / left by n
//   ESC [ row ; col H       cursor to a position;  ESC [ H  to the top left
//   ESC [ 2 J               erase the whole screen
//   ESC [ m                 all attributes off
//   ESC [ 6 n               cursor position query, answered ESC [ row ; col R

class ByteSink {
 public:
  virtual void put(std::string_view bytes) = 0;

 protected:
  ~ByteSink() = default;
};

struct Screen {
  bool redirected = true;
  std::uint8_t columns = 80;
  std::uint8_t rows = 25;
  // The window is the whole screen; the program never changes it.
  std::uint8_t left = 1, top = 1, right = 80, bottom = 25;
  // Where the driver believes the terminal's cursor is (1-based).
  std::uint8_t column = 1;
  std::uint8_t row = 1;
};

// A screen of the given size, clamped to 1..255, with the window covering it.
Screen make_screen(bool redirected, int columns, int rows);

void send_cursor_move(Screen& screen, int column, int row, ByteSink& sink);
void send_line_feed(Screen& screen, ByteSink& sink);
// Plain text, wrapped at the right edge.
void send_text(Screen& screen, std::string_view text, ByteSink& sink);
// A hand-over from the standard output file: text with line ends (10) and
// carriage returns (13); backspace, tab and escape are tamed, see vt100.cc.
void send_hand_over(Screen& screen, std::string_view bytes, ByteSink& sink);
void send_clear_screen(Screen& screen, ByteSink& sink);
// Column and row relative to the window; outside it nothing happens.
void send_move_cursor(Screen& screen, int column, int row, ByteSink& sink);

struct CursorReply {
  bool usable = false;
  int row = 0;
  int column = 0;
};

// Reads the answer to the cursor position query out of the bytes of one read.
CursorReply parse_cursor_reply(std::string_view bytes);
