#pragma once

// The log readers as they were before they were indexed: every report,
// failure and line searched against every entry, quadratic but plainly
// right. The randomised test holds the indexed readers to them.

#include <string>
#include <string_view>
#include <vector>

#include "dszlog/file_outcome.h"
#include "dszlog/name_match.h"
#include "dszlog/send_log.h"
#include "dszlog/transfer_log.h"

namespace oracle {

inline std::string_view base_name(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

class SendReader : public LogReader {
 public:
  explicit SendReader(const std::vector<std::string>& table) : table_(table) {
    for (std::size_t i = 0; i < table.size(); ++i) outcomes_.add_file();
  }
  void read_line(std::string_view line) override {
    for_each_segment(line, [&](std::string_view segment) {
      if (segment.substr(0, 9) == "Sending: ") {
        read_sending_report(segment.substr(9));
      } else if (segment.substr(0, 8) == "Sending ") {
        read_sending_report(xmodem_report_name(segment.substr(8)));
      } else {
        bool failure = false;
        for (std::string_view prefix : {"skipped: ", "cannot open ", "is not a file: "}) {
          for (std::size_t i = 0; i < table_.size(); ++i) {
            if (holds_name(segment, table_[i], prefix)) {
              outcomes_.file_failed(i);
              failure = true;
            }
          }
        }
        if (!failure && !holds_status_word(segment)) {
          for (std::size_t i = 0; i < table_.size(); ++i) {
            if (holds_name(segment, table_[i])) outcomes_.file_reported(i);
          }
        }
        outcomes_.read_status(segment);
      }
    });
  }
  std::vector<bool> entries_to_record() const {
    std::vector<bool> record(table_.size(), false);
    for (std::size_t i = 0; i < table_.size(); ++i) {
      if (!outcomes_.credited(i)) continue;
      std::size_t first = 0;
      while (table_[first] != table_[i]) ++first;
      record[first] = true;
    }
    return record;
  }

 private:
  void read_sending_report(std::string_view name) {
    if (name.empty()) return;
    std::size_t fallback = table_.size();
    for (std::size_t i = 0; i < table_.size(); ++i) {
      std::string_view entry = table_[i];
      if (entry.empty() || (entry != name && base_name(entry) != name)) continue;
      if (!outcomes_.credited(i) && !outcomes_.failed(i)) {
        outcomes_.file_reported(i);
        return;
      }
      if (fallback == table_.size() && !outcomes_.failed(i)) fallback = i;
    }
    if (fallback < table_.size()) outcomes_.file_reported(fallback);
  }

  const std::vector<std::string>& table_;
};

class ReceiveReader : public LogReader {
 public:
  void read_line(std::string_view line) override {
    for_each_segment(line, [&](std::string_view segment) {
      if (segment.substr(0, 11) == "Receiving: ") {
        std::string_view name = segment.substr(11);
        if (!name.empty()) outcomes_.file_reported(index_of(name));
        return;
      }
      for (std::size_t i = 0; i < names_.size(); ++i) {
        const std::string& name = names_[i];
        if (holds_name(segment, name, "cannot open ") || holds_name(segment, name, {}, " exists") ||
            holds_name(segment, name, {}, " removed.")) {
          outcomes_.file_failed(i);
        }
      }
      outcomes_.read_status(segment);
    });
  }
  std::vector<std::string> received_names() const {
    std::vector<std::string> received;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (outcomes_.credited(i)) received.push_back(names_[i]);
    }
    return received;
  }

 private:
  std::size_t index_of(std::string_view name) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) return i;
    }
    names_.emplace_back(name);
    return outcomes_.add_file();
  }

  std::vector<std::string> names_;
};

}  // namespace oracle
