#include "runtime/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/io_result.h"

namespace {

std::uint8_t g_file_access_mode = 2;

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Finds the name under which `child` stands in the open directory `parent_fd`.
// Returns false when no entry matches or the directory cannot be read.
bool find_entry_name(int parent_fd, const struct stat& parent, const struct stat& child, char* name,
                     std::size_t name_size) {
  int list_fd = ::dup(parent_fd);
  if (list_fd < 0) return false;
  DIR* dir = ::fdopendir(list_fd);
  if (dir == nullptr) {
    ::close(list_fd);
    return false;
  }
  bool mount_point = child.st_dev != parent.st_dev;
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (mount_point) {
      struct stat status;
      if (::fstatat(parent_fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!same_file(status, child)) continue;
    } else if (entry->d_ino != child.st_ino) {
      continue;
    }
    std::size_t length = std::strlen(entry->d_name);
    if (length >= name_size) length = name_size - 1;
    std::memcpy(name, entry->d_name, length);
    name[length] = '\0';
    found = true;
    break;
  }
  ::closedir(dir);
  return found;
}

}  // namespace

Str current_directory() {
  struct stat root;
  if (::stat("/", &root) != 0) return Str();
  int dir_fd = ::open(".", O_RDONLY | O_DIRECTORY);
  if (dir_fd < 0) return Str();
  struct stat here;
  if (::fstat(dir_fd, &here) != 0) {
    ::close(dir_fd);
    return Str();
  }
  // Names are gathered from the bottom up, at the end of a buffer.
  char path[4096];
  std::size_t start = sizeof path;
  bool ok = true;
  while (!same_file(here, root)) {
    int parent_fd = ::openat(dir_fd, "..", O_RDONLY | O_DIRECTORY);
    struct stat parent;
    char name[256];
    if (parent_fd < 0 || ::fstat(parent_fd, &parent) != 0 ||
        !find_entry_name(parent_fd, parent, here, name, sizeof name)) {
      if (parent_fd >= 0) ::close(parent_fd);
      ok = false;
      break;
    }
    std::size_t length = std::strlen(name);
    if (length + 1 > start) {
      ::close(parent_fd);
      ok = false;
      break;
    }
    start -= length;
    std::memcpy(path + start, name, length);
    path[--start] = '/';
    ::close(dir_fd);
    dir_fd = parent_fd;
    here = parent;
  }
  ::close(dir_fd);
  if (!ok) return Str();
  return Str(std::string_view(path + start, sizeof path - start));
}

void change_directory(std::string_view path) {
  if (io_failed()) return;
  Str target(path);
  if (::chdir(target.c_str()) != 0) record_system_error(errno);
}

void make_directory(std::string_view path) {
  if (io_failed()) return;
  Str target(path);
  if (::mkdir(target.c_str(), 0777) != 0) record_system_error(errno);
}

void create_file_if_missing(std::string_view path) {
  if (io_failed()) return;
  Str name(path);
  struct stat status;
  if (::lstat(name.c_str(), &status) == 0) return;
  // O_EXCL: a file that another process creates meanwhile is left alone.
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd >= 0) {
    ::close(fd);
  } else if (errno != EEXIST) {
    record_system_error(errno);
  }
}

void set_file_access_mode(std::uint8_t mode) { g_file_access_mode = mode; }

void bind_untyped(UntypedFile& file, std::string_view name) {
  file.name = name;
  file.is_open = false;
  file.fd = -1;
  file.record_size = 1;
}

void open_untyped(UntypedFile& file, long record_size) {
  if (io_failed()) return;
  if (file.is_open) close_untyped(file);
  static constexpr int kFlags[] = {O_RDONLY, O_WRONLY, O_RDWR};
  int flags = kFlags[g_file_access_mode <= 2 ? g_file_access_mode : 2];
  int fd;
  if (!open_for_file_layer(file.name.c_str(), flags, &fd)) return;
  file.fd = fd;
  file.is_open = true;
  file.record_size = record_size > 0 ? record_size : 1;
}

long untyped_size(UntypedFile& file) {
  if (io_failed()) return 0;
  if (!file.is_open) {
    set_io_error(kErrorFileNotOpen);
    return 0;
  }
  struct stat status;
  if (::fstat(file.fd, &status) != 0) {
    record_system_error(errno);
    return 0;
  }
  // A directory opened without failure has no size the program can use.
  if (S_ISDIR(status.st_mode)) {
    set_io_error(io_error_number(EBADF));
    return 0;
  }
  return static_cast<long>(status.st_size / file.record_size);
}

void close_untyped(UntypedFile& file) {
  if (io_failed()) return;
  if (!file.is_open) {
    set_io_error(kErrorFileNotOpen);
    return;
  }
  if (file.fd >= 0) ::close(file.fd);
  file.fd = -1;
  file.is_open = false;
}

namespace {

FileStamp stamp_of(const struct stat& status) {
  FileStamp stamp;
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  stamp.change_ns = static_cast<long long>(status.st_ctim.tv_sec) * 1000000000LL + status.st_ctim.tv_nsec;
  stamp.size = static_cast<long long>(status.st_size);
  return stamp;
}

}  // namespace

std::optional<FileStamp> regular_file_stamp(std::string_view path) {
  std::string name(path);
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status;
  bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  ::close(fd);
  if (!regular) return std::nullopt;
  return stamp_of(status);
}

TreeSnapshot snapshot_tree(std::string_view directory) {
  TreeSnapshot snapshot;
  std::vector<std::string> pending{std::string(directory)};
  while (!pending.empty()) {
    std::string dir_path = std::move(pending.back());
    pending.pop_back();
    int fd = ::open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
      ::close(fd);
      continue;
    }
    while (dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      struct stat status;
      if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(status.st_mode)) snapshot.insert(stamp_of(status));
      if (S_ISDIR(status.st_mode)) pending.push_back(dir_path + "/" + entry->d_name);
    }
    ::closedir(dir);
  }
  return snapshot;
}

std::string resolved_path(std::string_view path) {
  std::string name(path);
  char* resolved = ::realpath(name.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result(resolved);
  std::free(resolved);
  return result;
}
