#include "runtime/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/file.h"
#include "runtime/io_result.h"

namespace {

FileStamp stamp_of(const struct stat& status) {
  FileStamp stamp;
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  stamp.change_ns =
      static_cast<long long>(status.st_ctim.tv_sec) * 1000000000LL + status.st_ctim.tv_nsec;
  stamp.size = static_cast<long long>(status.st_size);
  return stamp;
}

}  // namespace

std::string current_directory() {
  char path[kMaxPath + 1];
  if (::getcwd(path, sizeof path) == nullptr || path[0] != '/') return {};
  return path;
}

void change_directory(std::string_view path) {
  if (io_failed()) return;
  if (::chdir(std::string(path).c_str()) != 0) record_system_error(errno);
}

void make_directory(std::string_view path) {
  if (io_failed()) return;
  if (::mkdir(std::string(path).c_str(), 0777) != 0) record_system_error(errno);
}

bool path_taken(std::string_view path) {
  struct stat status;
  return ::lstat(std::string(path).c_str(), &status) == 0;
}

std::string resolved_path(std::string_view path) {
  char* resolved = ::realpath(std::string(path).c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result(resolved);
  std::free(resolved);
  return result;
}

std::optional<FileStamp> regular_file_stamp(std::string_view path) {
  Fd fd(::open(std::string(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return stamp_of(status);
}

TreeSnapshot snapshot_tree(std::string_view directory) {
  TreeSnapshot snapshot;
  std::vector<std::string> pending{std::string(directory)};
  while (!pending.empty()) {
    std::string path = std::move(pending.back());
    pending.pop_back();
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
      if (fd >= 0) ::close(fd);
      continue;
    }
    while (dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      struct stat status;
      if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(status.st_mode)) snapshot.insert(stamp_of(status));
      if (S_ISDIR(status.st_mode)) pending.push_back(path + "/" + entry->d_name);
    }
    ::closedir(dir);
  }
  return snapshot;
}
