#include "dszlog/send_log.h"

#include <algorithm>

#include "dszlog/dsz_record.h"
#include "dszlog/transfer_log.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"

namespace {

// Segments in which the sending program gives up on a file it names.
constexpr std::string_view kFailurePrefixes[] = {"skipped: ", "cannot open ", "is not a file: "};
// sz and sb name a file by its base name; sx by the name it was given,
// followed by ", N blocks: ...".
constexpr std::string_view kSendingReport = "Sending: ";
constexpr std::string_view kXmodemReport = "Sending ";

}  // namespace

std::string_view xmodem_report_name(std::string_view report) {
  for (std::size_t at = report.rfind(", "); at != std::string_view::npos && at > 0;
       at = report.rfind(", ", at - 1)) {
    std::size_t digits = at + 2;
    while (digits < report.size() && report[digits] >= '0' && report[digits] <= '9') ++digits;
    if (digits > at + 2 && report.substr(digits, 9) == " blocks: ") return report.substr(0, at);
  }
  return {};
}

SendLogReader::SendLogReader(const FileTable& table) : table_(table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    outcomes_.add_file();
    std::string_view entry = table[i];
    by_name_.add(entry, i);
    if (entry.empty()) continue;
    by_base_[base_name(entry)].entries.push_back(i);
    if (entry.find('/') != std::string_view::npos) by_path_[entry].entries.push_back(i);
  }
}

// A failure names the file as listed; of the entries of that name it
// belongs to the one being offered: the one reported last, else the first
// still open, else the last one sent.
std::size_t SendLogReader::failed_entry(std::string_view name) const {
  const std::vector<std::size_t>& entries = *by_name_.find(name);
  std::size_t last = outcomes_.last();
  for (std::size_t i : entries) {
    if (i == last && outcomes_.credited(i)) return i;
  }
  for (std::size_t i : entries) {
    if (!outcomes_.credited(i) && !outcomes_.failed(i)) return i;
  }
  for (auto i = entries.rbegin(); i != entries.rend(); ++i) {
    if (outcomes_.credited(*i)) return *i;
  }
  return entries.front();
}

void SendLogReader::read_failure_report(std::string_view segment, bool& failure) {
  for (std::string_view prefix : kFailurePrefixes) {
    // Every entry of a name found is in the list: act once, at its first.
    for (std::size_t i : by_name_.names_in(segment, prefix)) {
      std::string_view name = table_[i];
      if (i == by_name_.find(name)->front()) outcomes_.file_failed(failed_entry(name));
      failure = true;
    }
  }
}

// A report names the file by its base name (or as listed, with its "/"), so
// it belongs to the first entry of that name that is neither sent nor failed,
// else to the first that is not failed.
void SendLogReader::read_sending_report(std::string_view name) {
  if (name.empty()) return;
  auto& index = name.find('/') == std::string_view::npos ? by_base_ : by_path_;
  auto found = index.find(name);
  if (found == index.end()) return;
  Candidates& candidates = found->second;
  const std::vector<std::size_t>& entries = candidates.entries;
  auto open = [&](std::size_t i) { return !outcomes_.credited(i) && !outcomes_.failed(i); };
  while (candidates.first_open < entries.size() && !open(entries[candidates.first_open])) {
    ++candidates.first_open;
  }
  while (candidates.first_not_failed < entries.size() &&
         outcomes_.failed(entries[candidates.first_not_failed])) {
    ++candidates.first_not_failed;
  }
  if (candidates.first_open < entries.size()) {
    outcomes_.file_reported(entries[candidates.first_open]);
  } else if (candidates.first_not_failed < entries.size()) {
    outcomes_.file_reported(entries[candidates.first_not_failed]);
  }
}

// A file cut off is open again: the searches for its name start no later.
void SendLogReader::reopen(std::size_t index) {
  std::string_view entry = table_[index];
  for (auto* index_by : {&by_base_, &by_path_}) {
    auto found = index_by->find(index_by == &by_base_ ? base_name(entry) : entry);
    if (found == index_by->end()) continue;
    Candidates& candidates = found->second;
    auto at = std::lower_bound(candidates.entries.begin(), candidates.entries.end(), index);
    candidates.first_open =
        std::min(candidates.first_open, static_cast<std::size_t>(at - candidates.entries.begin()));
  }
}

void SendLogReader::read_line(std::string_view line) {
  for_each_segment(line, [&](std::string_view segment) {
    if (segment.starts_with(kSendingReport)) {
      read_sending_report(segment.substr(kSendingReport.size()));
    } else if (segment.starts_with(kXmodemReport)) {
      read_sending_report(xmodem_report_name(segment.substr(kXmodemReport.size())));
    } else {
      bool failure = false;
      read_failure_report(segment, failure);
      if (!failure && !holds_status_word(segment)) {
        for (std::size_t i : by_name_.names_in(segment)) outcomes_.file_reported(i);
      }
      outcomes_.read_status(segment);
    }
    for (std::size_t cut = outcomes_.take_cut_off(); cut != FileOutcomes::kNone;
         cut = outcomes_.take_cut_off()) {
      reopen(cut);
    }
  });
}

// A name listed twice moved once: its record stands at its first place.
std::vector<bool> SendLogReader::entries_to_record() const {
  std::vector<bool> record(table_.size(), false);
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (outcomes_.credited(i)) record[by_name_.find(table_[i])->front()] = true;
  }
  return record;
}

void translate_send_log(int log_fd, const FileTable& table, int end_status) {
  SendLogReader reader(table);
  read_transfer_log(log_fd, end_status, reader);
  std::vector<bool> record = reader.entries_to_record();
  for (std::size_t i = 0; i < table.size() && !io_failed(); ++i) {
    if (record[i]) append_send_record(table[i]);
  }
  show_translation_footer();
}
