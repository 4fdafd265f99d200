#include "runtime/vt100.h"

#include <charconv>

#include "runtime/short_string.h"

namespace {

void set_record(Screen& screen, int column, int row) {
  screen.column = static_cast<std::uint8_t>(column);
  screen.row = static_cast<std::uint8_t>(row);
}

void send_sequence(ByteSink& sink, int number, char command) {
  ShortString<16> bytes("\x1b[");
  bytes += integer_text(number);
  bytes += command;
  sink.put(bytes);
}

std::uint8_t clamp_size(int value, int fallback) {
  if (value <= 0) return static_cast<std::uint8_t>(fallback);
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

// Text that ends exactly in the last column leaves a terminal with a pending
// wrap, so the driver ends the row itself. On screens up to 80 columns this
// is the text ending in column 80; on wider screens, the right edge.
bool ends_in_wrap_column(const Screen& screen, int column, std::size_t count) {
  int wrap_column = screen.right <= 80 ? 80 : screen.right;
  return column + static_cast<int>(count) == wrap_column + 1;
}

void put_text(Screen& screen, std::string_view text, ByteSink& sink) {
  sink.put(text);
  int column = screen.column + static_cast<int>(text.size());
  screen.column = static_cast<std::uint8_t>(column > screen.columns ? screen.columns : column);
}

}  // namespace

Screen make_screen(bool redirected, int columns, int rows) {
  Screen screen;
  screen.redirected = redirected;
  screen.columns = clamp_size(columns, 80);
  screen.rows = clamp_size(rows, 25);
  screen.right = screen.columns;
  screen.bottom = screen.rows;
  return screen;
}

void send_cursor_move(Screen& screen, int x, int y, ByteSink& sink) {
  int c = screen.column;
  int r = screen.row;
  if (screen.redirected) {
    if (y == r + 1) sink.put("\n");
  } else if (y == r && x == c) {
    // already there
  } else if (y == r && x == 1) {
    sink.put("\r");
  } else if (y == r && x > c) {
    send_sequence(sink, x - c, 'C');
  } else if (y == r) {
    send_sequence(sink, c - x, 'D');
  } else if (x == c && y > r) {
    send_sequence(sink, y - r, 'B');
  } else if (x == c) {
    send_sequence(sink, r - y, 'A');
  } else if (x == 1 && y == r + 1) {
    sink.put("\r\n");
  } else {
    ShortString<24> bytes("\x1b[");
    bytes += integer_text(y);
    bytes += ';';
    bytes += integer_text(x);
    bytes += 'H';
    sink.put(bytes);
  }
  set_record(screen, x, y);
}

void send_line_feed(Screen& screen, ByteSink& sink) {
  if (screen.row == screen.bottom) {
    // The terminal scrolls; the cursor stays on the bottom row.
    sink.put("\n\r");
    set_record(screen, screen.left, screen.bottom);
    return;
  }
  send_cursor_move(screen, screen.left, screen.row + 1, sink);
}

void send_text(Screen& screen, std::string_view text, ByteSink& sink) {
  while (!text.empty()) {
    std::size_t room = static_cast<std::size_t>(screen.right - screen.column + 1);
    if (text.size() > room || ends_in_wrap_column(screen, screen.column, text.size())) {
      std::size_t count = text.size() < room ? text.size() : room;
      put_text(screen, text.substr(0, count), sink);
      text.remove_prefix(count);
      send_line_feed(screen, sink);
    } else {
      put_text(screen, text, sink);
      return;
    }
  }
}

// Bytes 10 and 13 end a line and return the carriage. The program's own text
// holds no other control bytes, but names may: a backspace moves the cursor
// back one column, a tab becomes spaces up to the next stop of eight, and an
// escape byte is shown as "^[" so that no name can drive the terminal.
void send_hand_over(Screen& screen, std::string_view bytes, ByteSink& sink) {
  std::size_t pending_start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char byte = bytes[i];
    if (byte != '\n' && byte != '\r' && byte != '\b' && byte != '\t' && byte != '\x1b') continue;
    send_text(screen, bytes.substr(pending_start, i - pending_start), sink);
    pending_start = i + 1;
    switch (byte) {
      case '\n':
        send_line_feed(screen, sink);
        break;
      case '\r':
        send_cursor_move(screen, screen.left, screen.row, sink);
        break;
      case '\b':
        if (screen.column > screen.left)
          send_cursor_move(screen, screen.column - 1, screen.row, sink);
        break;
      case '\t': {
        static constexpr std::string_view kSpaces = "        ";
        send_text(screen, kSpaces.substr(0, 8 - (screen.column - 1) % 8), sink);
        break;
      }
      default:
        send_text(screen, "^[", sink);
        break;
    }
  }
  send_text(screen, bytes.substr(pending_start), sink);
}

void send_clear_screen(Screen& screen, ByteSink& sink) {
  if (!screen.redirected) sink.put("\x1b[H\x1b[2J");
  set_record(screen, screen.left, screen.top);
}

void send_move_cursor(Screen& screen, int column, int row, ByteSink& sink) {
  int width = screen.right - screen.left + 1;
  int height = screen.bottom - screen.top + 1;
  if (column < 1 || column > width || row < 1 || row > height) return;
  send_cursor_move(screen, screen.left + column - 1, screen.top + row - 1, sink);
}

namespace {

// Decimal number of the whole text; -1 when it is empty or holds a non-digit.
int parse_number(std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return -1;
  return value;
}

}  // namespace

// The reply has the form ESC [ row ; column R. The scan looks for the first
// position holding ESC or followed by "[", giving up when fewer than 6 bytes
// would remain from there; the numbers are read from the 16 bytes that start
// two places after it.
CursorReply parse_cursor_reply(std::string_view bytes) {
  CursorReply reply;
  std::size_t at = 0;
  for (;; ++at) {
    if (bytes.size() < at + 6) return reply;
    if (bytes[at] == '\x1b' || bytes[at + 1] == '[') break;
  }
  std::string_view field = bytes.substr(at + 2, 16);
  std::size_t semicolon = field.find(';');
  if (semicolon == std::string_view::npos) return reply;
  std::string_view column_text = field.substr(semicolon + 1);
  column_text = column_text.substr(0, column_text.find('R'));
  reply.row = parse_number(field.substr(0, semicolon));
  reply.column = parse_number(column_text);
  reply.usable = reply.row > 0 && reply.column > 0;
  return reply;
}
