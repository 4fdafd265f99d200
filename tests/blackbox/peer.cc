#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"

namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int fds[2];
    if (::pipe(fds) == 0) {
      read_end = fds[0];
      write_end = fds[1];
    }
  }
};

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
  while (end < output.size() && end < header + 21 &&
         std::strchr("\r\n\x8a\x11", output[end]) != nullptr && output[end] != '\0') {
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

int wait_for(pid_t child, int seconds) {
  for (int i = 0; i < seconds * 20; ++i) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::usleep(50000);
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return -1;
}

}  // namespace

PeerRunResult run_with_peer(const RunOptions& options, const Peer& peer) {
  PeerRunResult result;
  ::signal(SIGPIPE, SIG_IGN);  // a peer that ends early must not end the test
  Pipe to_vurel;
  Pipe from_vurel;
  Pipe vurel_errors;
  pid_t vurel = spawn(options, to_vurel.read_end, from_vurel.write_end, vurel_errors.write_end);
  close_fd(to_vurel.read_end);
  close_fd(from_vurel.write_end);
  close_fd(vurel_errors.write_end);
  ::fcntl(to_vurel.write_end, F_SETFL, O_NONBLOCK);

  Pipe to_peer;
  Pipe from_peer;
  pid_t peer_pid = -1;
  std::string for_peer;
  std::string for_vurel;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeout_seconds);
  while (from_vurel.read_end >= 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd watch[2] = {{from_vurel.read_end, POLLIN, 0}, {from_peer.read_end, POLLIN, 0}};
    ::poll(watch, peer_pid > 0 && from_peer.read_end >= 0 ? 2 : 1, 50);
    char buffer[65536];
    if (watch[0].revents != 0) {
      ssize_t got = ::read(from_vurel.read_end, buffer, sizeof buffer);
      if (got <= 0) {
        close_fd(from_vurel.read_end);
      } else if (peer_pid > 0) {
        result.vurel.output.append(buffer, static_cast<std::size_t>(got));
        for_peer.append(buffer, static_cast<std::size_t>(got));
      } else {
        result.vurel.output.append(buffer, static_cast<std::size_t>(got));
        std::size_t start = peer_start(result.vurel.output, peer.start_on_zmodem_header);
        if (start != std::string::npos) {
          for_peer = result.vurel.output.substr(start);
          RunOptions peer_options;
          peer_options.program = "/bin/sh";
          peer_options.args = {"-c", peer.command};
          peer_options.directory = peer.directory;
          for (char** entry = environ; *entry != nullptr; ++entry)
            peer_options.env.push_back(*entry);
          peer_pid = spawn(peer_options, to_peer.read_end, from_peer.write_end, 2);
          result.peer_started = true;
          close_fd(to_peer.read_end);
          close_fd(from_peer.write_end);
          ::fcntl(to_peer.write_end, F_SETFL, O_NONBLOCK);
        }
      }
    }
    if (peer_pid > 0 && from_peer.read_end >= 0 && watch[1].revents != 0) {
      ssize_t got = ::read(from_peer.read_end, buffer, sizeof buffer);
      if (got <= 0) {
        close_fd(from_peer.read_end);
        if (peer.line_drops_with_peer) {
          close_fd(to_vurel.write_end);
          close_fd(from_vurel.read_end);
        }
      } else {
        for_vurel.append(buffer, static_cast<std::size_t>(got));
      }
    }
    pump(to_peer.write_end, for_peer);
    pump(to_vurel.write_end, for_vurel);
  }
  close_fd(to_vurel.write_end);
  close_fd(to_peer.write_end);
  close_fd(from_vurel.read_end);
  close_fd(from_peer.read_end);
  result.vurel.exit_code = wait_for(vurel, 10);
  if (peer_pid > 0) result.peer_exit_code = wait_for(peer_pid, 10);
  char buffer[4096];
  for (ssize_t got; (got = ::read(vurel_errors.read_end, buffer, sizeof buffer)) > 0;) {
    result.vurel.error_output.append(buffer, static_cast<std::size_t>(got));
  }
  close_fd(vurel_errors.read_end);
  return result;
}
