#include "runtime/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

FileIdentity identity_of(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return {};
  return {status.st_dev, status.st_ino};
}

FileIdentity identity_at(std::string_view path, bool follow_links) {
  struct stat status;
  std::string text(path);
  if ((follow_links ? ::stat(text.c_str(), &status) : ::lstat(text.c_str(), &status)) != 0) {
    return {};
  }
  return {status.st_dev, status.st_ino};
}

bool still_named(std::string_view path, int fd) {
  FileIdentity identity = identity_of(fd);
  return identity.inode != 0 && identity == identity_at(path, false);
}

void remove_if_still_named(std::string_view path, int fd) {
  if (still_named(path, fd)) ::unlink(std::string(path).c_str());
}

bool leads_to(const std::string& path, FileIdentity identity) {
  struct statx status {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_INO, &status) != 0) return false;
  return identity.inode != 0 && status.stx_ino == identity.inode &&
         makedev(status.stx_dev_major, status.stx_dev_minor) == identity.device;
}

long long size_of(int fd) {
  struct stat status;
  return ::fstat(fd, &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

bool lock_for_this_run(int fd) {
  if (io_failed()) return false;
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return true;
  if (errno != EWOULDBLOCK) record_system_error(errno);
  return false;
}

bool wait_for_lock(int fd) {
  int result;
  do {
    result = ::flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

void let_go_of_lock(int fd) { ::flock(fd, LOCK_UN); }

void empty_file(int fd) {
  if (io_failed()) return;
  if (::ftruncate(fd, 0) != 0) record_write_error(errno);
}

void let_the_owner_read_and_write(int fd) {
  struct stat status;
  constexpr mode_t kNeeded = S_IRUSR | S_IWUSR;
  if (::fstat(fd, &status) == 0 && (status.st_mode & kNeeded) != kNeeded) {
    ::fchmod(fd, (status.st_mode & 07777) | kNeeded);
  }
}

unsigned creation_mask() {
  // The umask, read once: setting it to read it back is safe in one thread.
  static const unsigned kMask = [] {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<unsigned>(mask);
  }();
  return kMask;
}

unsigned plain_mode() { return 0666 & ~creation_mask(); }

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

WholeRead read_whole_file(std::string_view path, std::size_t most, std::string& text) {
  text.clear();
  // Not blocking on the open (a FIFO without a writer); reading waits.
  Fd fd(::open(std::string(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? WholeRead::kMissing : WholeRead::kFailed;
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return WholeRead::kFailed;
  text.resize(most + 1);
  std::size_t got = 0;
  while (got < text.size()) {
    ssize_t part = ::read(fd.get(), text.data() + got, text.size() - got);
    if (part < 0 && errno == EINTR) continue;
    if (part < 0) return WholeRead::kFailed;
    if (part == 0) break;
    got += static_cast<std::size_t>(part);
  }
  text.resize(got);
  return got > most ? WholeRead::kTooLarge : WholeRead::kRead;
}

void read_from_start(TextFile& file, int fd) {
  if (io_failed()) return;
  file.fd = Fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!file.fd.valid() || ::lseek(file.fd.get(), 0, SEEK_SET) < 0) {
    record_system_error(errno);
    file.fd = Fd();
    return;
  }
  file.buffer.resize(kReadSize);
  file.position = 0;
  file.end = 0;
}

bool read_line(TextFile& file, std::string& line, std::size_t limit, bool& cut) {
  line.clear();
  cut = false;
  if (io_failed() || !file.fd.valid() || !fill_buffer(file)) return false;
  // One byte more than the limit is kept, so that a CR before the LF does
  // not count against it.
  bool ended = false;
  while (!ended && fill_buffer(file)) {
    const char* start = file.buffer.data() + file.position;
    std::size_t available = file.end - file.position;
    const void* lf = std::memchr(start, '\n', available);
    ended = lf != nullptr;
    std::size_t count =
        ended ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : available;
    std::size_t room = limit + 1 - line.size();
    line.append(start, count < room ? count : room);
    cut = cut || count > room;
    file.position += count + (ended ? 1 : 0);
  }
  if (ended && !cut && !line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > limit) {
    cut = true;
    line.resize(limit);
  }
  return true;
}

namespace {

// Writes the parts in one system call; a part that the file took only in
// part is cut off again (see write_whole_line).
void write_whole(int fd, const iovec* parts, std::size_t count, std::size_t total) {
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

}  // namespace

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
  write_whole(fd, parts, count, total);
}

void write_whole_lines(int fd, std::string_view lines) {
  if (io_failed() || lines.empty()) return;
  iovec part{const_cast<char*>(lines.data()), lines.size()};
  write_whole(fd, &part, 1, lines.size());
}
