#include "runtime/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "runtime/file.h"
#include "runtime/io_result.h"

namespace {

constexpr int kMaxLinks = 40;  // as the system's own path walk allows

// The path's components, empty ones left out.
std::vector<std::string> components_of(std::string_view path) {
  std::vector<std::string> parts;
  for (std::string_view part : parts_between(path, '/')) {
    if (!part.empty()) parts.emplace_back(part);
  }
  return parts;
}

void drop_last_component(std::string& path) {
  std::size_t slash = path.rfind('/');
  path.erase(slash == std::string::npos || slash == 0 ? 1 : slash);
  if (path.empty()) path = "/";
}

}  // namespace

std::vector<std::string_view> parts_between(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find(separator, start), text.size());
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string_view base_name(std::string_view path) { return path.substr(path.rfind('/') + 1); }

std::string_view directory_part(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string current_directory() {
  char path[kMaxPath + 1];
  if (::getcwd(path, sizeof path) == nullptr || path[0] != '/') return {};
  return path;
}

void change_directory(std::string_view path) {
  if (io_failed()) return;
  if (::chdir(std::string(path).c_str()) != 0) record_system_error(errno);
}

void make_directory(std::string_view path) {
  if (io_failed()) return;
  if (::mkdir(std::string(path).c_str(), 0777) != 0) record_system_error(errno);
}

bool path_taken(std::string_view path) {
  struct stat status;
  return ::lstat(std::string(path).c_str(), &status) == 0;
}

std::string resolved_path(std::string_view path) {
  if (path.empty()) return {};
  std::string start = path.starts_with('/') ? std::string() : current_directory();
  if (!path.starts_with('/') && start.empty()) return {};
  std::vector<std::string> pending = components_of(start + "/" + std::string(path));
  std::reverse(pending.begin(), pending.end());  // the next component last
  std::string resolved = "/";
  bool exists = true;
  int links = 0;
  while (!pending.empty()) {
    std::string part = std::move(pending.back());
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      drop_last_component(resolved);
      continue;
    }
    std::string next = (resolved == "/" ? "" : resolved) + "/" + part;
    struct stat status;
    if (!exists || ::lstat(next.c_str(), &status) != 0) {
      exists = false;
      resolved = next;
      continue;
    }
    if (!S_ISLNK(status.st_mode)) {
      resolved = next;
      continue;
    }
    if (++links > kMaxLinks) return {};
    std::vector<char> target(static_cast<std::size_t>(kMaxPath) + 1);
    ssize_t length = ::readlink(next.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return {};
    std::string_view link(target.data(), static_cast<std::size_t>(length));
    if (link.starts_with('/')) resolved = "/";
    std::vector<std::string> spliced = components_of(link);
    pending.insert(pending.end(), spliced.rbegin(), spliced.rend());
  }
  return resolved;
}

bool lies_within(std::string_view path, std::string_view directory) {
  std::string inner = resolved_path(path);
  std::string outer = resolved_path(directory);
  if (inner.empty() || outer.empty()) return false;
  if (outer == "/" || inner == outer || inner.starts_with(outer + "/")) return true;
  // Another mount of the directory on the way (a bind mount) is the
  // directory too.
  FileIdentity held = identity_at(outer, true);
  if (held.inode == 0) return false;
  for (std::size_t slash = inner.find('/', 1);; slash = inner.find('/', slash + 1)) {
    FileIdentity on_the_way = identity_at(inner.substr(0, slash), true);
    if (on_the_way == held) return true;
    if (on_the_way.inode == 0 || slash == std::string::npos) return false;
  }
}

bool has_room(std::string_view directory, long long bytes) {
  struct statvfs status;
  if (::statvfs(std::string(directory).c_str(), &status) != 0) return true;
  bool inodes_counted = status.f_files != 0;
  return static_cast<long long>(status.f_bavail) * static_cast<long long>(status.f_frsize) >=
             bytes &&
         (!inodes_counted || status.f_favail > 0);
}
