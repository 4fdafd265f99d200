#include "transfer/staging.h"

#include <cerrno>

#include "dszlog/dsz_record.h"
#include "dszlog/package_rules.h"
#include "runtime/console.h"
#include "runtime/directory.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/working_files.h"

namespace {

constexpr int kAttempts = 100;
constexpr std::string_view kKeptName = "a name Vurel keeps for itself";

struct Staging {
  std::string destination;  // as the BBS gave it
  Fd destination_directory;
  std::string name;  // empty while there is none
  Fd directory;      // locked for as long as the run lives
  dev_t device = 0;  // of both
};

Staging g_staging;

// Why a directory on the way stops the walk; empty when it does not.
std::string_view way_problem(int error, bool other_device) {
  switch (error) {
    case 0:
      return other_device ? "another file system on the way" : "";
    case ELOOP:
      return "a link on the way";
    case ENOTDIR:
      return "not a directory on the way";
    default:
      return "a directory on the way cannot be made";
  }
}

// Why the name in the upload directory may not be replaced; empty when it
// is free or a regular file of no one's keeping.
std::string_view target_problem(const EntryKind& target,
                                const std::vector<FileIdentity>& reserved) {
  if (target.directory) return "the name is taken by a directory";
  if (target.exists && !target.regular) return "the name is taken by a link or device";
  for (const FileIdentity& identity : reserved) {
    if (target.exists && target.identity == identity) return kKeptName;
  }
  return {};
}

std::string_view move_problem(int error) {
  return error == EXDEV ? "another file system on the way" : "it cannot be moved there";
}

// The directory that holds the last of `parts`: the root itself, or one
// reached from it a part at a time, never through a link and never onto
// another file system. `why_not` says what stopped the walk (fd then -1).
struct Parent {
  Fd opened;
  int fd = -1;
};
Parent walk_to_parent(int root, dev_t device, const std::vector<std::string_view>& parts,
                      bool create, std::string_view& why_not) {
  Parent parent{Fd(), root};
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    int error = 0;
    parent.opened = open_subdirectory(parent.fd, parts[i], create, error);
    parent.fd = parent.opened.get();
    why_not = way_problem(error, error == 0 && identity_of(parent.fd).device != device);
    if (!why_not.empty()) return Parent();
  }
  return parent;
}

// The staging directory `name` when this run may have it: nobody holds its
// lock and it is still the directory of that name (a run clearing abandoned
// ones may have taken it away meanwhile).
Fd lock_staging_directory(int destination, const std::string& name) {
  int error = 0;
  Fd directory = open_subdirectory(destination, name, false, error);
  if (!directory.valid() || !lock_for_this_run(directory.get()) ||
      !(entry_kind(destination, name).identity == identity_of(directory.get()))) {
    return Fd();
  }
  return directory;
}

}  // namespace

std::string make_staging_directory(std::string_view destination) {
  g_staging.destination = destination;
  g_staging.destination_directory = open_directory(destination);
  io_check();
  int parent = g_staging.destination_directory.get();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string name = make_private_directory(parent, kStagingPrefix);
    io_check();
    g_staging.directory = lock_staging_directory(parent, name);
    io_check();
    if (g_staging.directory.valid()) {
      g_staging.name = name;
      g_staging.device = identity_of(parent).device;
      return g_staging.destination + "/" + name;
    }
  }
  refuse({"Cannot make a staging directory in ", destination});
}

int held_staging_directory() { return g_staging.directory.get(); }

