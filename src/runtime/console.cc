#include "runtime/console.h"

#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "runtime/vt100.h"

namespace {

constexpr int kQueryWaitMilliseconds = 1000;

struct ConsoleState {
  int terminal_fd = 1;
  Screen screen;
  std::string output;  // the bytes of one operation, kept to reuse its room
  termios saved{};
  bool saved_valid = false;
  ExitProcedure previous_exit = nullptr;
};

ConsoleState g_console;

void write_out(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Runs one operation on the screen and writes its bytes in one call.
template <typename Operation>
void in_one_write(Operation operation) {
  g_console.output.clear();
  operation(g_console.screen, g_console.output);
  write_out(g_console.terminal_fd, g_console.output);
}

void console_shut_down() {
  if (g_console.saved_valid) ::tcsetattr(g_console.terminal_fd, TCSANOW, &g_console.saved);
  install_exit_procedure(g_console.previous_exit);
}

// Raw mode, applied at once. VMIN and VTIME stay as they were.
void enter_raw_mode(int fd, const termios& original) {
  termios raw = original;
  // Input: no break handling, no parity marking or stripping, no CR/NL
  // translation, no XON/XOFF flow control.
  raw.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  // Output: no processing; the driver sends CR and LF itself.
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  // Local: no echo, no line editing, no signal keys, no extended input.
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // Characters: eight bits, no parity.
  raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  raw.c_cflag |= CS8;
  ::tcsetattr(fd, TCSANOW, &raw);
}

// Sends the cursor position query and reads the answer once, waiting up to a
// second. Everything that one read brings is consumed.
CursorReply ask_cursor_position(int query_fd, int terminal_fd) {
  write_out(query_fd, kCursorPositionQuery);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(terminal_fd, &readable);
  timeval wait{0, kQueryWaitMilliseconds * 1000};
  int ready;
  do {
    ready = ::select(terminal_fd + 1, &readable, nullptr, nullptr, &wait);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return CursorReply();
  char reply[256];
  ssize_t got = ::read(terminal_fd, reply, sizeof reply);
  if (got <= 0) return CursorReply();
  return parse_cursor_reply(std::string_view(reply, static_cast<std::size_t>(got)));
}

}  // namespace

void console_start(int query_fd, int terminal_fd) {
  g_console.previous_exit = install_exit_procedure(console_shut_down);
  g_console.terminal_fd = terminal_fd;

  bool redirected = ::tcgetattr(terminal_fd, &g_console.saved) != 0;
  winsize size{};
  bool sized = !redirected && ::ioctl(terminal_fd, TIOCGWINSZ, &size) == 0;
  g_console.screen = make_screen(redirected, sized ? size.ws_col : 80, sized ? size.ws_row : 25);
  if (redirected) return;

  g_console.saved_valid = true;
  enter_raw_mode(terminal_fd, g_console.saved);
  CursorReply reply = ask_cursor_position(query_fd, terminal_fd);
  Screen& screen = g_console.screen;
  std::string start;
  if (reply.usable) {
    screen.column = reply.column > screen.columns ? screen.columns : reply.column;
    screen.row = reply.row > screen.rows ? screen.rows : reply.row;
  } else {
    screen.column = 1;
    screen.row = 1;
    start += kCursorHome;
  }
  start += kAttributesOff;
  write_out(terminal_fd, start);
}

void print_line(std::initializer_list<std::string_view> pieces) {
  if (io_failed()) return;
  static std::string line;
  line.clear();
  for (std::string_view piece : pieces) line += piece;
  line += '\n';
  in_one_write([](Screen& screen, std::string& out) { append_hand_over(screen, line, out); });
}

void print_line(std::string_view text) { print_line({text}); }

void print_lines(std::string_view lines) {
  if (io_failed() || lines.empty()) return;
  in_one_write([&](Screen& screen, std::string& out) { append_hand_over(screen, lines, out); });
}

void refuse(std::initializer_list<std::string_view> pieces) {
  print_line(pieces);
  halt(1);
}

void clear_screen() { in_one_write(append_clear_screen); }

void move_cursor(int column, int row) {
  in_one_write(
      [&](Screen& screen, std::string& out) { append_move_cursor(screen, column, row, out); });
}
