#include "dszlog/dsz_record.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "dszlog/package_rules.h"
#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"

namespace {

constexpr std::string_view kSendRecordStart = "S  99999 38400 bps 3333 cps   0 errors    66 1024 ";
constexpr std::string_view kReceiveRecordStart = "R  ";
constexpr std::string_view kReceiveRecordMiddle = " 38400 bps 3333 cps   0 errors    66 1024 ";
constexpr std::string_view kRecordEnd = " -1";

std::string g_path;
bool g_default_log = true;
std::string g_forbidden_directory;  // empty when there is none
Fd g_log;
FileIdentity g_identity;  // of the open log

// Receive records and the lines around them, written a batch at a time.
struct Queue {
  std::string records;  // whole lines for the log
  std::string screen;   // whole lines for the screen
};
Queue g_queue;
constexpr std::size_t kBatchBytes = 60 * 1024;

// The size of the fixed parts of a record around its name.
constexpr std::size_t kSendFixed = kSendRecordStart.size() + kRecordEnd.size();
std::size_t receive_fixed(long long size) {
  return kReceiveRecordStart.size() + std::to_string(size).size() + kReceiveRecordMiddle.size() +
         kRecordEnd.size();
}

// The name a record carries: the path, or the base name.
std::string_view name_in_record(std::string_view name, RecordName record_name) {
  return record_name == RecordName::kBase ? base_name(name) : name;
}
std::string_view name_in_send_record(std::string_view name) {
  return name_in_record(name, package_rules().record_name);
}
std::string_view name_in_receive_record(std::string_view path) {
  return name_in_record(path, package_rules().upload_record_name);
}

std::string past(std::size_t limit, std::string_view what) {
  return std::string(what) + " is longer than the " + std::to_string(limit) +
         " bytes the BBS package's reader takes";
}

// Why the reader could not take a record of `fixed` bytes around `name`.
std::string record_problem(std::string_view name, std::size_t fixed) {
  const PackageRules& rules = package_rules();
  if (rules.line_max == 0 && rules.name_word_max == 0 && rules.name_stem_max == 0 &&
      rules.name_extension_max == 0) {
    return {};
  }
  if (rules.line_max != 0 && fixed + name.size() > rules.line_max) {
    return past(rules.line_max, "its record");
  }
  for (std::size_t start = 0; start < name.size();) {
    std::size_t end = name.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view word = name.substr(start, end - start);
    start = end + 1;
    std::size_t dot = word.rfind('.');
    std::size_t stem = dot == std::string_view::npos ? word.size() : dot;
    std::size_t extension = dot == std::string_view::npos ? 0 : word.size() - dot - 1;
    if (rules.name_word_max != 0 && word.size() > rules.name_word_max) {
      return past(rules.name_word_max, "a word of its name");
    }
    if ((rules.name_stem_max != 0 && stem > rules.name_stem_max) ||
        (rules.name_extension_max != 0 && extension > rules.name_extension_max)) {
      return past(std::max(rules.name_stem_max, rules.name_extension_max),
                  "a part of its name around the last dot");
    }
  }
  return {};
}

bool say_not_recorded(std::string_view name, const std::string& problem) {
  if (problem.empty()) return false;
  print_line({"Not recorded : ", name, " (", problem, ")"});
  return true;
}

enum class Opening { kOpened, kLink, kNotRegular, kBelowUploads, kFailed };

// Opens the log for appending, creating it when missing (also through a
// link whose target is gone) and never emptying it; not blocking, so a FIFO
// is refused, never waited on. A failure is pending only for kFailed.
Opening open_log(Fd& log) {
  if (!g_forbidden_directory.empty() && lies_within(g_path, g_forbidden_directory)) {
    return Opening::kBelowUploads;
  }
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | (g_default_log ? O_NOFOLLOW : 0);
  log = open_file(g_path, flags);
  int error = errno;
  if (!log.valid() && error == ELOOP && g_default_log) {
    take_io_result();
    return Opening::kLink;
  }
  if (!log.valid() && (error == EISDIR || error == ENXIO)) {
    take_io_result();
    return Opening::kNotRegular;
  }
  if (!log.valid() && !io_failed()) set_io_error(io_error_number(EACCES));
  if (!log.valid()) return Opening::kFailed;
  return is_regular_file(log.get()) ? Opening::kOpened : Opening::kNotRegular;
}

}  // namespace

