#include "dszlog/receive_log.h"

#include <algorithm>
#include <string>

#include "dszlog/transfer_log.h"
#include "runtime/file_system.h"

namespace {

// rz and rb report each file they receive; rx the one it was told to.
constexpr std::string_view kReceiveReports[] = {"Receiving: ", "rx: ready to receive "};

}  // namespace

bool holds_control_byte(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::string folded_upload_name(std::string_view name) {
  if (name.starts_with('/') || holds_control_byte(name)) return {};
  std::string folded;
  for (std::string_view part : parts_between(name, '/')) {
    if (part == "..") return {};
    if (part.empty() || part == ".") continue;
    if (!folded.empty()) folded += '/';
    folded += part;
  }
  return folded;
}

std::size_t ReceiveLogReader::index_of(std::string_view name) {
  auto [entry, added] = indexes_.try_emplace(std::string(name), names_.size());
  if (added) {
    names_.push_back(&entry->first);
    by_name_.add(entry->first, entry->second);
    outcomes_.add_file();
  }
  return entry->second;
}

void ReceiveLogReader::read_line(std::string_view line) {
  for_each_segment(line, [&](std::string_view segment) {
    for (std::string_view report : kReceiveReports) {
      if (!segment.starts_with(report)) continue;
      std::string_view name = segment.substr(report.size());
      if (!name.empty()) outcomes_.file_reported(index_of(name));
      return;
    }
    std::vector<std::size_t> failed = by_name_.names_in(segment, "cannot open ");
    for (std::string_view suffix : {" exists", " removed."}) {
      std::vector<std::size_t> more = by_name_.names_in(segment, {}, suffix);
      failed.insert(failed.end(), more.begin(), more.end());
    }
    std::sort(failed.begin(), failed.end());
    failed.erase(std::unique(failed.begin(), failed.end()), failed.end());
    for (std::size_t i : failed) outcomes_.file_failed(i);
    outcomes_.read_status(segment);
  });
}

std::vector<std::string> ReceiveLogReader::received_names() const {
  std::vector<std::string> received;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (outcomes_.credited(i)) received.push_back(*names_[i]);
  }
  return received;
}

std::vector<std::string> read_receive_log(int log_fd, int end_status) {
  ReceiveLogReader reader;
  read_transfer_log(log_fd, end_status, reader);
  return reader.received_names();
}
