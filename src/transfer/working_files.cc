#include "transfer/working_files.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <utility>

#include "dszlog/dsz_record.h"
#include "runtime/child_process.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/configuration.h"
#include "transfer/transfer_script.h"

namespace {

constexpr int kNumbers = 999;
// What a transfer needs free in the starting directory: room for the
// protocol program's messages in the transfer log.
constexpr long long kRoomNeeded = 64 * 1024;

// Opens a working file without following a link, creating it when missing.
// Invalid, with nothing pending, when the name is a link or not a regular
// file: that number is taken.
Fd open_working_file(const std::string& path, int access) {
  Fd fd = open_file(path, access | O_CREAT | O_NOFOLLOW | O_NONBLOCK);
  if (!fd.valid() && errno == ELOOP) take_io_result();
  if (fd.valid() && !is_regular_file(fd.get())) return Fd();
  return fd;
}

// Takes number n when nothing holds it: true with both files open, the log
// locked and both emptied. A file unlinked under the lock (the run that held
// it removed it on leaving) does not count: the path must still name it.
bool claim_number(TransferMode mode, const std::string& start, int n, WorkingFiles& files) {
  std::string number = std::to_string(n);
  std::string log_path = path_in(start, "vrlsz" + number + ".log");
  std::string script_name = "vrl" + number + ".sh";
  Fd log = open_working_file(log_path, O_RDWR);
  if (!log.valid() || !lock_for_this_run(log.get()) || !still_named(log_path, log.get())) {
    return false;
  }
  Fd script = open_working_file(path_in(start, script_name), O_WRONLY);
  if (!script.valid()) {
    // Under its lock, an empty log (as this run made it) is no one's.
    if (size_of(log.get()) == 0) remove_if_still_named(log_path, log.get());
    return false;
  }
  empty_file(log.get());
  empty_file(script.get());
  // The shell opens both by name: the owner must be able to write the log
  // and read the script, whatever the umask.
  let_the_owner_read_and_write(log.get());
  let_the_owner_read_and_write(script.get());
  files.transfer_log_path = log_path;
  files.script_name = mode == TransferMode::kSend ? script_name : path_in(start, script_name);
  files.script_path = path_in(start, script_name);
  files.transfer_log = std::move(log);
  files.script = std::move(script);
  return true;
}

bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
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

void settle_dsz_log_path(const std::string& start) {
  name_dsz_log(environment_value("DSZLOG"), path_in(start, "dsz.log"));
}

bool is_working_file_name(std::string_view name) {
  for (auto [prefix, suffix] :
       {std::pair<std::string_view, std::string_view>{"vrl", ".sh"}, {"vrlsz", ".log"}}) {
    if (name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
        name.ends_with(suffix) &&
        all_digits(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()))) {
      return true;
    }
  }
  return false;
}

void refuse_full_file_system(const std::string& start) {
  if (!has_room(start, kRoomNeeded)) {
    refuse({"The starting directory's file system is full : ", start});
  }
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
  open_dsz_log();
}

void remove_working_files(const WorkingFiles& files) {
  remove_if_still_named(files.transfer_log_path, files.transfer_log.get());
  remove_if_still_named(files.script_path, files.script.get());
}

void write_transfer_script(WorkingFiles& files, const std::string& line) {
  write_whole_line(files.script.get(), {line});
  io_check();
}

int run_transfer_script(const WorkingFiles& files, std::string_view command, int writable_tree,
                        const std::vector<std::string>* readable_files) {
  ProgramAccess access{confine_mode(),           program_of(command), files.script.get(),
                       files.transfer_log.get(), writable_tree,       readable_files};
  int end_status = run_shell_script(files.script_name, access);
  io_check();
  if (end_status == kNotConfined) {
    refuse({"Cannot confine the protocol program : ", why_not_confined()});
  }
  return end_status;
}