void name_dsz_log(std::string_view named, std::string fallback) {
  g_default_log = named.empty();
  g_path = g_default_log ? std::move(fallback) : std::string(named);
}

const std::string& dsz_log_path() { return g_path; }

void refuse_dsz_log_below(std::string_view directory) {
  g_forbidden_directory = directory;
  if (lies_within(g_path, g_forbidden_directory)) {
    refuse({"The DSZ log ", g_path, " lies in the upload directory: refused."});
  }
}

void open_dsz_log() {
  switch (open_log(g_log)) {
    case Opening::kOpened:
      break;
    case Opening::kLink:
      refuse({"The DSZ log is a link, refused : ", g_path});
    case Opening::kNotRegular:
      refuse({"The DSZ log is not a regular file : ", g_path});
    case Opening::kBelowUploads:
      refuse({"The DSZ log ", g_path, " lies in the upload directory: refused."});
    case Opening::kFailed:
      io_check();
  }
  g_identity = identity_of(g_log.get());
}

void settle_dsz_log() {
  if (io_failed() || identity_at(g_path, true) == g_identity) return;
  Fd reopened;
  if (open_log(reopened) == Opening::kOpened) {
    g_log = std::move(reopened);
    g_identity = identity_of(g_log.get());
    return;
  }
  take_io_result();
  print_line({"The DSZ log ", g_path,
              " cannot be opened again; records go to the log opened at the start"});
}

FileIdentity dsz_log_identity() { return g_identity; }

void append_send_record(std::string_view name) {
  std::string_view named = name_in_send_record(name);
  if (say_not_recorded(name, record_problem(named, kSendFixed))) return;
  write_whole_line(g_log.get(), {kSendRecordStart, named, kRecordEnd});
  print_line({"\xfe File Sent :  ", named});
}

void queue_line(std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) g_queue.screen += piece;
  g_queue.screen += '\n';
  if (g_queue.screen.size() > kBatchBytes) flush_queued_records();
}

void queue_receive_record(std::string_view path, long long size) {
  std::string problem = receive_record_problem(path, size);
  if (!problem.empty()) {
    queue_line({"Not recorded : ", path, " (", problem, ")"});
    return;
  }
  std::string_view named = name_in_receive_record(path);
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, size);
  for (std::string_view piece :
       {kReceiveRecordStart, std::string_view(digits, static_cast<std::size_t>(end - digits)),
        kReceiveRecordMiddle, named, kRecordEnd, std::string_view("\n")}) {
    g_queue.records += piece;
  }
  queue_line({"\xfe File Received :  ", named});
  if (g_queue.records.size() > kBatchBytes) flush_queued_records();
}

void flush_queued_records() {
  write_whole_lines(g_log.get(), g_queue.records);
  print_lines(g_queue.screen);  // nothing is shown once a failure is pending
  g_queue.records.clear();
  g_queue.screen.clear();
}

std::string receive_record_problem(std::string_view path, long long size) {
  std::size_t most = package_rules().upload_path_max;
  if (most != 0 && path.size() > most) return past(most, "its path");
  return record_problem(name_in_receive_record(path), receive_fixed(size));
}

NameRoom upload_name_room(std::string_view destination, long long size) {
  const PackageRules& rules = package_rules();
  // Under path records the destination and a slash stand before the name.
  std::size_t before = rules.upload_record_name == RecordName::kPath ? destination.size() + 1 : 0;
  NameRoom room{true, rules.upload_name_max};
  // At most `most` bytes (0: any), of which `taken` are taken already.
  auto limit = [&](std::size_t most, std::size_t taken) {
    if (most == 0) return;
    if (most < taken + kShortestName) {
      room.fits = false;
      return;
    }
    room.longest = room.longest == 0 ? most - taken : std::min(room.longest, most - taken);
  };
  limit(rules.line_max, receive_fixed(size) + before);
  limit(rules.name_word_max, before);
  limit(rules.upload_path_max, destination.size() + 1);
  return room;
}
