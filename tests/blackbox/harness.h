#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>
#include <termios.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../common/scratch.h"

// Runs the built vurel the way a BBS does: on a pseudo-terminal of a given
// size (answering the cursor query, or not), or with its output redirected.

enum class CursorAnswer { kAtTopLeft, kCustom, kSilent };

struct RunOptions {
  std::string program;            // empty: the built vurel
  std::vector<std::string> args;  // after the program name
  std::vector<std::string> env;   // NAME=value; PATH and VUREL_CONF (an empty file) are added
                                  // when missing
  std::string directory;          // current directory, empty for the test's own
  int columns = 80;
  int rows = 24;
  CursorAnswer answer = CursorAnswer::kAtTopLeft;
  std::string custom_answer;  // bytes sent for kCustom
  int timeout_seconds = 30;
  bool as_nobody = false;    // run as uid and gid 65534 (needs root)
  std::string shell_before;  // shell code run right before vurel, in its process
  long file_size_limit = 0;  // RLIMIT_FSIZE in bytes, SIGXFSZ ignored; 0: none
};

struct RunResult {
  std::string output;        // what reached the terminal (or the redirected file)
  std::string error_output;  // what vurel wrote on descriptor 2
  int exit_code = -1;        // -1 when killed by a signal
  termios before{};          // terminal attributes before and after the run
  termios after{};
  double seconds = 0;
};

std::string vurel_path();
std::string fixture_path(const std::string& name);
// LD_PRELOAD=, the race hook (tests/fixtures/race_hook.cc) from a directory
// every user may read.
std::string race_hook();

// A stand-in protocol program runs the system's tools and writes its call
// record beside the transfer, which a confined program may not: it runs
// unconfined, under this configuration (and this file holding it).
inline constexpr std::string_view kUnconfined = "confine = off\n";
std::string unconfined_configuration();

// Forks and runs the program of `options` (vurel unless another is named)
// with descriptors 0, 1 and 2 set to in, out and err and every other closed;
// on a terminal it leads a session with `in` as its controlling terminal.
pid_t spawn(const RunOptions& options, int in, int out, int err, bool terminal = false);

// Waits for the child's end, killing it after `timeout_seconds`; its exit
// status, -1 when a signal ended it.
int wait_exit_code(pid_t child, int timeout_seconds);
// The whole content of a temporary file that a child wrote; closes it.
std::string read_back(std::FILE* file);

RunResult run_on_pty(const RunOptions& options);
RunResult run_redirected(const RunOptions& options);

// The DSZ records vurel writes, each with its line feed.
std::string sent_record(const std::string& name);
std::string received_record(const std::string& path, long long size);
// The banner's three lines, as every run starts.
inline const std::vector<std::string> kBanner = {
    "Vurel v2.1 FrontEnd for Linux lrzsz for use with BBS Software",
    "Written by the Vurel developers", ""};

// The whole redirected screen of a run that went to its end: the banner, the
// driver's lines, the translation's header, its confirmation lines and
// "Finished.", each with its line end.
std::string whole_screen(const std::vector<std::string>& driver_lines, const std::string& dsz_log,
                         const std::vector<std::string>& confirmations);

// Lines joined with a line end, for building expected output.
std::string join_lines(const std::vector<std::string>& lines, const std::string& line_end);
// Sets NAME=value in `env`, in place of an earlier NAME.
void set_env(std::vector<std::string>& env, const std::string& setting);
// Random bytes, the same for the same seed.
std::string random_bytes(std::size_t count, unsigned seed);

bool same_attributes(const termios& a, const termios& b);

// Whether the run showed `text` (and ended with `exit_code`, when given);
// the whole output when it did not.
::testing::AssertionResult shows(const RunResult& result, const std::string& text,
                                 int exit_code = -2);
// The same for a line that may wrap on the screen: line ends count for
// nothing, in the output and in `text`.
::testing::AssertionResult shows_unwrapped(RunResult result, std::string text, int exit_code = -2);
// The mode of a plain file made now: 0666 less the umask.
unsigned plain_file_mode();

using Lines = std::vector<std::string>;

// A starting directory (scratch/bbs) with stand-ins for sz, sx, sb, rz, rx
// and rb first on PATH: the fake protocol program, which runs `fake_run`
// (shell code that writes the transfer log, makes files, hangs up) and notes
// how it was called. Its runs read scratch/vurel.conf, unconfined.
class FakeTransfer {
 public:
  explicit FakeTransfer(const std::string& start_name = "bbs");
  // vurel with `args`, in the starting directory, output redirected.
  RunOptions options(const Lines& args, const std::string& fake_run = "") const;
  RunResult run(const Lines& args, const std::string& fake_run = "",
                const Lines& extra_env = {}) const;
  // Writes a file list of `names` in the starting directory; its path.
  std::string list(const Lines& names, const std::string& name = "list") const;
  const std::string& start() const { return start_; }
  std::string file(const std::string& name) const { return start_ + "/" + name; }
  // The one file in the starting directory named prefix...suffix.
  std::string only(const std::string& prefix, const std::string& suffix) const;
  std::string calls() const { return read_file(scratch.file("record")); }
  bool program_ran() const { return file_exists(scratch.file("record")); }
  std::string dsz_log() const { return read_file(file("dsz.log")); }
  // Writes the runs' configuration: unconfined, and `settings`.
  void configure(const std::string& settings) const;

  Scratch scratch;

 private:
  std::string start_;
  std::string configuration_;
};

// The files in `dir` whose names start with `prefix` and end with `suffix`, sorted.
std::vector<std::string> files_named(const std::string& dir, const std::string& prefix,
                                     const std::string& suffix);

// The caller's side of a real transfer: a protocol program started once
// vurel has printed its "Executing ..." line, joined to vurel's standard
// input and output through a pair of pipes. For a Zmodem send it starts on
// sz's first Zmodem header and does not pass that header on, as a terminal
// program's auto-start consumes it.
struct Peer {
  std::string command;  // run by /bin/sh -c
  std::string directory;
  bool start_on_zmodem_header = false;
  // The line drops when the peer ends: vurel's side of both pipes closes.
  bool line_drops_with_peer = false;
  // vurel runs on a pseudo-terminal instead of the pipes.
  bool on_terminal = false;
};

struct PeerRunResult {
  RunResult vurel;
  int peer_exit_code = -1;
  bool peer_started = false;
};

PeerRunResult run_with_peer(const RunOptions& options, const Peer& peer);
