#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "runtime/short_string.h"

// Directories and the size query. Like the text files, every operation does
// nothing while a failure is pending and leaves its own failure pending.

// The absolute physical path of the current directory, found by walking up
// through the parent directories. Empty for the root directory itself (no
// name is joined there) and when the path cannot be determined.
Str current_directory();

void change_directory(std::string_view path);
// One level, permission bits 0777 less the umask.
void make_directory(std::string_view path);

// Creates an empty file (0666 less the umask) when none of that name exists.
// An existing file is never opened, emptied or changed, whatever its
// permission bits. A failure to create stays pending.
void create_file_if_missing(std::string_view path);

// A file opened only to ask for its size. Its name is not cut: a received
// file deep below a long upload path is measured all the same.
struct UntypedFile {
  std::string name;
  bool is_open = false;
  int fd = -1;
  long record_size = 1;
};

// 0 read-only, 1 write-only, 2 read-write (the default). Only the untyped
// open reads it.
void set_file_access_mode(std::uint8_t mode);

void bind_untyped(UntypedFile& file, std::string_view name);
// Opens an existing file with the file-access mode in force; never creates.
void open_untyped(UntypedFile& file, long record_size);
// Size in records; 0 when the status call fails, with that failure pending.
long untyped_size(UntypedFile& file);
void close_untyped(UntypedFile& file);

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
    return std::hash<long long>()(static_cast<long long>(stamp.inode) * 31 + stamp.change_ns) ^
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

// The absolute path of `path` with every link resolved; empty when a part of
// it does not exist.
std::string resolved_path(std::string_view path);
