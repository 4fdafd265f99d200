#include "runtime/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/io_result.h"

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int open_at(int parent, std::string_view name, int flags) {
  std::string text(name);
  int fd;
  do {
    fd = ::openat(parent, text.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Six letters and digits from the system's random source.
std::string random_suffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, 0) < 0) return "XXXXXX";  // then taken soon: a clear failure
  std::string suffix;
  for (unsigned char byte : bytes) suffix += kLetters[byte % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

Fd open_directory(std::string_view path) { return open_file(path, O_RDONLY | O_DIRECTORY); }

std::string make_private_directory(int parent, std::string_view prefix) {
  if (io_failed()) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(prefix) + random_suffix();
    if (::mkdirat(parent, name.c_str(), 0700) == 0) return name;
    if (errno != EEXIST) break;
  }
  record_write_error(errno);
  return {};
}

Fd open_subdirectory(int parent, std::string_view name, bool create, int& error) {
  int fd = open_at(parent, name, kDirectoryFlags);
  if (fd < 0 && errno == ENOENT && create) {
    if (::mkdirat(parent, std::string(name).c_str(), 0777) == 0 || errno == EEXIST) {
      fd = open_at(parent, name, kDirectoryFlags);
    }
  }
  error = fd < 0 ? errno : 0;
  // With O_DIRECTORY the system calls a link "not a directory": tell them apart.
  struct stat status;
  if (error == ENOTDIR &&
      ::fstatat(parent, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(status.st_mode)) {
    error = ELOOP;
  }
  return Fd(fd);
}

EntryKind entry_kind(int parent, std::string_view name) {
  struct stat status;
  if (::fstatat(parent, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return {true, S_ISREG(status.st_mode), S_ISDIR(status.st_mode),
          FileIdentity{status.st_dev, status.st_ino}};
}

Fd open_regular_file(int parent, std::string_view name, long long& size) {
  Fd fd(open_at(parent, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return Fd();
  size = static_cast<long long>(status.st_size);
  return fd;
}

int move_entry(int from, std::string_view from_name, int to, std::string_view to_name) {
  if (::renameat(from, std::string(from_name).c_str(), to, std::string(to_name).c_str()) == 0) {
    return 0;
  }
  return errno;
}

int move_entry_to_free_name(int from, std::string_view from_name, int to,
                            std::string_view to_name) {
  std::string source(from_name);
  std::string target(to_name);
  if (::renameat2(from, source.c_str(), to, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: a link claims the name just as well.
  if (::linkat(from, source.c_str(), to, target.c_str(), 0) != 0) return errno;
  ::unlinkat(from, source.c_str(), 0);
  return 0;
}

bool may_hold_directories(int directory) {
  struct stat status;
  return ::fstat(directory, &status) != 0 || status.st_nlink != 2;
}

std::vector<std::string> names_starting_with(int directory, std::string_view prefix) {
  std::vector<std::string> names;
  int fd = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    if (fd >= 0) ::close(fd);
    return names;
  }
  ::rewinddir(dir);
  while (dirent* entry = ::readdir(dir)) {
    if (std::string_view(entry->d_name).starts_with(prefix)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

void remove_tree(int parent, std::string_view name) {
  std::string text(name);
  if (::unlinkat(parent, text.c_str(), 0) == 0 || errno != EISDIR) return;
  int fd = open_at(parent, name, kDirectoryFlags);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr) {
    if (fd >= 0) ::close(fd);
    return;
  }
  std::vector<std::string> entries;
  while (dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      entries.emplace_back(entry->d_name);
    }
  }
  for (const std::string& entry : entries) remove_tree(fd, entry);
  ::closedir(dir);
  ::unlinkat(parent, text.c_str(), AT_REMOVEDIR);
}
