#include "runtime/console.h"

#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/standard_files.h"
#include "runtime/termination.h"
#include "runtime/vt100.h"

namespace {

constexpr std::size_t kOutputBufferSize = 1024;
constexpr int kQueryWaitMilliseconds = 1000;

struct ConsoleState {
  int terminal_fd = 1;
  Screen screen;
  char output[kOutputBufferSize];
  std::size_t count = 0;
  bool auto_flush = true;
  termios saved{};
  bool saved_valid = false;
  ExitProcedure previous_exit = nullptr;
};

ConsoleState g_console;

// Write errors on the terminal are ignored: a caller who hung up must not
// stop the program from writing its DSZ log.
void write_out_buffer() {
  std::size_t done = 0;
  while (done < g_console.count) {
    ssize_t written =
        ::write(g_console.terminal_fd, g_console.output + done, g_console.count - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  g_console.count = 0;
}

class BufferSink : public ByteSink {
 public:
  void put(std::string_view bytes) override {
    while (!bytes.empty()) {
      std::size_t room = kOutputBufferSize - g_console.count;
      std::size_t take = bytes.size() < room ? bytes.size() : room;
      std::memcpy(g_console.output + g_console.count, bytes.data(), take);
      g_console.count += take;
      bytes.remove_prefix(take);
      if (g_console.count == kOutputBufferSize) write_out_buffer();
    }
  }
};

BufferSink g_sink;

// Runs one send operation with auto-flush off, so its bytes leave in one
// write call when auto-flush is restored.
template <typename Operation>
void in_one_write(Operation operation) {
  bool saved = g_console.auto_flush;
  g_console.auto_flush = false;
  operation();
  g_console.auto_flush = saved;
  if (g_console.auto_flush) write_out_buffer();
}

void hand_over(const char* bytes, std::size_t count) {
  in_one_write([&] { send_hand_over(g_console.screen, std::string_view(bytes, count), g_sink); });
}

void console_shut_down() {
  write_out_buffer();
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
  ssize_t sent;
  do {
    sent = ::write(query_fd, "\x1b[6n", 4);
  } while (sent < 0 && errno == EINTR);
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
  attach_device(standard_output(), hand_over);

  bool redirected = ::tcgetattr(terminal_fd, &g_console.saved) != 0;
  winsize size{};
  bool sized = !redirected && ::ioctl(terminal_fd, TIOCGWINSZ, &size) == 0;
  g_console.screen = make_screen(redirected, sized ? size.ws_col : 80, sized ? size.ws_row : 25);
  if (redirected) return;

  g_console.saved_valid = true;
  enter_raw_mode(terminal_fd, g_console.saved);
  CursorReply reply = ask_cursor_position(query_fd, terminal_fd);
  Screen& screen = g_console.screen;
  if (reply.usable) {
    screen.column =
        static_cast<std::uint8_t>(reply.column > screen.columns ? screen.columns : reply.column);
    screen.row = static_cast<std::uint8_t>(reply.row > screen.rows ? screen.rows : reply.row);
  } else {
    screen.column = 1;
    screen.row = 1;
    g_sink.put("\x1b[H");
  }
  g_sink.put("\x1b[m");
  write_out_buffer();
}

void clear_screen() {
  in_one_write([] { send_clear_screen(g_console.screen, g_sink); });
}

void move_cursor(int column, int row) {
  in_one_write([&] { send_move_cursor(g_console.screen, column, row, g_sink); });
}

bool console_redirected() { return g_console.screen.redirected; }
