#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "dszlog/name_match.h"
#include "dszlog/transfer_log.h"

// Reads the transfer log of a receive (held open as `log_fd`; `end_status`
// tells how the receiving program ended) and returns the names of the files
// that arrived whole, each once, in the order of their first report.
std::vector<std::string> read_receive_log(int log_fd, int end_status);

// Decides from the log lines which named files arrived; names are looked up,
// so the time grows with the log, not with the number of names squared.
class ReceiveLogReader : public LogReader {
 public:
  void read_line(std::string_view line) override;
  // The names that arrived, each once, in the order of their first report;
  // the reader gives them up.
  std::vector<std::string> take_received_names();

 private:
  std::size_t index_of(std::string_view name);

  std::deque<std::string> names_;  // by index; they never move, so views of them hold
  NameIndex by_name_;              // each name once
};

// A received name as a path below the destination: its empty and "."
// components folded away ("sub//./x.zip" is "sub/x.zip"), in place. False
// when the name cannot be an upload's: absolute, with a ".." component, with
// a control byte, or nothing left.
bool fold_upload_name(std::string& name);
// The same as a copy; empty when the name cannot be an upload's.
std::string folded_upload_name(std::string_view name);

// Whether a name holds a control byte: such a name cannot be told apart in
// the log (a CR or LF ends it there), and BBS packages cannot carry it.
bool holds_control_byte(std::string_view name);
