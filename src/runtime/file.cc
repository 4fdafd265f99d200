#include "runtime/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/io_result.h"

namespace {

// Large reads: a transfer log of progress redraws is read in few calls.
constexpr std::size_t kReadSize = 64 * 1024;

// Refills the read buffer when it is empty. Returns false at the end of the file.
bool fill_buffer(TextFile& file) {
  if (file.position < file.end) return true;
  file.position = 0;
  file.end = 0;
  ssize_t got;
  do {
    got = ::read(file.fd.get(), file.buffer.data(), file.buffer.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    record_system_error(errno);
    return false;
  }
  file.end = static_cast<std::size_t>(got);
  return got > 0;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

int Fd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

Fd open_file(std::string_view path, int flags) {
  if (io_failed()) return Fd();
  std::string name(path);
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) record_system_error(errno);
  return Fd(fd);
}

void open_missing_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0) continue;
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0 && null_fd != fd) {
      ::dup2(null_fd, fd);
      ::close(null_fd);
    }
  }
}

bool is_regular_file(int fd) {
  struct stat status;
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

OpenResult open_text_file(TextFile& file, std::string_view path) {
  if (io_failed()) return OpenResult::kFailed;
  file.fd = open_file(path, O_RDONLY | O_NONBLOCK);
  if (!file.fd.valid()) {
    // An untranslated failure still opens nothing.
    if (!io_failed()) set_io_error(io_error_number(EACCES));
    return OpenResult::kFailed;
  }
  if (!is_regular_file(file.fd.get())) {
    file.fd = Fd();
    return OpenResult::kNotRegular;
  }
  file.buffer.resize(kReadSize);
  file.position = 0;
  file.end = 0;
  return OpenResult::kOpened;
}

bool read_line(TextFile& file, std::string& line, std::size_t limit, bool& cut) {
  line.clear();
  cut = false;
  if (io_failed() || !file.fd.valid() || !fill_buffer(file)) return false;
  while (fill_buffer(file)) {
    const char* start = file.buffer.data() + file.position;
    std::size_t available = file.end - file.position;
    const void* lf = std::memchr(start, '\n', available);
    std::size_t count =
        lf == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(lf) - start);
    std::size_t room = limit - line.size();
    line.append(start, count < room ? count : room);
    cut = cut || count > room;
    file.position += count + (lf != nullptr ? 1 : 0);
    if (lf != nullptr) {
      if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
      break;
    }
  }
  return true;
}

void write_whole_line(int fd, std::initializer_list<std::string_view> pieces) {
  if (io_failed()) return;
  if (pieces.size() > kMaxLinePieces) {
    record_write_error(EINVAL);
    return;
  }
  iovec parts[kMaxLinePieces + 1];
  std::size_t count = 0;
  std::size_t total = 1;
  for (std::string_view piece : pieces) {
    parts[count++] = iovec{const_cast<char*>(piece.data()), piece.size()};
    total += piece.size();
  }
  parts[count++] = iovec{const_cast<char*>("\n"), 1};
  ssize_t written;
  do {
    written = ::writev(fd, parts, static_cast<int>(count));
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    record_write_error(errno);
    return;
  }
  if (static_cast<std::size_t>(written) == total) return;
  // After an append the offset is the end of the part written.
  off_t end = ::lseek(fd, 0, SEEK_CUR);
  struct stat status;
  if (end >= written && ::fstat(fd, &status) == 0 && status.st_size == end) {
    if (::ftruncate(fd, end - written) != 0) {
      // Nothing more can be done; the failure below is reported all the same.
    }
  }
  record_write_error(ENOSPC);
}
