#include "runtime/io_result.h"

#include <cerrno>

namespace {
std::uint16_t g_pending = 0;
constexpr std::uint16_t kDiskWriteError = 101;
}  // namespace

bool io_failed() { return g_pending != 0; }

std::uint16_t take_io_result() {
  std::uint16_t result = g_pending;
  g_pending = 0;
  return result;
}

void set_io_error(std::uint16_t number) {
  if (g_pending == 0) g_pending = number;
}

std::uint16_t io_error_number(int system_error) {
  switch (system_error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case ENFILE:
    case EMFILE:
      return 4;
    case EACCES:
    case EEXIST:
    case EROFS:
      return 5;
    case EBADF:
      return 6;
    case EINTR:
    case EIO:
    case EAGAIN:
    case ENOSPC:
    case EPIPE:
      return kDiskWriteError;
    case ETXTBSY:
      return 162;
    case ENOMEM:
    case EFAULT:
      return 217;
    case EINVAL:
      return 218;
    default:
      return 0;
  }
}

void record_system_error(int system_error) {
  std::uint16_t number = io_error_number(system_error);
  if (number != 0) set_io_error(number);
}

void record_write_error(int system_error) {
  std::uint16_t number = io_error_number(system_error);
  set_io_error(number != 0 ? number : kDiskWriteError);
}
