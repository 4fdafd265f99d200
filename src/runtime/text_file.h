#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/short_string.h"

// Line-oriented files with a 256-byte buffer held in the handle. Operations
// never throw and return no error code: a failure becomes the pending I/O
// result, and while one is pending every operation here does nothing.

enum class FileMode : std::uint8_t { kClosed, kInput, kOutput };

// A device's write function receives the bytes the handle has buffered.
using DeviceWrite = void (*)(const char* bytes, std::size_t count);

inline constexpr std::size_t kFileBufferSize = 256;

struct TextFile {
  Str name;
  FileMode mode = FileMode::kClosed;
  int fd = -1;
  bool flush_each_write = false;  // terminal or plain standard channel
  DeviceWrite device = nullptr;   // set for the console's standard output
  std::uint16_t position = 0;     // next byte to read
  std::uint16_t end = 0;          // bytes in the buffer
  char buffer[kFileBufferSize];
};

void bind_file(TextFile& file, std::string_view name);
void open_for_reading(TextFile& file);
// Create-and-truncate, permission bits 0666 less the umask.
void open_for_writing(TextFile& file);
// Every write at the end of the file; a missing file is error 2, not created.
void open_for_appending(TextFile& file);
void close_file(TextFile& file);

// Puts an already open descriptor behind the handle (the standard channels).
void attach_descriptor(TextFile& file, int fd, FileMode mode, bool flush_each_write);
// Binds the handle to a device write function (the console driver).
void attach_device(TextFile& file, DeviceWrite device);

// Reads at most `max_length` bytes of the current line (see text_file.cc).
Str read_line(TextFile& file, std::size_t max_length);
void skip_line(TextFile& file);
// Reads the current line whole into `line`, without its LF and without a CR
// right before the LF. A line longer than `limit` keeps its first `limit`
// bytes, the rest is skipped and `cut` is set. False at the end of the file.
bool read_whole_line(TextFile& file, std::string& line, std::size_t limit, bool& cut);
// True when no byte is left, or when a failure is pending.
bool at_end_of_file(TextFile& file);

void write_text(TextFile& file, std::string_view text);
void write_integer(TextFile& file, long long value);
void write_char(TextFile& file, char c);
void end_line(TextFile& file);
// Writes the pieces and a line feed to the file in one system call, so that
// another process appending to the same file can never split the line.
void write_whole_line(TextFile& file, std::initializer_list<std::string_view> pieces);

// One-line helpers for the common "text, then line end" pattern.
void write_line(TextFile& file, std::string_view text);