namespace {

bool kept_name(const std::vector<std::string_view>& parts) {
  for (std::string_view part : parts) {
    if (part.starts_with(kStagingPrefix)) return true;
  }
  return is_working_file_name(parts.back());
}

// A hidden name is invisible in a listing, and may be a file area's own
// (.htaccess, an index, a sysop's notes).
bool hidden_name(const std::vector<std::string_view>& parts) {
  for (std::string_view part : parts) {
    if (part.starts_with('.')) return true;
  }
  return false;
}

// Under the name it was sent with, replacing a regular file of that name.
void place_as_sent(int from, const std::vector<std::string_view>& parts,
                   const std::vector<FileIdentity>& reserved, Placement& result) {
  std::string_view base = parts.back();
  if (hidden_name(parts)) result.why_not = "a hidden name";
  if (result.why_not.empty() && kept_name(parts)) result.why_not = kKeptName;
  if (result.why_not.empty()) result.why_not = receive_record_problem(result.path, result.size);
  if (!result.why_not.empty()) return;
  std::string_view why_not;
  Parent to =
      walk_to_parent(g_staging.destination_directory.get(), g_staging.device, parts, true, why_not);
  result.why_not = why_not;
  if (to.fd < 0) return;
  result.why_not = target_problem(entry_kind(to.fd, base), reserved);
  if (!result.why_not.empty()) return;
  int error = move_entry(from, base, to.fd, base);
  if (error != 0) result.why_not = move_problem(error);
  result.placed = error == 0;
}

// Under a name the BBS package can take, at the top of the upload
// directory: the first free variant, never over another file.
void place_renamed(int from, std::string_view name, std::string_view base, Placement& result) {
  const PackageRules& rules = package_rules();
  std::size_t longest = longest_upload_name(g_staging.destination, result.size);
  for (int variant = 0; variant < kAttempts && !result.placed; ++variant) {
    std::string renamed = upload_name(name, rules, longest, variant);
    if (kept_name({renamed})) continue;
    result.path = g_staging.destination + "/" + renamed;
    result.why_not = receive_record_problem(result.path, result.size);
    if (!result.why_not.empty()) return;
    int error = move_entry_to_free_name(from, base, g_staging.destination_directory.get(), renamed);
    if (error == EEXIST) continue;
    if (error != 0) result.why_not = move_problem(error);
    result.placed = error == 0;
  }
  if (!result.placed && result.why_not.empty()) result.why_not = "no free name left";
}

}  // namespace

Placement place_upload(std::string_view name, const std::vector<FileIdentity>& reserved) {
  Placement result;
  result.path = g_staging.destination + "/" + std::string(name);
  std::vector<std::string_view> parts = parts_between(name, '/');
  std::string_view why_not;
  Parent from = walk_to_parent(g_staging.directory.get(), g_staging.device, parts, false, why_not);
  Fd staged = from.fd >= 0 ? open_regular_file(from.fd, parts.back(), result.size) : Fd();
  if (!staged.valid() || result.size < 1) return result;  // never arrived whole
  // Plain data: no mode bit the caller sent survives, and no other name
  // can reach the file once it is placed.
  if (has_other_links(staged.get())) {
    result.why_not = "it has other links";
    return result;
  }
  if (!give_plain_mode(staged.get())) {
    result.why_not = "its mode cannot be made plain";
    return result;
  }
  std::size_t longest = longest_upload_name(g_staging.destination, result.size);
  if (upload_name(name, package_rules(), longest) == name) {
    place_as_sent(from.fd, parts, reserved, result);
  } else {
    result.sent_as = name;
    place_renamed(from.fd, name, parts.back(), result);
  }
  return result;
}

void remove_staging_directories() {
  int parent = g_staging.destination_directory.get();
  if (!g_staging.name.empty()) {
    remove_tree(parent, g_staging.name);
    g_staging.name.clear();
    g_staging.directory = Fd();
  }
  // A staging directory is a directory: where there is none, nothing is
  // looked through.
  if (parent < 0 || !may_hold_directories(parent)) return;
  for (const std::string& name : names_starting_with(parent, kStagingPrefix)) {
    Fd abandoned = lock_staging_directory(parent, name);
    if (abandoned.valid()) remove_tree(parent, name);
  }
  take_io_result();  // what cannot be cleared away is no failure of this run
}
