#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

// Directories, and what the program asks of the files in them. Change and
// make directory do nothing while a failure is pending and leave their own
// failure pending.

// The longest path the system takes (PATH_MAX less its terminating NUL).
inline constexpr std::size_t kMaxPath = 4095;

// The absolute path of the current directory, as the system gives it; empty
// when it cannot be known (a deleted directory, for one).
std::string current_directory();

void change_directory(std::string_view path);
// One level, permission bits 0777 less the umask.
void make_directory(std::string_view path);

// Whether anything (a file, a directory, a link) stands at `path`.
bool path_taken(std::string_view path);

// The absolute path of `path` with every link resolved; empty when a part of
// it does not exist.
std::string resolved_path(std::string_view path);

// What tells one state of a file from another: a file that was written or
// replaced has another inode or another status-change time.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  long long change_ns = 0;  // status-change time in nanoseconds
  long long size = 0;       // not compared
  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && change_ns == other.change_ns;
  }
};
struct FileStampHash {
  std::size_t operator()(const FileStamp& stamp) const {
    return std::hash<long long>()(static_cast<long long>(stamp.inode) * 1000003 + stamp.change_ns) ^
           stamp.device;
  }
};
using TreeSnapshot = std::unordered_set<FileStamp, FileStampHash>;

// The regular file at `path`, opened read-only without blocking and without
// following a link in its last component; nothing for anything else (a
// missing or unreadable file, a directory, a FIFO, a device, a link).
std::optional<FileStamp> regular_file_stamp(std::string_view path);

// The stamps of every regular file in and below `directory` (links are not
// followed), so that a later look can tell which files changed meanwhile.
TreeSnapshot snapshot_tree(std::string_view directory);
