#include "dszlog/receive_log.h"

#include <string>

#include "dszlog/dsz_record.h"
#include "dszlog/transfer_log.h"
#include "runtime/file_system.h"
#include "runtime/hang_up.h"
#include "runtime/io_result.h"

namespace {

constexpr std::string_view kReceiveMarker = "Receiving:";

bool has_marker(std::string_view line) {
  return line.find(kReceiveMarker) != std::string_view::npos;
}

// The size of a received file; 0 when it cannot be measured, and the failure
// is cleared, so one unreadable file does not cost the others their records.
long long measured_size(std::string_view path) {
  UntypedFile file;
  bind_untyped(file, path);
  open_untyped(file, 1);
  long long size = untyped_size(file);
  close_untyped(file);
  return take_io_result() == 0 ? size : 0;
}

}  // namespace

std::string_view received_name(std::string_view line) {
  std::size_t marker = line.find(kReceiveMarker);
  if (marker == std::string_view::npos) return {};
  std::string_view name = line.substr(marker + kReceiveMarker.size());
  if (!name.empty() && name[0] == ' ') name.remove_prefix(1);
  return name.substr(0, name.find('\r'));
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
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i].view() == name) return i;
  }
  names_.emplace_back(name);
  return report_.add_file();
}

void ReceiveLogReader::read_line(std::string_view line) {
  if (has_marker(line)) {
    std::string_view name = received_name(line);
    if (!name.empty()) report_.file_reported(index_of(name));
  } else {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      std::string_view name = names_[i].view();
      if (holds_name_after(line, "cannot open ", name) ||
          holds_name_before(line, name, " exists") || holds_name_before(line, name, " removed.")) {
        report_.file_failed(i);
      }
    }
  }
  report_.read_status_line(line);
}

std::vector<Str> ReceiveLogReader::received_names() const {
  std::vector<Str> received;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (report_.credited(i)) received.push_back(names_[i]);
  }
  return received;
}

void translate_receive_log(std::string_view transfer_log_path, std::string_view destination) {
  // Measuring a file needs only read access.
  set_file_access_mode(0);
  show_translation_header();
  ReceiveLogReader reader;
  read_transfer_log(transfer_log_path, [&](std::string_view line) { reader.read_line(line); });
  if (line_dropped()) reader.line_dropped();
  for (const Str& name : reader.received_names()) {
    if (io_failed()) break;
    if (!stays_in_destination(name.view())) continue;
    // Joined whole: a record is never cut, whatever the path's length.
    std::string path = std::string(destination) + "/" + std::string(name.view());
    long long size = measured_size(path);
    if (size >= 1) append_receive_record(path, size);
  }
  show_translation_footer();
}
