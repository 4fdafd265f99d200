#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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
