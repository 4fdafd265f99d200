#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Directories, and what the program asks of the files in them. Change and
// make directory do nothing while a failure is pending and leave their own
// failure pending.

// The longest path the system takes (PATH_MAX less its terminating NUL).
inline constexpr std::size_t kMaxPath = 4095;

// The parts of a path between its slashes, or of a list of paths (PATH)
// between its colons: every part, empty ones too, in order.
std::vector<std::string_view> parts_between(std::string_view text, char separator);

// The part of a path after its last slash (all of it when it has none),
// and the part before it (empty when it has none).
std::string_view base_name(std::string_view path);
std::string_view directory_part(std::string_view path);

// The absolute path of the current directory, as the system gives it; empty
// when it cannot be known (a deleted directory, for one).
std::string current_directory();

void change_directory(std::string_view path);
// One level, permission bits 0777 less the umask.
void make_directory(std::string_view path);

// Whether anything (a file, a directory, a link) stands at `path`.
bool path_taken(std::string_view path);

// The absolute path that `path` names once every link in it is resolved,
// as far as it exists; the rest, which does not exist yet, is added with
// its "." and ".." components folded. Empty when it cannot be known.
std::string resolved_path(std::string_view path);

// Whether `path` is `directory` or lies below it, both resolved as above,
// or a directory on its way is `directory` itself, mounted there again (a
// bind mount); false when either cannot be known. Everything lies below "/".
bool lies_within(std::string_view path, std::string_view directory);

// Whether the file system of `directory` has at least `bytes` free and a
// free inode for the program; true when it cannot be known.
bool has_room(std::string_view directory, long long bytes);
