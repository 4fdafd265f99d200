#pragma once

#include <string_view>
#include <vector>

#include "dszlog/transfer_report.h"
#include "runtime/short_string.h"

// Reads the transfer log of a receive and appends a receive record, with the
// file's size, for every file that arrived in the destination directory.
void translate_receive_log(std::string_view transfer_log_path, std::string_view destination);

// Decides from the log lines which named files arrived.
class ReceiveLogReader {
 public:
  void read_line(std::string_view line);
  void line_dropped() { report_.line_dropped(); }
  // The names that arrived, each once, in the order of their first report.
  std::vector<Str> received_names() const;

 private:
  std::size_t index_of(std::string_view name);

  std::vector<Str> names_;
  TransferReport report_;
};

// The name that follows the receive marker in `line`: after "Receiving:" and
// one space, up to the line's end or the first CR. Empty without a marker.
std::string_view received_name(std::string_view line);

// Whether a received name stays inside the destination directory: not
// absolute and without a ".." component (the receiving program refuses them).
bool stays_in_destination(std::string_view name);
