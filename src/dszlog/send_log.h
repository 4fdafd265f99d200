#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dszlog/name_match.h"
#include "dszlog/transfer_log.h"

// The names read from the file list, in list order.
using FileTable = std::vector<std::string>;

// Reads the transfer log of a send (held open as `log_fd`) and appends a
// send record, in table order, for every listed file that the sending
// program really sent. `end_status` tells how it ended (see FileOutcomes).
void translate_send_log(int log_fd, const FileTable& table, int end_status);

// The name in sx's "Sending NAME, N blocks: ...": up to the last ", N blocks: ".
std::string_view xmodem_report_name(std::string_view report);

// Decides from the log lines which entries of the table were sent. Entries
// are looked up by name and base name, so the time grows with the log and
// the table, not with their product.
class SendLogReader : public LogReader {
 public:
  explicit SendLogReader(const FileTable& table);
  void read_line(std::string_view line) override;
  // One flag per entry: sent, and the first entry of that name in the table.
  std::vector<bool> entries_to_record() const;

 private:
  // The entries a report may name, in table order, with where the search
  // for one that is open (neither sent nor failed) and for one that is not
  // failed begins: every entry before those places is known not to be.
  struct Candidates {
    std::vector<std::size_t> entries;
    std::size_t first_open = 0;
    std::size_t first_not_failed = 0;
  };

  std::size_t failed_entry(std::string_view name) const;
  void read_failure_report(std::string_view segment, bool& failure);
  void read_sending_report(std::string_view name);
  void reopen(std::size_t index);

  const FileTable& table_;
  NameIndex by_name_;
  std::unordered_map<std::string_view, Candidates> by_base_;
  std::unordered_map<std::string_view, Candidates> by_path_;  // names with a "/"
};
