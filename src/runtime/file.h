#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// The file layer. Operations never throw and return no error code: a failure
// becomes the pending I/O result (io_result.h), and while one is pending
// every operation here does nothing.

// An owned descriptor, closed when it goes out of scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept;
  ~Fd();
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();

 private:
  int fd_ = -1;
};

// Opens `path` with `flags` (O_CLOEXEC added; new files get 0666 less the
// umask). A failure is pending when the error has a number, and the result
// is invalid in any case.
Fd open_file(std::string_view path, int flags);

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the program opens later can take a standard descriptor's place.
void open_missing_standard_descriptors();

// Whether the open descriptor is a regular file.
bool is_regular_file(int fd);

// Which file an entry names: two names for one file have one identity.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};
// The open file's identity; an identity of zeros when it cannot be known.
FileIdentity identity_of(int fd);
// The identity of the file at `path` (through links when `follow_links`);
// zeros when there is none.
FileIdentity identity_at(std::string_view path, bool follow_links);
// Whether `path` (a link not followed) still names the open file: not when
// it was unlinked, renamed away or replaced meanwhile.
bool still_named(std::string_view path, int fd);
// Removes the file at `path` when it still names the open file.
void remove_if_still_named(std::string_view path, int fd);
// Whether `path`, followed as any program follows it (through links),
// leads to the file `identity`.
bool leads_to(const std::string& path, FileIdentity identity);
// The open file's size in bytes; -1 when it cannot be known.
long long size_of(int fd);

// Takes this run's lock on the open file (or directory) without waiting:
// false when another live run holds it. A lock that the system refuses
// outright leaves its failure pending.
bool lock_for_this_run(int fd);
// Takes the lock on the open file, waiting for another run to let it go:
// false when the system has no lock to give. Nothing is pending.
bool wait_for_lock(int fd);
void let_go_of_lock(int fd);
// Empties the open file; a failure is pending.
void empty_file(int fd);
// Lets the owner read and write the open file, whatever the umask gave it.
void let_the_owner_read_and_write(int fd);

// The process's umask, and the mode of plain data: 0666 less the umask.
unsigned creation_mask();
unsigned plain_mode();

// A text file read line by line through a buffer held in the handle.
struct TextFile {
  Fd fd;
  std::vector<char> buffer;
  std::size_t position = 0;  // next byte to read
  std::size_t end = 0;       // bytes in the buffer
};

enum class OpenResult { kOpened, kFailed, kNotRegular };

enum class WholeRead { kRead, kMissing, kTooLarge, kFailed };
// Reads the file at `path` whole into `text` when it holds at most `most`
// bytes; whatever it is (a FIFO or a device too), never more than `most` + 1
// bytes are read. Nothing is pending afterwards.
WholeRead read_whole_file(std::string_view path, std::size_t most, std::string& text);

// Opens a regular file for reading, without blocking on anything else (a
// FIFO or a device is never read: kNotRegular). kFailed leaves the error
// pending.
OpenResult open_text_file(TextFile& file, std::string_view path);

// Reads a file the program holds open, from its start, through a
// descriptor of its own (the file is not looked up by name again).
void read_from_start(TextFile& file, int fd);

// Reads the current line into `line`, without its LF and without a CR right
// before the LF (only LF ends a line). A line longer than `limit` keeps its
// first `limit` bytes and the rest is skipped; `cut` tells so. False at the
// end of the file, or when a failure is pending.
bool read_line(TextFile& file, std::string& line, std::size_t limit, bool& cut);

// Writes the pieces and a line feed in one system call, without allocating,
// so that no other writer can come between them. When the file takes only
// part of it (a full disk, a size limit), the part is cut off again, if
// nothing was appended after it meanwhile: the line is in the file whole or
// not at all. More than kMaxLinePieces pieces is a failed write, never a cut.
inline constexpr std::size_t kMaxLinePieces = 8;
void write_whole_line(int fd, std::initializer_list<std::string_view> pieces);
// The same for several whole lines (each with its line feed) in one system
// call: all of them in the file, or none.
void write_whole_lines(int fd, std::string_view lines);
