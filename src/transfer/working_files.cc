#include "transfer/working_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "dszlog/dsz_record.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"

namespace {

constexpr int kNumbers = 999;

// Opens a working file without following a link, creating it when missing.
// Invalid, with nothing pending, when the name is a link or not a regular
// file: that number is taken.
Fd open_working_file(const std::string& path, int access) {
  Fd fd = open_file(path, access | O_CREAT | O_NOFOLLOW | O_NONBLOCK);
  if (!fd.valid() && errno == ELOOP) take_io_result();
  if (fd.valid() && !is_regular_file(fd.get())) return Fd();
  return fd;
}

// The owner must be able to write the log and read the script, whatever the
// umask: the shell opens both by name.
void let_the_owner_use(int fd, mode_t needed) {
  struct stat status;
  if (::fstat(fd, &status) == 0 && (status.st_mode & needed) != needed) {
    ::fchmod(fd, (status.st_mode & 07777) | needed);
  }
}

// Takes number n when nothing holds it: true with both files open, the log
// locked and emptied.
bool claim_number(TransferMode mode, const std::string& start, int n, WorkingFiles& files) {
  std::string number = std::to_string(n);
  std::string log_path = path_in(start, "vrlsz" + number + ".log");
  std::string script_name = "vrl" + number + ".sh";
  Fd log = open_working_file(log_path, O_RDWR);
  if (!log.valid() || ::flock(log.get(), LOCK_EX | LOCK_NB) != 0) return false;
  Fd script = open_working_file(path_in(start, script_name), O_WRONLY);
  if (!script.valid()) return false;
  if (::ftruncate(log.get(), 0) != 0 || ::ftruncate(script.get(), 0) != 0) {
    record_write_error(errno);
  }
  let_the_owner_use(log.get(), S_IRUSR | S_IWUSR);
  let_the_owner_use(script.get(), S_IRUSR | S_IWUSR);
  files.transfer_log_path = log_path;
  files.script_name = mode == TransferMode::kSend ? script_name : path_in(start, script_name);
  files.transfer_log = std::move(log);
  files.script = std::move(script);
  return true;
}

}  // namespace

int transfer_number(long long seconds) {
  constexpr std::int32_t kModulus = 1000003;
  std::int32_t x = static_cast<std::int32_t>(seconds) % kModulus;
  for (int i = 0; i < 9; ++i) {
    x = static_cast<std::int32_t>(static_cast<std::uint32_t>(x + 1) * 998u % kModulus);
  }
  return x % kNumbers;
}

std::string path_in(const std::string& directory, std::string_view name) {
  return (directory == "/" ? "" : directory) + "/" + std::string(name);
}

std::string dsz_log_path_for(const std::string& start) {
  std::string_view named = environment_value("DSZLOG");
  return named.empty() ? path_in(start, "dsz.log") : std::string(named);
}

void refuse_long_paths(const std::string& start, std::initializer_list<std::string_view> paths) {
  std::string longest = path_in(start, "vrlsz" + std::to_string(kNumbers - 1) + ".log");
  for (std::string_view path : paths) {
    if (path.size() > kMaxPath) refuse({"Path too long : ", path});
  }
  if (longest.size() > kMaxPath) refuse({"Path too long : ", start});
}

void prepare_working_files(TransferMode mode, const std::string& start, WorkingFiles& files) {
  int drawn = transfer_number(clock_seconds());
  bool claimed = false;
  // A number whose files cannot be opened (another user's leftovers) is
  // passed over; when none can be, the first failure ends the program.
  std::uint16_t failure = 0;
  for (int i = 0; i < kNumbers && !claimed; ++i) {
    claimed = claim_number(mode, start, (drawn + i) % kNumbers, files);
    std::uint16_t result = claimed ? 0 : take_io_result();
    if (failure == 0) failure = result;
  }
  if (!claimed) set_io_error(failure);
  io_check();
  if (!claimed) refuse({"No free transfer number in ", start});
  open_dsz_log(dsz_log_path_for(start), environment_value("DSZLOG").empty());
}

void write_transfer_script(WorkingFiles& files, const std::string& line) {
  write_whole_line(files.script.get(), {line});
  io_check();
}
