#pragma once

#include <string>
#include <string_view>

#include "runtime/short_string.h"
#include "runtime/text_file.h"

// What both log translations share: the screen they show, and the reading of
// the transfer log line by line (a CR before the LF dropped).

// Clears the screen and shows "Please wait... " and the DSZ log path.
void show_translation_header();
// An empty line and "Finished.", then the I/O check.
void show_translation_footer();

// Closes the transfer log and ends the program on a pending failure.
void close_transfer_log(TextFile& log);

// The transfer log is read in whole lines of up to 64 KiB. Of a longer line
// the rest is skipped, and so is the segment that ran into the cut: a name
// the reader had to cut is never measured or recorded.
inline constexpr std::size_t kMaxLogLine = 64 * 1024;

// Opens the transfer log, hands every line to `on_line`, closes the log and
// checks for a pending failure (a missing log ends the program here).
template <typename OnLine>
void read_transfer_log(std::string_view path, OnLine on_line) {
  TextFile log;
  bind_file(log, path);
  open_for_reading(log);
  std::string line;
  line.reserve(kMaxLogLine);
  bool cut = false;
  while (read_whole_line(log, line, kMaxLogLine, cut)) {
    std::string_view whole = line;
    if (cut) {
      std::size_t last_cr = whole.rfind('\r');
      if (last_cr == std::string_view::npos) continue;
      whole = whole.substr(0, last_cr);
    }
    on_line(whole);
  }
  close_transfer_log(log);
}
