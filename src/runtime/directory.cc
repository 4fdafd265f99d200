#include "runtime/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/io_result.h"

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr long kFchmodat2 = 452;  // the kernel's number; the C library has no wrapper yet

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

bool entry_is_link(int parent, std::string_view name) {
  struct stat status;
  return ::fstatat(parent, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(status.st_mode);
}

MoveResult claim_failure(int error) {
  return error == EEXIST  ? MoveResult::kNameTaken
         : error == EXDEV ? MoveResult::kOtherFileSystem
                          : MoveResult::kFailed;
}

// The directory `name` below the held one, never through a link and never
// into another mount (openat2, Linux 5.6 and later); where the kernel lacks
// openat2, never onto another device.
Fd open_beneath(int parent, const std::string& name) {
  open_how how{};
  how.flags = kDirectoryFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  long fd;
  do {
    fd = ::syscall(SYS_openat2, parent, name.c_str(), &how, sizeof how);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0 || errno != ENOSYS) return Fd(static_cast<int>(fd));
  Fd opened(open_at(parent, name, kDirectoryFlags));
  if (opened.valid() && !(identity_of(opened.get()).device == identity_of(parent).device)) {
    return Fd();
  }
  return opened;
}

}  // namespace

Fd open_directory(std::string_view path) { return open_file(path, O_RDONLY | O_DIRECTORY); }

Fd open_own_directory(int parent, std::string_view name, bool& gone) {
  std::string text(name);
  gone = false;
  if (::mkdirat(parent, text.c_str(), 0700) != 0 && errno != EEXIST) {
    gone = errno == ENOENT;
    return Fd();
  }
  Fd fd(open_at(parent, name, kDirectoryFlags));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || status.st_uid != ::geteuid()) return Fd();
  if ((status.st_mode & 07777) != 0700) ::fchmod(fd.get(), 0700);
  return fd;
}

std::string make_private_directory(int parent, std::string_view prefix, bool& gone) {
  gone = false;
  if (io_failed()) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(prefix) + random_suffix();
    if (::mkdirat(parent, name.c_str(), 0700) == 0) return name;
    if (errno != EEXIST) break;
  }
  gone = errno == ENOENT;
  if (!gone) record_write_error(errno);
  return {};
}

Fd open_subdirectory(int parent, std::string_view name, bool create, WayProblem& problem) {
  problem = WayProblem::kNone;
  Fd fd(open_at(parent, name, kDirectoryFlags));
  if (!fd.valid() && errno == ENOENT && create) {
    if (::mkdirat(parent, std::string(name).c_str(), 0777) == 0 || errno == EEXIST) {
      fd = Fd(open_at(parent, name, kDirectoryFlags));
    }
  }
  if (!fd.valid()) {
    // With O_DIRECTORY the system calls a link "not a directory": tell them apart.
    int error = errno;
    bool link = (error == ENOTDIR || error == ELOOP) && entry_is_link(parent, name);
    problem = link               ? WayProblem::kLink
              : error == ENOTDIR ? WayProblem::kNotDirectory
                                 : WayProblem::kCannotMake;
    return fd;
  }
  if (!(identity_of(fd.get()).device == identity_of(parent).device)) {
    problem = WayProblem::kOtherFileSystem;
    return Fd();
  }
  return fd;
}

