#include "dszlog/dsz_record.h"

#include <fcntl.h>

#include <cerrno>

#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"

namespace {

constexpr std::string_view kSendRecordStart = "S  99999 38400 bps 3333 cps   0 errors    66 1024 ";
constexpr std::string_view kReceiveRecordStart = "R  ";
constexpr std::string_view kReceiveRecordMiddle = " 38400 bps 3333 cps   0 errors    66 1024 ";
constexpr std::string_view kRecordEnd = " -1";

std::string g_path;
Fd g_log;

}  // namespace

void open_dsz_log(const std::string& path, bool default_log) {
  g_path = path;
  // Not blocking: a FIFO is refused, never waited on.
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | (default_log ? O_NOFOLLOW : 0);
  g_log = open_file(path, flags);
  int error = errno;
  if (!g_log.valid() && error == ELOOP && default_log) {
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
}

const std::string& dsz_log_path() { return g_path; }

void append_send_record(std::string_view name) {
  write_whole_line(g_log.get(), {kSendRecordStart, name, kRecordEnd});
  print_line({"\xfe File Sent :  ", name});
}

void append_receive_record(std::string_view path, long long size) {
  std::string size_text = std::to_string(size);
  write_whole_line(g_log.get(),
                   {kReceiveRecordStart, size_text, kReceiveRecordMiddle, path, kRecordEnd});
  print_line({"\xfe File Received :  ", path});
}
