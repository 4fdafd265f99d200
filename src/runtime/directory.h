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

// Makes a new directory, mode 0700, named `prefix` and six random letters,
// in the held directory; its name, empty with the failure pending when none
// can be made.
std::string make_private_directory(int parent, std::string_view prefix);

// The directory `name` in the held one, opened without following a link.
// When it is missing and `create` is set it is made first (one level, 0777
// less the umask). Invalid when it is a link, not a directory, or cannot be
// made; `error` tells the system's reason (0 when opened).
Fd open_subdirectory(int parent, std::string_view name, bool create, int& error);

// The identity of the entry `name` in the held directory, a link not
// followed; `exists` false when there is none.
struct EntryKind {
  bool exists = false;
  bool regular = false;
  bool directory = false;
  FileIdentity identity;
};
EntryKind entry_kind(int parent, std::string_view name);

// The regular file `name` in the held directory, opened for reading without
// following a link or blocking, and its size; invalid for anything else.
Fd open_regular_file(int parent, std::string_view name, long long& size);

// Moves `from_name` in one held directory to `to_name` in another, replacing
// a file of that name in one step; the system's reason when it cannot
// (EXDEV: another file system or mount), 0 when done.
int move_entry(int from, std::string_view from_name, int to, std::string_view to_name);
// The same, but never over anything: EEXIST when `to_name` is taken, so that
// of two runs claiming one name at once only one gets it.
int move_entry_to_free_name(int from, std::string_view from_name, int to, std::string_view to_name);

// Whether the held directory may have a subdirectory: false only when its
// link count says it has none (file systems that do not count say maybe).
bool may_hold_directories(int directory);

// The names in the held directory that begin with `prefix`.
std::vector<std::string> names_starting_with(int directory, std::string_view prefix);

// Removes the entry `name` from the held directory, with everything below it
// when it is a directory; links are removed, never followed. What cannot be
// removed stays.
void remove_tree(int parent, std::string_view name);
