#include "runtime/vt100.h"

#include <charconv>

namespace {

void append_sequence(int number, char command, std::string& out) {
  out += "\x1b[";
  out += std::to_string(number);
  out += command;
}

int clamp_size(int value, int fallback) {
  if (value <= 0) return fallback;
  return value > 255 ? 255 : value;
}

// Text that ends exactly in the last column leaves a terminal with a pending
// wrap, so the driver ends the row itself. On screens up to 80 columns this
// is the text ending in column 80; on wider screens, the right edge.
bool ends_in_wrap_column(const Screen& screen, std::size_t count) {
  int wrap_column = screen.columns <= 80 ? 80 : screen.columns;
  return screen.column + static_cast<int>(count) == wrap_column + 1;
}

void put_text(Screen& screen, std::string_view text, std::string& out) {
  out += text;
  int column = screen.column + static_cast<int>(text.size());
  screen.column = column > screen.columns ? screen.columns : column;
}

// The length of the well-formed UTF-8 sequence that starts at `at`, or 0.
std::size_t utf8_length(std::string_view bytes, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > bytes.size()) return 0;
  for (std::size_t i = at + 1; i < at + length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

Screen make_screen(bool redirected, int columns, int rows) {
  Screen screen;
  screen.redirected = redirected;
  screen.columns = clamp_size(columns, 80);
  screen.rows = clamp_size(rows, 25);
  return screen;
}

void append_cursor_motion(Screen& screen, int x, int y, std::string& out) {
  int c = screen.column;
  int r = screen.row;
  if (screen.redirected) {
    if (y == r + 1) out += '\n';
  } else if (y == r && x == c) {
    // already there
  } else if (y == r && x == 1) {
    out += '\r';
  } else if (y == r && x > c) {
    append_sequence(x - c, 'C', out);
  } else if (y == r) {
    append_sequence(c - x, 'D', out);
  } else if (x == c && y > r) {
    append_sequence(y - r, 'B', out);
  } else if (x == c) {
    append_sequence(r - y, 'A', out);
  } else if (x == 1 && y == r + 1) {
    out += "\r\n";
  } else {
    out += "\x1b[" + std::to_string(y) + ';' + std::to_string(x) + 'H';
  }
  screen.column = x;
  screen.row = y;
}

void append_line_feed(Screen& screen, std::string& out) {
  if (screen.row == screen.rows) {
    // The terminal scrolls; the cursor stays on the bottom row.
    out += "\n\r";
    screen.column = 1;
    return;
  }
  append_cursor_motion(screen, 1, screen.row + 1, out);
}

void append_text(Screen& screen, std::string_view text, std::string& out) {
  while (!text.empty()) {
    std::size_t room = static_cast<std::size_t>(screen.columns - screen.column + 1);
    if (text.size() <= room && !ends_in_wrap_column(screen, text.size())) {
      put_text(screen, text, out);
      return;
    }
    std::size_t count = text.size() < room ? text.size() : room;
    put_text(screen, text.substr(0, count), out);
    text.remove_prefix(count);
    append_line_feed(screen, out);
  }
}

// Bytes 10 and 13 end a line and return the carriage. The program's own text
// holds no other control bytes, but names may: a backspace moves the cursor
// back one column, a tab becomes spaces up to the next stop of eight, and
// every other control byte is shown in caret notation (ESC as "^[", SO as
// "^N"), a C1 control byte (0x80 to 0x9F, alone or UTF-8 encoded) as the
// ESC sequence it stands for ("^[[" for CSI), so that no name can drive the
// terminal. Other UTF-8 characters pass whole.
void append_hand_over(Screen& screen, std::string_view bytes, std::string& out) {
  std::size_t pending = 0;  // where the text not yet sent starts
  auto replace = [&](std::size_t at, std::size_t length, std::string_view shown) {
    append_text(screen, bytes.substr(pending, at - pending), out);
    append_text(screen, shown, out);
    pending = at + length;
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80) {
      std::size_t length = utf8_length(bytes, i);
      unsigned char control = length == 0 && byte < 0xA0 ? byte : 0;
      if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
        control = static_cast<unsigned char>(bytes[i + 1]);
      }
      if (control != 0)
        replace(i, length == 0 ? 1 : length, std::string{'^', '[', char(control - 0x40)});
      if (length > 0) i += length - 1;
    } else if (byte == '\n' || byte == '\r' || byte == '\b') {
      replace(i, 1, {});
      if (byte == '\n') append_line_feed(screen, out);
      if (byte == '\r') append_cursor_motion(screen, 1, screen.row, out);
      if (byte == '\b' && screen.column > 1) {
        append_cursor_motion(screen, screen.column - 1, screen.row, out);
      }
    } else if (byte == '\t') {
      replace(i, 1, {});
      append_text(screen, std::string(8 - (screen.column - 1) % 8, ' '), out);
    } else if (byte < 0x20) {
      replace(i, 1, std::string{'^', char(byte + 0x40)});
    }
  }
  append_text(screen, bytes.substr(pending), out);
}

void append_clear_screen(Screen& screen, std::string& out) {
  if (!screen.redirected) out += "\x1b[H\x1b[2J";
  screen.column = 1;
  screen.row = 1;
}

void append_move_cursor(Screen& screen, int column, int row, std::string& out) {
  if (column < 1 || column > screen.columns || row < 1 || row > screen.rows) return;
  append_cursor_motion(screen, column, row, out);
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
