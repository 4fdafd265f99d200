#pragma once

#include <string_view>

#include "runtime/short_string.h"
#include "runtime/text_file.h"

// What both log translations share: the screen they show, and the reading of
// the transfer log line by line (255 bytes at most, a CR before the LF
// dropped, the rest of a longer line skipped).

// Clears the screen and shows "Please wait... " and the DSZ log path.
void show_translation_header();
// An empty line and "Finished.", then the I/O check.
void show_translation_footer();

// Closes the transfer log and ends the program on a pending failure.
void close_transfer_log(TextFile& log);

// Opens the transfer log, hands every line to `on_line`, closes the log and
// checks for a pending failure (a missing log ends the program here).
template <typename OnLine>
void read_transfer_log(std::string_view path, OnLine on_line) {
  TextFile log;
  bind_file(log, path);
  open_for_reading(log);
  while (!at_end_of_file(log)) {
    Str line = read_line(log, 255);
    skip_line(log);
    on_line(line.view());
  }
  close_transfer_log(log);
}
