#include "dszlog/send_log.h"

#include "dszlog/dsz_record.h"
#include "dszlog/transfer_log.h"
#include "runtime/io_result.h"

namespace {

// Segments in which the sending program gives up on a file it names.
constexpr std::string_view kFailurePrefixes[] = {"skipped: ", "cannot open ", "is not a file: "};
// sz and sb name a file by its base name; sx by the name it was given,
// followed by ", N blocks: ...".
constexpr std::string_view kSendingReport = "Sending: ";
constexpr std::string_view kXmodemReport = "Sending ";

std::string_view base_name(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The name in sx's "Sending NAME, N blocks: ...": up to the last ", N blocks: ".
std::string_view xmodem_report_name(std::string_view report) {
  for (std::size_t at = report.rfind(", "); at != std::string_view::npos && at > 0;
       at = report.rfind(", ", at - 1)) {
    std::size_t digits = at + 2;
    while (digits < report.size() && report[digits] >= '0' && report[digits] <= '9') ++digits;
    if (digits > at + 2 && report.substr(digits, 9) == " blocks: ") return report.substr(0, at);
  }
  return {};
}

}  // namespace

bool SendLogReader::read_failure_report(std::string_view segment) {
  bool failure = false;
  for (std::string_view prefix : kFailurePrefixes) {
    if (segment.find(prefix) == std::string_view::npos) continue;
    for (std::size_t i = 0; i < table_.size(); ++i) {
      if (holds_name(segment, table_[i], prefix)) {
        report_.file_failed(i);
        failure = true;
      }
    }
  }
  return failure;
}

// A report names the file by its base name (or as listed), so it belongs to
// the first entry of that name or base name that is neither sent nor failed.
void SendLogReader::read_sending_report(std::string_view name) {
  if (name.empty()) return;
  std::size_t fallback = table_.size();
  for (std::size_t i = 0; i < table_.size(); ++i) {
    std::string_view entry = table_[i];
    if (entry.empty() || (entry != name && base_name(entry) != name)) continue;
    if (!report_.credited(i) && !report_.failed(i)) {
      report_.file_reported(i);
      return;
    }
    if (fallback == table_.size() && !report_.failed(i)) fallback = i;
  }
  if (fallback < table_.size()) report_.file_reported(fallback);
}

void SendLogReader::read_whole_name_reports(std::string_view segment) {
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (holds_name(segment, table_[i])) report_.file_reported(i);
  }
}

void SendLogReader::read_line(std::string_view line) {
  for_each_segment(line, [&](std::string_view segment) {
    if (starts_with(segment, kSendingReport)) {
      read_sending_report(segment.substr(kSendingReport.size()));
    } else if (starts_with(segment, kXmodemReport)) {
      read_sending_report(xmodem_report_name(segment.substr(kXmodemReport.size())));
    } else {
      if (!read_failure_report(segment) && !holds_status_word(segment)) {
        read_whole_name_reports(segment);
      }
      report_.read_status(segment);
    }
  });
}

// A name listed twice moved once: its record stands at its first place.
std::vector<bool> SendLogReader::entries_to_record() const {
  std::vector<bool> record(table_.size(), false);
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (!report_.credited(i)) continue;
    std::size_t first = 0;
    while (table_[first] != table_[i]) ++first;
    record[first] = true;
  }
  return record;
}

void translate_send_log(std::string_view transfer_log_path, const FileTable& table,
                        int end_status) {
  SendLogReader reader(table);
  read_transfer_log(transfer_log_path, end_status, reader);
  std::vector<bool> record = reader.entries_to_record();
  for (std::size_t i = 0; i < table.size() && !io_failed(); ++i) {
    if (record[i]) append_send_record(table[i]);
  }
  show_translation_footer();
}
