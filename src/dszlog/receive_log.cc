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

bool fold_upload_name(std::string& name) {
  if (name.starts_with('/') || holds_control_byte(name)) return false;
  // Most names need no folding: no part is empty, "." or "..".
  bool plain = true;
  for (std::size_t start = 0; start <= name.size() && plain;) {
    std::size_t end = std::min(name.find('/', start), name.size());
    std::string_view part = std::string_view(name).substr(start, end - start);
    plain = !part.empty() && part != "." && part != "..";
    start = end + 1;
  }
  if (plain) return true;
  std::string folded;
  for (std::string_view part : parts_between(name, '/')) {
    if (part == "..") return false;
    if (part.empty() || part == ".") continue;
    if (!folded.empty()) folded += '/';
    folded += part;
  }
  name = std::move(folded);
  return !name.empty();
}

std::string folded_upload_name(std::string_view name) {
  std::string folded(name);
  return fold_upload_name(folded) ? folded : std::string();
}

std::size_t ReceiveLogReader::index_of(std::string_view name) {
  if (const std::vector<std::size_t>* found = by_name_.find(name)) return found->front();
  std::size_t index = names_.size();
  by_name_.add(names_.emplace_back(name), index);
  outcomes_.add_file();
  return index;
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

std::vector<std::string> ReceiveLogReader::take_received_names() {
  std::vector<std::string> received;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (outcomes_.credited(i)) received.push_back(std::move(names_[i]));
  }
  by_name_ = NameIndex();
  return received;
}

std::vector<std::string> read_receive_log(int log_fd, int end_status) {
  ReceiveLogReader reader;
  read_transfer_log(log_fd, end_status, reader);
  return reader.take_received_names();
}
