#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dszlog/transfer_report.h"

// The names read from the file list, in list order.
using FileTable = std::vector<std::string>;

// Reads the transfer log of a send and appends a send record, in table
// order, for every listed file that the sending program really sent.
// `end_status` tells how the sending program ended (see TransferReport).
void translate_send_log(std::string_view transfer_log_path, const FileTable& table, int end_status);

// Decides from the log lines which entries of the table were sent.
class SendLogReader : public LogReader {
 public:
  explicit SendLogReader(const FileTable& table) : table_(table) {
    for (std::size_t i = 0; i < table.size(); ++i) report_.add_file();
  }
  void read_line(std::string_view line) override;
  // One flag per entry: sent, and the first entry of that name in the table.
  std::vector<bool> entries_to_record() const;

 private:
  bool read_failure_report(std::string_view segment);
  void read_sending_report(std::string_view name);
  void read_whole_name_reports(std::string_view segment);

  const FileTable& table_;
};
