#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/file.h"

// Work inside a directory the program holds open: each name is looked up
// relative to a held descriptor, never through a link, so that nothing
// swapped in along a path between a look and a change can redirect it.

// Opens the directory at `path` (links in it followed: the BBS names it).
// Invalid, with the failure pending, when it cannot be opened.
Fd open_directory(std::string_view path);

// This user's own directory `name` in the held one, made when missing (mode
// 0700). Invalid when it cannot be made or opened, is a link, or belongs to
// another user; `gone` tells that the held directory itself was removed.
Fd open_own_directory(int parent, std::string_view name, bool& gone);

// Makes a new directory, mode 0700, named `prefix` and six random letters,
// in the held directory; its name, empty when none can be made (`gone`:
// the held directory was removed meanwhile).
std::string make_private_directory(int parent, std::string_view prefix, bool& gone);

// What stops a walk through a directory on the way.
enum class WayProblem { kNone, kLink, kNotDirectory, kCannotMake, kOtherFileSystem };

// The directory `name` in the held one, opened without following a link,
// on the held one's file system. When it is missing and `create` is set it
// is made first (one level, 0777 less the umask). Invalid, with `problem`
// set, when it cannot be.
Fd open_subdirectory(int parent, std::string_view name, bool create, WayProblem& problem);

// The identity of the entry `name` in the held directory, a link not
// followed; `exists` false when there is none.
struct EntryKind {
  bool exists = false;
  bool regular = false;
  bool directory = false;
  FileIdentity identity;
};
EntryKind entry_kind(int parent, std::string_view name);
// Whether the entry `name` in the held directory is still the open file
// `fd`: a run that removed or replaced it meanwhile makes it another.
bool still_entry(int parent, std::string_view name, int fd);

// The entry `name` in the held directory when it is a regular file (a link
// not followed): its size, its identity, its permission bits and whether
// another name reaches it too. `regular` false for anything else.
struct StagedFile {
  bool regular = false;
  long long size = 0;
  FileIdentity identity;
  unsigned mode = 0;
  bool other_links = false;
};
StagedFile staged_file(int parent, std::string_view name);

// Makes the regular file `name` in the held directory plain data before it
// is placed: mode 0666 less the umask (no set-user-ID, set-group-ID, sticky
// or execute bit), a link never followed. `mode` is what it has now. False
// when the mode cannot be set.
bool give_plain_mode(int parent, std::string_view name, unsigned mode);
// The held directory's mode becomes 0777 less the umask.
void give_plain_directory_mode(int directory);

enum class MoveResult { kMoved, kNameTaken, kOtherFileSystem, kNoAtomicClaim, kFailed };

// Moves `from_name` in one held directory to `to_name` in another, replacing
// a file of that name in one step.
MoveResult move_entry(int from, std::string_view from_name, int to, std::string_view to_name);
// The same, but never over anything: kNameTaken when `to_name` is taken, so
// that of two runs claiming one name at once only one gets it. A file
// system that can neither rename without replacing nor link gives
// kNoAtomicClaim, and nothing is moved.
MoveResult move_entry_to_free_name(int from, std::string_view from_name, int to,
                                   std::string_view to_name);
// Where no claim is atomic: moves when nothing stands at `to_name` now.
// The caller holds the lock that every such claim takes.
MoveResult move_entry_if_free(int from, std::string_view from_name, int to,
                              std::string_view to_name);

// The lock file `name` in the held directory, opened for reading and
// writing (a lock on a directory descriptor fails on NFS), made when
// missing; never through a link. Invalid when it cannot be had.
Fd open_lock_file(int parent, std::string_view name);

// The names in the held directory that begin with `prefix` ("." and ".."
// never).
std::vector<std::string> names_starting_with(int directory, std::string_view prefix);

// Whether the entry `name` in the held directory can be this user's own
// leftover: a directory this user owns, mode 0700, on the held directory's
// own mount (a mount point, a bind mount of the same file system among
// them, never is).
bool own_leftover(int parent, std::string_view name);

// Removes the entry `name` from the held directory, with everything below it
// when it is a directory; links are removed, never followed, and no mount is
// ever entered. What cannot be removed stays.
void remove_tree(int parent, std::string_view name);
// Removes the directory `name` from the held one when it is empty.
void remove_empty_directory(int parent, std::string_view name);
