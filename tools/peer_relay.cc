// Runs vurel with its standard input and output joined to a caller-side
// protocol program, as a caller's terminal program would be: the demo uses
// it for a loopback transfer on one machine.
//
//   peer_relay [--zmodem-send] [--drop] PEER_DIR 'PEER COMMAND' VUREL ARGS...
//
// The environment passes to vurel unchanged. What vurel showed on the screen
// is printed afterwards, without the protocol bytes.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../tests/blackbox/harness.h"

extern char** environ;

int main(int argc, char** argv) {
  int first = 1;
  bool zmodem_send = false;
  bool drop = false;
  for (; first < argc && argv[first][0] == '-' && argv[first][1] == '-'; ++first) {
    zmodem_send = zmodem_send || std::strcmp(argv[first], "--zmodem-send") == 0;
    drop = drop || std::strcmp(argv[first], "--drop") == 0;
  }
  if (argc - first < 3) {
    std::fprintf(
        stderr,
        "usage: peer_relay [--zmodem-send] [--drop] PEER_DIR 'PEER COMMAND' VUREL ARGS...\n");
    return 2;
  }
  RunOptions options;
  options.program = argv[first + 2];
  for (int i = first + 3; i < argc; ++i) options.args.emplace_back(argv[i]);
  for (char** entry = environ; *entry != nullptr; ++entry) options.env.emplace_back(*entry);
  options.timeout_seconds = 120;
  Peer peer{argv[first + 1], argv[first], zmodem_send, drop};
  PeerRunResult result = run_with_peer(options, peer);
  // The screen up to the transfer, then from the translation on.
  const std::string& out = result.vurel.output;
  std::size_t executing = out.find("Executing ");
  std::size_t executing_end = out.find('\n', executing);
  std::size_t after = out.find("\nPlease wait... ");
  std::string screen =
      out.substr(0, executing_end == std::string::npos ? out.size() : executing_end + 1);
  if (after != std::string::npos)
    screen += "   ... the transfer runs here ...\n" + out.substr(after);
  std::fwrite(screen.data(), 1, screen.size(), stdout);
  std::printf("(vurel exit status %d, caller's program exit status %d)\n", result.vurel.exit_code,
              result.peer_exit_code);
  return result.vurel.exit_code;
}
