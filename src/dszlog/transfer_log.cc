#include "dszlog/transfer_log.h"

#include <string>

#include "dszlog/dsz_record.h"
#include "runtime/child_process.h"
#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/termination.h"

namespace {

// The shell's own message when it cannot run the program: "SCRIPT: 1: exec:
// sz: not found" (status 127), "... Permission denied" or "... Argument list
// too long" (status 126).
constexpr std::string_view kShellExec = "exec: ";

bool shell_could_not_run(int end_status) { return end_status == 126 || end_status == 127; }

}  // namespace

void read_transfer_log(int log_fd, int end_status, LogReader& reader) {
  clear_screen();
  print_line();
  print_line("Please wait... ");
  print_line({"Processing Logfile \"", dsz_log_path(), "\""});
  print_line();
  settle_dsz_log();

  TextFile log;
  read_from_start(log, log_fd);
  std::string line;
  line.reserve(kMaxLogLine);
  bool cut = false;
  bool said = false;
  while (read_line(log, line, kMaxLogLine, cut)) {
    std::string_view whole = line;
    if (cut) {
      std::size_t last_cr = whole.rfind('\r');
      if (last_cr == std::string_view::npos) continue;
      whole = whole.substr(0, last_cr);
    }
    std::size_t exec = whole.find(kShellExec);
    if (shell_could_not_run(end_status) && !said && exec != std::string_view::npos) {
      print_line({"Could not run ", whole.substr(exec + kShellExec.size())});
      said = true;
    }
    reader.read_line(whole);
  }
  io_check();
  // A full disk, for one, leaves the program no room for its messages.
  if (end_status >= 0 && size_of(log_fd) == 0) {
    print_line("The transfer log stayed empty: nothing can be recorded.");
  }
  reader.transfer_ended(end_status, caller_hung_up() || stop_signal() != 0);
}

void show_translation_footer() {
  print_line();
  print_line("Finished.");
  io_check();
}
