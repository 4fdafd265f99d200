#include "transfer/placing.h"

#include <unordered_map>
#include <unordered_set>

#include "dszlog/dsz_record.h"
#include "dszlog/package_rules.h"
#include "runtime/directory.h"
#include "runtime/file_system.h"
#include "transfer/staging.h"
#include "transfer/working_files.h"

namespace {

// Variants of one name a run tries before it gives up on a file.
constexpr int kMostVariants = 1000000;
// Directories held open on each side; a caller can name more than the
// descriptors a process may have.
constexpr std::size_t kMostHeldDirectories = 256;
constexpr std::string_view kKeptName = "a name Vurel keeps for itself";

// Names are looked up by a view, without a copy.
struct ViewHash : std::hash<std::string_view> {
  using is_transparent = void;
};

// The directories on the way below one held directory, each opened once per
// run (until more than kMostHeldDirectories are named: then they are opened
// anew), never through a link and never onto another file system.
class DirectoriesOnTheWay {
 public:
  DirectoriesOnTheWay(int root, bool create) : root_(root), create_(create) {}

  // The directory `path` (folded, relative to the root; empty for the root
  // itself); -1 with `problem` set when it cannot be reached.
  int open(std::string_view path, WayProblem& problem) {
    problem = WayProblem::kNone;
    if (path.empty()) return root_;
    auto found = held_.find(path);
    if (found != held_.end()) return found->second.get();
    std::size_t slash = path.rfind('/');
    int parent = open(slash == std::string_view::npos ? "" : path.substr(0, slash), problem);
    if (parent < 0) return -1;
    Fd directory = open_subdirectory(parent, path.substr(slash + 1), create_, problem);
    if (!directory.valid()) return -1;
    int fd = directory.get();
    if (held_.size() >= kMostHeldDirectories) held_.clear();
    held_.emplace(std::string(path), std::move(directory));
    return fd;
  }

