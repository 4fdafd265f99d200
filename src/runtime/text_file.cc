#include "runtime/text_file.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/io_result.h"

namespace {

bool is_standard_descriptor(int fd) { return fd >= 0 && fd <= 2; }

// Writes all bytes to a descriptor, retrying short writes. Records a failure.
void write_all(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    ssize_t written = ::write(fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      record_system_error(errno);
      return;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
}

void flush_buffer(TextFile& file) {
  if (file.end == 0) return;
  if (file.device != nullptr) {
    file.device(file.buffer, file.end);
  } else {
    write_all(file.fd, file.buffer, file.end);
  }
  file.end = 0;  // emptied even after a failed write
}

// Refills the read buffer when it is empty. Returns false at the end of the file.
bool fill_buffer(TextFile& file) {
  if (file.position < file.end) return true;
  file.position = 0;
  file.end = 0;
  ssize_t got;
  do {
    got = ::read(file.fd, file.buffer, kFileBufferSize);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    record_system_error(errno);
    return false;
  }
  file.end = static_cast<std::uint16_t>(got);
  return got > 0;
}

bool ready_for_input(TextFile& file) {
  if (io_failed()) return false;
  if (file.mode != FileMode::kInput) {
    set_io_error(kErrorNotOpenForInput);
    return false;
  }
  return true;
}

bool ready_for_output(TextFile& file) {
  if (io_failed()) return false;
  if (file.mode != FileMode::kOutput) {
    set_io_error(kErrorNotOpenForOutput);
    return false;
  }
  return true;
}

void open_with(TextFile& file, int flags, FileMode mode) {
  if (io_failed()) return;
  if (file.mode != FileMode::kClosed) {
    close_file(file);
    if (io_failed()) return;
  }
  file.position = 0;
  file.end = 0;
  file.device = nullptr;
  int fd;
  if (file.name.empty()) {
    fd = mode == FileMode::kInput ? 0 : 1;
  } else if (!open_for_file_layer(file.name.c_str(), flags, &fd)) {
    return;
  }
  file.fd = fd;
  file.mode = mode;
  file.flush_each_write = mode == FileMode::kOutput && fd >= 0 && ::isatty(fd) == 1;
}

}  // namespace

void bind_file(TextFile& file, std::string_view name) {
  file.name = name;
  file.mode = FileMode::kClosed;
  file.fd = -1;
  file.device = nullptr;
  file.position = 0;
  file.end = 0;
}

void open_for_reading(TextFile& file) { open_with(file, O_RDONLY, FileMode::kInput); }

void open_for_writing(TextFile& file) {
  open_with(file, O_WRONLY | O_CREAT | O_TRUNC, FileMode::kOutput);
}

void open_for_appending(TextFile& file) { open_with(file, O_WRONLY | O_APPEND, FileMode::kOutput); }

void close_file(TextFile& file) {
  if (io_failed() || file.mode == FileMode::kClosed) return;
  if (file.mode == FileMode::kOutput) flush_buffer(file);
  if (file.fd >= 0 && !is_standard_descriptor(file.fd)) {
    if (::close(file.fd) != 0 && errno != EINTR) record_system_error(errno);
  }
  file.fd = -1;
  file.mode = FileMode::kClosed;
  file.position = 0;
  file.end = 0;
}

void attach_descriptor(TextFile& file, int fd, FileMode mode, bool flush_each_write) {
  bind_file(file, "");
  file.fd = fd;
  file.mode = mode;
  file.flush_each_write = flush_each_write;
}

void attach_device(TextFile& file, DeviceWrite device) {
  file.device = device;
  file.flush_each_write = false;
}

// Reads the current line up to `max_length` bytes. Only LF ends a line. When
// the line is shorter than the maximum and an LF ends it, one CR right before
// the LF is dropped; every other CR stays. The position stays after the last
// byte taken, so the skip that follows discards the rest of the line.
Str read_line(TextFile& file, std::size_t max_length) {
  Str line;
  if (!ready_for_input(file)) return line;
  if (max_length > 255) max_length = 255;
  bool ended_by_lf = false;
  while (line.size() < max_length && fill_buffer(file)) {
    const char* start = file.buffer + file.position;
    std::size_t available = file.end - file.position;
    std::size_t wanted = max_length - line.size();
    std::size_t count = available < wanted ? available : wanted;
    const void* lf = std::memchr(start, '\n', count);
    if (lf != nullptr) count = static_cast<std::size_t>(static_cast<const char*>(lf) - start);
    line += std::string_view(start, count);
    file.position = static_cast<std::uint16_t>(file.position + count);
    if (lf != nullptr) {
      ended_by_lf = true;
      break;
    }
  }
  if (ended_by_lf && line.size() < max_length && !line.empty() && line[line.size() - 1] == '\r') {
    line = line.view().substr(0, line.size() - 1);
  }
  return line;
}

void skip_line(TextFile& file) {
  if (!ready_for_input(file)) return;
  while (fill_buffer(file)) {
    const char* start = file.buffer + file.position;
    std::size_t available = file.end - file.position;
    const void* lf = std::memchr(start, '\n', available);
    if (lf != nullptr) {
      file.position =
          static_cast<std::uint16_t>(file.position + (static_cast<const char*>(lf) - start) + 1);
      return;
    }
    file.position = file.end;
  }
}

bool read_whole_line(TextFile& file, std::string& line, std::size_t limit, bool& cut) {
  line.clear();
  cut = false;
  if (!ready_for_input(file) || !fill_buffer(file)) return false;
  while (fill_buffer(file)) {
    const char* start = file.buffer + file.position;
    std::size_t available = file.end - file.position;
    const void* lf = std::memchr(start, '\n', available);
    std::size_t count =
        lf == nullptr ? available : static_cast<std::size_t>(static_cast<const char*>(lf) - start);
    std::size_t room = limit - line.size();
    line.append(start, count < room ? count : room);
    cut = cut || count > room;
    file.position = static_cast<std::uint16_t>(file.position + count + (lf != nullptr ? 1 : 0));
    if (lf != nullptr) {
      if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
      break;
    }
  }
  return true;
}

bool at_end_of_file(TextFile& file) {
  if (!ready_for_input(file)) return true;
  return !fill_buffer(file);
}

void write_text(TextFile& file, std::string_view text) {
  if (!ready_for_output(file)) return;
  while (!text.empty()) {
    if (file.end == kFileBufferSize) flush_buffer(file);
    std::size_t room = kFileBufferSize - file.end;
    std::size_t count = text.size() < room ? text.size() : room;
    std::memcpy(file.buffer + file.end, text.data(), count);
    file.end = static_cast<std::uint16_t>(file.end + count);
    text.remove_prefix(count);
  }
  if (file.flush_each_write) flush_buffer(file);
}

void write_integer(TextFile& file, long long value) { write_text(file, integer_text(value)); }

void write_char(TextFile& file, char c) { write_text(file, std::string_view(&c, 1)); }

void end_line(TextFile& file) {
  if (!ready_for_output(file)) return;
  if (file.end == kFileBufferSize) flush_buffer(file);
  file.buffer[file.end++] = '\n';
  if (file.device != nullptr || file.flush_each_write) flush_buffer(file);
}

void write_line(TextFile& file, std::string_view text) {
  write_text(file, text);
  end_line(file);
}

void write_whole_line(TextFile& file, std::initializer_list<std::string_view> pieces) {
  if (!ready_for_output(file)) return;
  if (file.device != nullptr) {
    for (std::string_view piece : pieces) write_text(file, piece);
    end_line(file);
    return;
  }
  flush_buffer(file);
  if (io_failed()) return;
  iovec parts[16];
  int count = 0;
  for (std::string_view piece : pieces) {
    if (count == 15) break;
    parts[count++] = iovec{const_cast<char*>(piece.data()), piece.size()};
  }
  parts[count++] = iovec{const_cast<char*>("\n"), 1};
  int first = 0;
  while (first < count) {
    ssize_t written = ::writev(file.fd, parts + first, count - first);
    if (written < 0) {
      if (errno == EINTR) continue;
      record_system_error(errno);
      return;
    }
    // A short write (a nearly full disk) goes on with the rest.
    std::size_t done = static_cast<std::size_t>(written);
    while (first < count && done >= parts[first].iov_len) done -= parts[first++].iov_len;
    if (first < count) {
      parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + done;
      parts[first].iov_len -= done;
    }
  }
}
