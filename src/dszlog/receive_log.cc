#include "dszlog/receive_log.h"

#include <algorithm>
#include <string>

#include "dszlog/dsz_record.h"
#include "dszlog/transfer_log.h"
#include "runtime/io_result.h"

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

bool stays_in_destination(std::string_view name) {
  if (name.empty() || name[0] == '/') return false;
  for (std::size_t start = 0; start <= name.size();) {
    std::size_t slash = name.find('/', start);
    std::size_t end = slash == std::string_view::npos ? name.size() : slash;
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
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

void translate_receive_log(const ReceiveTranslation& transfer) {
  ReceiveLogReader reader;
  read_transfer_log(transfer.log_path, transfer.end_status, reader);
  for (const std::string& name : reader.received_names()) {
    if (io_failed()) break;
    if (!stays_in_destination(name) || holds_control_byte(name)) continue;
    std::string path = std::string(transfer.destination) + "/" + name;
    // Only a file that this transfer wrote is an upload: new, or changed
    // since the look taken before the receiving program started.
    std::optional<FileStamp> stamp = regular_file_stamp(path);
    if (!stamp || stamp->size < 1 || transfer.before->count(*stamp) != 0) continue;
    bool working_file = false;
    for (const FileStamp& own : transfer.working_files) {
      working_file = working_file || (own.device == stamp->device && own.inode == stamp->inode);
    }
    if (!working_file) append_receive_record(path, stamp->size);
  }
  show_translation_footer();
}
