#include "runtime/confinement.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "runtime/command_line.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"

namespace {

// Landlock as the kernel's stable interface defines it (linux/landlock.h):
// Debian 12's headers know only its first two versions, and the C library
// has no wrappers.
constexpr long kCreateRuleset = 444;
constexpr long kAddRule = 445;
constexpr long kRestrictSelf = 446;
constexpr unsigned kAskVersion = 1u << 0;
constexpr int kRulePathBeneath = 1;

struct RulesetAttr {
  std::uint64_t handled_access_fs;
  std::uint64_t handled_access_net;  // version 4 and later
  std::uint64_t scoped;              // version 6 and later
};
struct PathBeneathAttr {
  std::uint64_t allowed_access;
  std::int32_t parent_fd;
} __attribute__((packed));

// File system rights, by bit; the version that brought them in brackets.
constexpr std::uint64_t kExecute = 1ull << 0;
constexpr std::uint64_t kWriteFile = 1ull << 1;
constexpr std::uint64_t kReadFile = 1ull << 2;
constexpr std::uint64_t kReadDir = 1ull << 3;
constexpr std::uint64_t kRemoveDir = 1ull << 4;
constexpr std::uint64_t kRemoveFile = 1ull << 5;
constexpr std::uint64_t kMakeDir = 1ull << 7;
constexpr std::uint64_t kMakeReg = 1ull << 8;
constexpr std::uint64_t kRefer = 1ull << 13;     // (2) rename between directories
constexpr std::uint64_t kTruncate = 1ull << 14;  // (3)
constexpr std::uint64_t kIoctlDev = 1ull << 15;  // (5)
// Network rights (4): TCP bind and connect; scopes (6): abstract UNIX
// sockets and signals stay within the confined processes.
constexpr std::uint64_t kTcpBindAndConnect = (1ull << 0) | (1ull << 1);
constexpr std::uint64_t kAbstractSocketsAndSignals = (1ull << 0) | (1ull << 1);

// Rights a rule on a file (not a directory) may carry.
constexpr std::uint64_t kFileRights = kExecute | kWriteFile | kReadFile | kTruncate | kIoctlDev;
constexpr std::uint64_t kReadAndExecute = kExecute | kReadFile | kReadDir;
constexpr std::uint64_t kWriteBeneath = kReadFile | kReadDir | kWriteFile | kTruncate | kRemoveDir |
                                        kRemoveFile | kMakeDir | kMakeReg | kRefer;

// The longest #! line the kernel reads.
constexpr std::size_t kInterpreterLine = 256;

// The file system rights the kernel's version handles: all it knows.
std::uint64_t handled_file_rights(int abi) {
  int bits = abi >= 5 ? 16 : abi >= 3 ? 15 : abi == 2 ? 14 : 13;
  return (1ull << bits) - 1;
}

// The kernel's Landlock version, or the negated reason it has none.
int landlock_abi() {
  static int abi = [] {
    long version = ::syscall(kCreateRuleset, nullptr, 0, kAskVersion);
    return version > 0 ? static_cast<int>(version) : -errno;
  }();
  return abi;
}

class RuleBuilder {
 public:
  RuleBuilder(int ruleset, std::uint64_t handled) : ruleset_(ruleset), handled_(handled) {}

  // Allows `rights` on the open file or directory (a file keeps only the
  // rights a file can carry). A refusal is pending.
  void allow(int fd, std::uint64_t rights) {
    struct stat status;
    if (fd >= 0 && ::fstat(fd, &status) == 0) add(fd, S_ISDIR(status.st_mode), rights);
  }

  // The same for what `path` leads to; nothing when there is nothing there,
  // or when `regular_only` and it is not a regular file.
  void allow(const char* path, std::uint64_t rights, bool regular_only = false) {
    Fd fd(::open(path, O_PATH | O_CLOEXEC));
    struct stat status;
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0) return;
    if (!regular_only || S_ISREG(status.st_mode)) add(fd.get(), S_ISDIR(status.st_mode), rights);
  }
  void allow(std::string_view path, std::uint64_t rights) {
    allow(std::string(path).c_str(), rights);
  }

 private:
  void add(int fd, bool directory, std::uint64_t rights) {
    PathBeneathAttr rule{rights & handled_ & (directory ? ~0ull : kFileRights), fd};
    if (io_failed() || rule.allowed_access == 0) return;
    if (::syscall(kAddRule, ruleset_, kRulePathBeneath, &rule, 0) != 0) record_system_error(errno);
  }

  int ruleset_;
  std::uint64_t handled_;
};

