#include "dszlog/send_log.h"

#include "dszlog/dsz_record.h"
#include "dszlog/transfer_log.h"
#include "runtime/hang_up.h"
#include "runtime/io_result.h"

namespace {

// Lines in which the sending program gives up on a file it names.
constexpr std::string_view kFailurePrefixes[] = {"skipped: ", "cannot open ", "is not a file: "};
constexpr std::string_view kSendingReport = "Sending: ";

std::string_view base_name(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The text after the last CR: what the program's last redraw left on the line.
std::string_view after_last_carriage_return(std::string_view line) {
  std::size_t cr = line.rfind('\r');
  return cr == std::string_view::npos ? line : line.substr(cr + 1);
}

}  // namespace

bool SendLogReader::read_failure_report(std::string_view line) {
  bool failure = false;
  for (std::string_view prefix : kFailurePrefixes) {
    if (line.find(prefix) == std::string_view::npos) continue;
    for (std::size_t i = 0; i < table_.size(); ++i) {
      if (holds_name_after(line, prefix, table_[i].view())) {
        report_.file_failed(i);
        failure = true;
      }
    }
  }
  return failure;
}

// "Sending: NAME" names the file by its base name, so it belongs to the first
// entry of that name or base name that is neither sent nor failed yet.
bool SendLogReader::read_sending_report(std::string_view line) {
  std::string_view tail = after_last_carriage_return(line);
  if (tail.substr(0, kSendingReport.size()) != kSendingReport) return false;
  std::string_view name = tail.substr(kSendingReport.size());
  if (name.empty()) return true;
  std::size_t fallback = table_.size();
  for (std::size_t i = 0; i < table_.size(); ++i) {
    std::string_view entry = table_[i].view();
    if (entry.empty() || (entry != name && base_name(entry) != name)) continue;
    if (!report_.credited(i) && !report_.failed(i)) {
      report_.file_reported(i);
      return true;
    }
    if (fallback == table_.size() && !report_.failed(i)) fallback = i;
  }
  if (fallback < table_.size()) report_.file_reported(fallback);
  return true;
}

void SendLogReader::read_whole_name_reports(std::string_view line) {
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (holds_whole_name(line, table_[i].view())) report_.file_reported(i);
  }
}

void SendLogReader::read_line(std::string_view line) {
  if (!read_failure_report(line) && !read_sending_report(line)) read_whole_name_reports(line);
  report_.read_status_line(line);
}

// A name listed twice moved once: its record stands at its first place.
std::vector<bool> SendLogReader::entries_to_record() const {
  std::vector<bool> record(table_.size(), false);
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (!report_.credited(i)) continue;
    std::size_t first = 0;
    while (table_[first].view() != table_[i].view()) ++first;
    record[first] = true;
  }
  return record;
}

void translate_send_log(std::string_view transfer_log_path, const FileTable& table) {
  show_translation_header();
  SendLogReader reader(table);
  read_transfer_log(transfer_log_path, [&](std::string_view line) { reader.read_line(line); });
  if (line_dropped()) reader.line_dropped();
  std::vector<bool> record = reader.entries_to_record();
  for (std::size_t i = 0; i < table.size() && !io_failed(); ++i) {
    if (record[i]) append_send_record(table[i].view());
  }
  show_translation_footer();
}
