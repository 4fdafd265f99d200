#include "dszlog/dsz_record.h"

#include <fcntl.h>

#include <cerrno>

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

void check_not_below_forbidden() {
  if (!g_forbidden_directory.empty() && lies_within(g_path, g_forbidden_directory)) {
    refuse({"The DSZ log ", g_path, " lies in the upload directory: refused."});
  }
}

// A log that was rotated or removed since it was opened is opened anew.
void keep_log_named() {
  if (!io_failed() && !(identity_at(g_path, true) == g_identity)) open_dsz_log();
}

}  // namespace

void name_dsz_log(std::string_view named, std::string fallback) {
  g_default_log = named.empty();
  g_path = g_default_log ? std::move(fallback) : std::string(named);
}

const std::string& dsz_log_path() { return g_path; }

void refuse_dsz_log_below(std::string_view directory) {
  g_forbidden_directory = directory;
  check_not_below_forbidden();
}

void open_dsz_log() {
  check_not_below_forbidden();
  // Not blocking: a FIFO is refused, never waited on.
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | (g_default_log ? O_NOFOLLOW : 0);
  g_log = open_file(g_path, flags);
  int error = errno;
  if (!g_log.valid() && error == ELOOP && g_default_log) {
    take_io_result();
    refuse({"The DSZ log is a link, refused : ", g_path});
  }
  if (!g_log.valid() && (error == EISDIR || error == ENXIO)) {
    take_io_result();
    refuse({"The DSZ log is not a regular file : ", g_path});
  }
  if (!g_log.valid() && !io_failed()) set_io_error(io_error_number(EACCES));
  io_check();
  if (!is_regular_file(g_log.get())) refuse({"The DSZ log is not a regular file : ", g_path});
  g_identity = identity_of(g_log.get());
}

FileIdentity dsz_log_identity() { return g_identity; }

void append_send_record(std::string_view name) {
  keep_log_named();
  write_whole_line(g_log.get(), {kSendRecordStart, name, kRecordEnd});
  print_line({"\xfe File Sent :  ", name});
}

void append_receive_record(std::string_view path, long long size) {
  keep_log_named();
  std::string size_text = std::to_string(size);
  write_whole_line(g_log.get(),
                   {kReceiveRecordStart, size_text, kReceiveRecordMiddle, path, kRecordEnd});
  print_line({"\xfe File Received :  ", path});
}