// The first entry of PATH, as the shell searches it, holding an executable
// regular file `program`; empty when none does.
std::string found_in(std::string_view search_path, std::string_view program) {
  for (std::string_view entry : parts_between(search_path, ':')) {
    if (entry.empty()) continue;
    std::string candidate = std::string(entry) + "/" + std::string(program);
    struct stat status;
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

// The interpreter a script's #! line names, and the one word after it.
struct Interpreter {
  std::string path;
  std::string argument;
};
Interpreter interpreter_of(const std::string& script) {
  char line[kInterpreterLine];
  Fd fd(::open(script.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  ssize_t got = fd.valid() ? ::read(fd.get(), line, sizeof line) : -1;
  if (got < 2 || line[0] != '#' || line[1] != '!') return {};
  std::string_view text(line + 2, static_cast<std::size_t>(got) - 2);
  text = text.substr(0, text.find('\n'));
  auto next_word = [&text] {
    std::size_t start = std::min(text.find_first_not_of(" \t"), text.size());
    std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
    std::string word(text.substr(start, end - start));
    text.remove_prefix(end);
    return word;
  };
  std::string path = next_word();
  return {path, next_word()};
}

// The program as the shell finds it, and where it leads; for a script its
// interpreter too, and for `#!/usr/bin/env NAME` the program NAME.
void allow_program(RuleBuilder& rules, std::string_view search_path, std::string_view program) {
  std::string found = found_in(search_path, program);
  if (found.empty()) return;
  rules.allow(found.c_str(), kReadAndExecute);
  Interpreter interpreter = interpreter_of(found);
  if (interpreter.path.empty()) return;
  rules.allow(interpreter.path.c_str(), kReadAndExecute);
  bool through_env = interpreter.path.ends_with("/env") && !interpreter.argument.empty() &&
                     !interpreter.argument.starts_with('-') &&
                     interpreter.argument.find('/') == std::string::npos;
  if (through_env) {
    std::string named = found_in(search_path, interpreter.argument);
    if (!named.empty()) rules.allow(named.c_str(), kReadAndExecute);
  }
}

// The libraries named in `list` (separated by spaces, tabs, line ends or
// colons); a bare name is searched in the library directories, which are
// readable anyway.
void allow_libraries(RuleBuilder& rules, std::string_view list) {
  for (std::size_t start = 0; start < list.size();) {
    std::size_t end = std::min(list.find_first_of(" \t\n:", start), list.size());
    std::string_view library = list.substr(start, end - start);
    if (library.starts_with('/')) rules.allow(library, kReadAndExecute);
    start = end + 1;
  }
}

// What the loader reads to preload the libraries a sysop set up.
void allow_preloading(RuleBuilder& rules) {
  allow_libraries(rules, environment_value("LD_PRELOAD"));
  for (std::string_view directory : parts_between(environment_value("LD_LIBRARY_PATH"), ':')) {
    if (directory.starts_with('/')) rules.allow(directory, kReadAndExecute);
  }
  constexpr const char* kPreloadList = "/etc/ld.so.preload";
  std::string text;
  if (read_whole_file(kPreloadList, 64 * 1024, text) != WholeRead::kRead) return;
  rules.allow(kPreloadList, kReadFile);
  allow_libraries(rules, text);
}

// What every program needs to start: the loader, its cache, the C library,
// the shell.
void allow_starting(RuleBuilder& rules) {
  rules.allow("/etc/ld.so.cache", kReadFile);
  for (const char* libraries : {"/lib", "/lib64", "/usr/lib"}) {
    rules.allow(libraries, kReadAndExecute);
  }
  rules.allow("/bin/sh", kReadAndExecute);
  allow_preloading(rules);
}

}  // namespace

std::string why_confinement_unavailable() {
  int abi = landlock_abi();
  return abi > 0 ? std::string() : restriction_failure(-abi);
}

Confinement build_confinement(const ProgramAccess& access, std::string_view search_path) {
  Confinement confinement;
  confinement.required = access.mode == ConfineMode::kRequired;
  int abi = landlock_abi();
  if (io_failed() || access.mode == ConfineMode::kOff || abi <= 0) {
    confinement.error = abi <= 0 ? -abi : 0;
    return confinement;
  }
  RulesetAttr attributes{handled_file_rights(abi), abi >= 4 ? kTcpBindAndConnect : 0,
                         abi >= 6 ? kAbstractSocketsAndSignals : 0};
  long ruleset = ::syscall(kCreateRuleset, &attributes, sizeof attributes, 0);
  if (ruleset < 0) {
    confinement.error = errno;
    if (errno != ENOSYS && errno != EOPNOTSUPP) record_system_error(errno);
    return confinement;
  }
  Fd held(static_cast<int>(ruleset));
  RuleBuilder rules(held.get(), attributes.handled_access_fs);
  allow_starting(rules);
  allow_program(rules, search_path, access.program);
  rules.allow(access.script, kReadFile);
  rules.allow(access.transfer_log, kWriteFile | kTruncate);
  rules.allow(access.writable_tree, kWriteBeneath);
  if (access.readable_files != nullptr) {
    for (const std::string& name : *access.readable_files) {
      if (!name.empty()) rules.allow(name.c_str(), kReadFile, true);
    }
  }
  if (!io_failed()) confinement.ruleset = std::move(held);
  return confinement;
}

int enter_confinement(const Confinement& confinement) {
  if (!confinement.ruleset.valid()) return confinement.required ? confinement.error : 0;
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return errno;
  if (::syscall(kRestrictSelf, confinement.ruleset.get(), 0) != 0) return errno;
  return 0;
}

std::string restriction_failure(int error) {
  switch (error) {
    case ENOSYS:
      return "this kernel has no Landlock";
    case EOPNOTSUPP:
      return "Landlock is switched off";
    default:
      return std::string("Landlock refused: ") + std::strerror(error);
  }
}
