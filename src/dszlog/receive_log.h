#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dszlog/name_match.h"
#include "dszlog/transfer_log.h"
#include "runtime/file_system.h"

// What the receive translation reads besides the log itself.
struct ReceiveTranslation {
  std::string_view log_path;
  std::string_view destination;
  const TreeSnapshot* before;            // the destination before the program ran
  std::vector<FileStamp> working_files;  // never an upload
  int end_status;                        // how the receiving program ended
};

// Reads the transfer log of a receive and appends a receive record, with the
// file's size, for every file that this transfer wrote into the destination.
void translate_receive_log(const ReceiveTranslation& transfer);

// Decides from the log lines which named files arrived; names are looked up,
// so the time grows with the log, not with the number of names squared.
class ReceiveLogReader : public LogReader {
 public:
  void read_line(std::string_view line) override;
  // The names that arrived, each once, in the order of their first report.
  std::vector<std::string> received_names() const;

 private:
  std::size_t index_of(std::string_view name);

  std::unordered_map<std::string, std::size_t> indexes_;
  std::vector<const std::string*> names_;  // the keys above, by index
  NameIndex by_name_;
};

// Whether a received name stays inside the destination directory: not
// absolute and without a ".." component (the receiving program refuses them).
bool stays_in_destination(std::string_view name);

// Whether a name holds a control byte: such a name cannot be told apart in
// the log (a CR or LF ends it there), and BBS packages cannot carry it.
bool holds_control_byte(std::string_view name);