 private:
  int root_;
  bool create_;
  std::unordered_map<std::string, Fd, ViewHash, std::equal_to<>> held_;
};

struct PlacingState {
  DirectoriesOnTheWay staged{held_staging_directory(), false};
  DirectoriesOnTheWay upload{held_upload_directory(), true};
  // Names this run placed under a changed name (renamed, or a variant): a
  // later file sent under such a name must not replace it.
  std::unordered_set<std::string, ViewHash, std::equal_to<>> changed_names_placed;
  // The last variant this run took of each name.
  std::unordered_map<std::string, int> last_variant;
  Fd claims_lock;
};

PlacingState& placing() {
  static PlacingState state;
  return state;
}

std::string_view way_problem(WayProblem problem) {
  switch (problem) {
    case WayProblem::kNone:
      return {};
    case WayProblem::kLink:
      return "a link on the way";
    case WayProblem::kNotDirectory:
      return "not a directory on the way";
    case WayProblem::kOtherFileSystem:
      return "another file system on the way";
    case WayProblem::kCannotMake:
      break;
  }
  return "a directory on the way cannot be made";
}

std::string_view move_problem(MoveResult moved) {
  return moved == MoveResult::kOtherFileSystem ? "another file system on the way"
                                               : "it cannot be moved there";
}

// A hidden name is invisible in a listing, and may be a file area's own
// (.htaccess, an index, a sysop's notes).
bool hidden_name(std::string_view name) {
  return name.starts_with('.') || name.find("/.") != std::string_view::npos;
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

// Why `name` may not be an upload's in the upload directory; empty when it may.
std::string name_problem(std::string_view name, long long size) {
  if (hidden_name(name)) return "a hidden name";
  if (is_working_file_name(base_name(name))) return std::string(kKeptName);
  return receive_record_problem(upload_destination() + "/" + std::string(name), size);
}

// Under the name it was sent with, replacing a regular file of that name.
void place_as_sent(int from, std::string_view name, const std::vector<FileIdentity>& reserved,
                   Placement& result) {
  result.why_not = name_problem(name, result.size);
  if (!result.why_not.empty()) return;
  WayProblem problem;
  int to = placing().upload.open(directory_part(name), problem);
  result.why_not = way_problem(problem);
  if (to < 0) return;
  // A free name is taken in one step; a taken one is looked at first.
  std::string_view base = base_name(name);
  MoveResult moved = move_entry_to_free_name(from, base, to, base);
  if (moved == MoveResult::kNameTaken || moved == MoveResult::kNoAtomicClaim) {
    result.why_not = target_problem(entry_kind(to, base), reserved);
    if (!result.why_not.empty()) return;
    moved = move_entry(from, base, to, base);
  }
  result.placed = moved == MoveResult::kMoved;
  if (!result.placed) result.why_not = move_problem(moved);
}

// The lock every run takes to claim a name where no claim is atomic; false
// when none can be had. One that a leaving run removed is taken anew.
bool take_claims_lock() {
  Fd& lock = placing().claims_lock;
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (!lock.valid()) lock = open_lock_file(held_own_directory(), kClaimsLock);
    if (!lock.valid() || !wait_for_lock(lock.get())) return false;
    if (still_entry(held_own_directory(), kClaimsLock, lock.get())) return true;
    lock = Fd();
  }
  return false;
}

// Moves the staged file to `target`, never over anything.
MoveResult claim(int from, std::string_view base, int to, std::string_view target,
                 Placement& result) {
  MoveResult moved = move_entry_to_free_name(from, base, to, target);
  if (moved != MoveResult::kNoAtomicClaim) return moved;
  bool locked = take_claims_lock();
  moved = move_entry_if_free(from, base, to, target);
  if (locked) {
    let_go_of_lock(placing().claims_lock.get());
  } else {
    result.without_lock = moved == MoveResult::kMoved;
  }
  return moved;
}

// Under `wanted` (the name the package can take), or its first free variant
// in the same directory; never over another file.
void place_in_free_name(int from, std::string_view sent, const std::string& wanted,
                        Placement& result) {
  const PackageRules& rules = package_rules();
  std::size_t longest = upload_name_room(upload_destination(), result.size).longest;
  WayProblem problem;
  int to = placing().upload.open(directory_part(wanted), problem);
  result.why_not = way_problem(problem);
  if (to < 0) return;
  int& last = placing().last_variant[wanted];
  bool taken = last > 0 || placing().changed_names_placed.contains(wanted);
  for (int variant = taken ? last + 1 : 0; variant <= kMostVariants; ++variant) {
    std::string name = upload_name(sent, rules, longest, variant);
    if (is_working_file_name(base_name(name))) continue;
    result.why_not = name_problem(name, result.size);
    if (!result.why_not.empty()) return;
    MoveResult moved = claim(from, base_name(sent), to, base_name(name), result);
    if (moved == MoveResult::kNameTaken) continue;
    result.placed = moved == MoveResult::kMoved;
    if (!result.placed) {
      result.why_not = move_problem(moved);
      return;
    }
    last = variant;
    result.name = name;
    placing().changed_names_placed.insert(std::move(name));
    return;
  }
  result.why_not = "no free name left";
}

// The staged file `name` (in the held directory `from`) as plain data: no
// mode bit the caller sent survives, and no other name can reach it once it
// is placed. False, with `result` saying why when there is something to
// say, when it cannot be placed.
bool made_plain(int from, std::string_view name, Placement& result) {
  StagedFile staged = from >= 0 ? staged_file(from, base_name(name)) : StagedFile();
  if (!staged.regular) return false;  // never arrived
  result.size = staged.size;
  result.identity = staged.identity;
  if (staged.size < 1) {
    result.why_not = "empty";
  } else if (staged.other_links) {
    result.why_not = "it has other links";
  } else if (!give_plain_mode(from, base_name(name), staged.mode)) {
    result.why_not = "its mode cannot be made plain";
  }
  return result.why_not.empty();
}

// The name the package's reader can take, when it is not `name` itself.
std::string changed_name(std::string_view name, long long size) {
  const PackageRules& rules = package_rules();
  if (rules.upload_names == UploadNames::kKeep) return {};
  std::string wanted =
      upload_name(name, rules, upload_name_room(upload_destination(), size).longest);
  return wanted == name ? std::string() : wanted;
}

Placement place_upload(std::string_view name, const std::vector<FileIdentity>& reserved) {
  Placement result;
  WayProblem problem;
  int from = placing().staged.open(directory_part(name), problem);
  if (!made_plain(from, name, result)) return result;
  if (!upload_name_room(upload_destination(), result.size).fits) {
    result.why_not = "no name fits";
    return result;
  }
  std::string wanted = changed_name(name, result.size);
  if (wanted.empty() && !placing().changed_names_placed.contains(name)) {
    place_as_sent(from, name, reserved, result);
  } else {
    place_in_free_name(from, name, wanted.empty() ? std::string(name) : wanted, result);
  }
  return result;
}

// A staged directory whose entries are all uploads (the files of `indexes`)
// that go in as sent, where the upload directory has nothing of its name
// yet, moves in one step, as a shell's mv moves it.
void move_whole_directory(std::string_view directory, const std::vector<std::size_t>& indexes,
                          const std::vector<std::string>& names,
                          std::vector<Placement>& placements) {
  WayProblem problem;
  int staged_parent = placing().staged.open(directory_part(directory), problem);
  int staged = staged_parent < 0 ? -1 : placing().staged.open(directory, problem);
  if (staged < 0) return;
  std::unordered_set<std::string_view> bases;
  for (std::size_t i : indexes) bases.insert(base_name(names[i]));
  std::vector<std::string> entries = names_starting_with(staged, "");
  if (entries.size() != bases.size()) return;
  for (const std::string& entry : entries) {
    if (!bases.contains(entry)) return;
  }
  int upload_parent = placing().upload.open(directory_part(directory), problem);
  if (upload_parent < 0 || entry_kind(upload_parent, base_name(directory)).exists) return;
  std::vector<Placement> moved(indexes.size());
  for (std::size_t k = 0; k < indexes.size(); ++k) {
    std::string_view name = names[indexes[k]];
    if (!made_plain(staged, name, moved[k]) || !changed_name(name, moved[k].size).empty() ||
        !name_problem(name, moved[k].size).empty()) {
      return;
    }
  }
  give_plain_directory_mode(staged);
  if (move_entry_to_free_name(staged_parent, base_name(directory), upload_parent,
                              base_name(directory)) != MoveResult::kMoved) {
    return;
  }
  for (std::size_t k = 0; k < indexes.size(); ++k) {
    moved[k].placed = true;
    placements[indexes[k]] = std::move(moved[k]);
  }
}

}  // namespace

std::vector<Placement> place_uploads(const std::vector<std::string>& names,
                                     const std::vector<FileIdentity>& reserved) {
  std::vector<Placement> placements(names.size());
  // The uploads of each directory below the upload directory, in the order
  // the directories come.
  std::unordered_map<std::string_view, std::vector<std::size_t>> by_directory;
  std::vector<std::string_view> directories;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string_view directory = directory_part(names[i]);
    if (directory.empty()) continue;
    auto [group, added] = by_directory.try_emplace(directory);
    if (added) directories.push_back(directory);
    group->second.push_back(i);
  }
  for (std::string_view directory : directories) {
    move_whole_directory(directory, by_directory[directory], names, placements);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!placements[i].placed) placements[i] = place_upload(names[i], reserved);
  }
  return placements;
}