EntryKind entry_kind(int parent, std::string_view name) {
  struct stat status;
  if (::fstatat(parent, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return {true, S_ISREG(status.st_mode), S_ISDIR(status.st_mode),
          FileIdentity{status.st_dev, status.st_ino}};
}

bool still_entry(int parent, std::string_view name, int fd) {
  EntryKind entry = entry_kind(parent, name);
  return entry.exists && entry.identity == identity_of(fd);
}

StagedFile staged_file(int parent, std::string_view name) {
  struct stat status;
  if (::fstatat(parent, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(status.st_mode)) {
    return {};
  }
  return {true, static_cast<long long>(status.st_size), FileIdentity{status.st_dev, status.st_ino},
          static_cast<unsigned>(status.st_mode & 07777), status.st_nlink != 1};
}

bool give_plain_mode(int parent, std::string_view name, unsigned mode) {
  if (mode == plain_mode()) return true;
  std::string text(name);
  // fchmodat2 (Linux 6.6) takes AT_SYMLINK_NOFOLLOW; before it, the file
  // is opened without following a link and changed through its descriptor.
  if (::syscall(kFchmodat2, parent, text.c_str(), plain_mode(), AT_SYMLINK_NOFOLLOW) == 0) {
    return true;
  }
  if (errno != ENOSYS) return false;
  Fd fd(open_at(parent, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd.valid() && is_regular_file(fd.get()) && ::fchmod(fd.get(), plain_mode()) == 0;
}

void give_plain_directory_mode(int directory) { ::fchmod(directory, 0777 & ~creation_mask()); }

MoveResult move_entry(int from, std::string_view from_name, int to, std::string_view to_name) {
  if (::renameat(from, std::string(from_name).c_str(), to, std::string(to_name).c_str()) == 0) {
    return MoveResult::kMoved;
  }
  return errno == EXDEV ? MoveResult::kOtherFileSystem : MoveResult::kFailed;
}

MoveResult move_entry_to_free_name(int from, std::string_view from_name, int to,
                                   std::string_view to_name) {
  std::string source(from_name);
  std::string target(to_name);
  if (::renameat2(from, source.c_str(), to, target.c_str(), RENAME_NOREPLACE) == 0) {
    return MoveResult::kMoved;
  }
  if (errno != EINVAL && errno != ENOSYS) return claim_failure(errno);
  // A file system without the flag: a link claims the name just as well.
  if (::linkat(from, source.c_str(), to, target.c_str(), 0) != 0) {
    int error = errno;
    bool no_links = error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL ||
                    error == EMLINK;
    return no_links ? MoveResult::kNoAtomicClaim : claim_failure(error);
  }
  ::unlinkat(from, source.c_str(), 0);
  return MoveResult::kMoved;
}

MoveResult move_entry_if_free(int from, std::string_view from_name, int to,
                              std::string_view to_name) {
  struct stat status;
  std::string target(to_name);
  if (::fstatat(to, target.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    return MoveResult::kNameTaken;
  }
  if (errno != ENOENT) return MoveResult::kFailed;
  return move_entry(from, from_name, to, to_name);
}

Fd open_lock_file(int parent, std::string_view name) {
  Fd fd(::openat(parent, std::string(name).c_str(),
                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  struct stat status;
  if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return Fd();
  return fd;
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
    std::string_view name(entry->d_name);
    if (name != "." && name != ".." && name.starts_with(prefix)) names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

bool own_leftover(int parent, std::string_view name) {
  constexpr unsigned kWanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_MNT_ID;
  struct statx entry {};
  struct statx held {};
  if (::statx(parent, std::string(name).c_str(), AT_SYMLINK_NOFOLLOW, kWanted, &entry) != 0 ||
      ::statx(parent, "", AT_EMPTY_PATH, STATX_MNT_ID, &held) != 0) {
    return false;
  }
  // A kernel that cannot tell mounts apart gets nothing removed.
  bool mounts_known = (entry.stx_mask & held.stx_mask & STATX_MNT_ID) != 0;
  return mounts_known && entry.stx_mnt_id == held.stx_mnt_id && S_ISDIR(entry.stx_mode) &&
         (entry.stx_mode & 07777) == 0700 && entry.stx_uid == ::geteuid();
}

void remove_tree(int parent, std::string_view name) {
  std::string text(name);
  if (::unlinkat(parent, text.c_str(), 0) == 0 || errno != EISDIR) return;
  Fd held = open_beneath(parent, text);
  DIR* dir = held.valid() ? ::fdopendir(held.get()) : nullptr;
  if (dir == nullptr) return;
  int fd = held.release();
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

void remove_empty_directory(int parent, std::string_view name) {
  ::unlinkat(parent, std::string(name).c_str(), AT_REMOVEDIR);
}
