#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "harness.h"

namespace {

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Where the peer begins in vurel's output: after the "Executing" line, or for
// a Zmodem send after sz's first hex header (ZPAD ZPAD ZDLE 'B', 14 hex
// digits, CR, LF with or without its high bit, XON). npos while not there.
std::size_t peer_start(const std::string& output, bool zmodem_header) {
  std::size_t executing = output.find("Executing ");
  if (executing == std::string::npos) return std::string::npos;
  if (!zmodem_header) {
    std::size_t line_end = output.find('\n', executing);
    return line_end == std::string::npos ? line_end : line_end + 1;
  }
  std::size_t header = output.find(
      "**\x18"
      "B",
      executing);
  if (header == std::string::npos || output.size() < header + 18) return std::string::npos;
  std::size_t end = header + 18;
  while (end < output.size() && end < header + 21 && output[end] != '\0' &&
         std::strchr("\r\n\x8a\x11", output[end]) != nullptr) {
    ++end;
  }
  if (end == output.size() && end < header + 21) return std::string::npos;  // wait for the rest
  return end;
}

// Writes what it can without blocking; keeps the rest.
void pump(int fd, std::string& pending) {
  if (fd < 0 || pending.empty()) return;
  ssize_t written = ::write(fd, pending.data(), pending.size());
  if (written > 0) pending.erase(0, static_cast<std::size_t>(written));
  if (written < 0 && errno != EAGAIN) pending.clear();
}

}  // namespace

PeerRunResult run_with_peer(const RunOptions& options, const Peer& peer) {
  PeerRunResult result;
  ::signal(SIGPIPE, SIG_IGN);  // a peer that ends early must not end the test
  // [0] is read by vurel or the peer, [1] written: to_vurel, from_vurel, ...
  int to_vurel[2], from_vurel[2], to_peer[2], from_peer[2];
  if (::pipe(to_vurel) != 0 || ::pipe(from_vurel) != 0 || ::pipe(to_peer) != 0 ||
      ::pipe(from_peer) != 0) {
    return result;
  }
  std::FILE* errors = std::tmpfile();
  pid_t vurel;
  if (peer.on_terminal) {
    // vurel on a pseudo-terminal: the test reads and writes its master.
    close_fd(from_vurel[0]);
    close_fd(to_vurel[1]);
    int slave = -1;
    winsize size{24, 80, 0, 0};
    if (::openpty(&from_vurel[0], &slave, nullptr, nullptr, &size) != 0) return result;
    to_vurel[1] = ::dup(from_vurel[0]);
    vurel = spawn(options, slave, slave, ::fileno(errors), true);
    ::close(slave);
  } else {
    vurel = spawn(options, to_vurel[0], from_vurel[1], ::fileno(errors));
  }
  close_fd(to_vurel[0]);
  close_fd(from_vurel[1]);
  ::fcntl(to_vurel[1], F_SETFL, O_NONBLOCK);
  ::fcntl(to_peer[1], F_SETFL, O_NONBLOCK);

  pid_t peer_pid = -1;
  std::string& output = result.vurel.output;
  std::string for_peer;
  std::string for_vurel;
  bool answered = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  while (from_vurel[0] >= 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd watch[2] = {{from_vurel[0], POLLIN, 0}, {from_peer[0], POLLIN, 0}};
    ::poll(watch, peer_pid > 0 && from_peer[0] >= 0 ? 2 : 1, 50);
    char buffer[65536];
    if (watch[0].revents != 0) {
      ssize_t got = ::read(from_vurel[0], buffer, sizeof buffer);
      std::size_t start = output.size();
      if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
      if (peer.on_terminal && !answered && output.find("\x1b[6n") != std::string::npos) {
        answered = true;
        for_vurel += "\x1b[1;1R";  // the terminal's answer to the cursor query
      }
      if (got <= 0) {
        close_fd(from_vurel[0]);
      } else if (peer_pid > 0) {
        for_peer += output.substr(start);
      } else if ((start = peer_start(output, peer.start_on_zmodem_header)) != std::string::npos) {
        for_peer = output.substr(start);
        RunOptions peer_options;
        peer_options.program = "/bin/sh";
        peer_options.args = {"-c", peer.command};
        peer_options.directory = peer.directory;
        for (char** entry = environ; *entry != nullptr; ++entry) peer_options.env.push_back(*entry);
        peer_pid = spawn(peer_options, to_peer[0], from_peer[1], 2);
        result.peer_started = true;
        close_fd(to_peer[0]);
        close_fd(from_peer[1]);
      }
    }
    if (peer_pid > 0 && from_peer[0] >= 0 && watch[1].revents != 0) {
      ssize_t got = ::read(from_peer[0], buffer, sizeof buffer);
      if (got > 0) for_vurel.append(buffer, static_cast<std::size_t>(got));
      if (got <= 0) close_fd(from_peer[0]);
      if (got <= 0 && peer.line_drops_with_peer) {
        close_fd(to_vurel[1]);
        close_fd(from_vurel[0]);
      }
    }
    pump(to_peer[1], for_peer);
    pump(to_vurel[1], for_vurel);
  }
  for (int* fd :
       {&to_vurel[1], &from_vurel[0], &to_peer[0], &to_peer[1], &from_peer[0], &from_peer[1]}) {
    close_fd(*fd);
  }
  result.vurel.exit_code = wait_exit_code(vurel, 10);
  if (peer_pid > 0) result.peer_exit_code = wait_exit_code(peer_pid, 10);
  result.vurel.error_output = read_back(errors);
  return result;
}
