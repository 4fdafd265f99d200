#include "transfer/staging.h"

#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/directory.h"
#include "runtime/file.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"

namespace {

constexpr int kAttempts = 100;
constexpr std::string_view kStagingPrefix = "stage-";

struct Staging {
  std::string destination;  // as the BBS gave it
  Fd destination_directory;
  std::string own_name;  // kOwnDirectoryPrefix and the user id
  Fd own_directory;
  std::string name;  // of the staging directory; empty while there is none
  Fd directory;      // locked for as long as the run lives
};

Staging g_staging;

// The staging directory `name` when this run may have it: nobody holds its
// lock and it is still the directory of that name (a run clearing abandoned
// ones may have taken it away meanwhile).
Fd lock_staging_directory(int own, const std::string& name) {
  WayProblem problem;
  Fd directory = open_subdirectory(own, name, false, problem);
  if (!directory.valid() || !lock_for_this_run(directory.get()) ||
      !still_entry(own, name, directory.get())) {
    return Fd();
  }
  return directory;
}

}  // namespace

std::string make_staging_directory(std::string_view destination) {
  g_staging.destination = destination;
  g_staging.destination_directory = open_directory(destination);
  io_check();
  g_staging.own_name = std::string(kOwnDirectoryPrefix) + std::to_string(user_id());
  int parent = g_staging.destination_directory.get();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Another run may remove the own directory as it leaves: make it again.
    bool gone = false;
    g_staging.own_directory = open_own_directory(parent, g_staging.own_name, gone);
    if (!g_staging.own_directory.valid()) break;
    std::string name = make_private_directory(g_staging.own_directory.get(), kStagingPrefix, gone);
    if (gone) continue;
    io_check();
    g_staging.directory = lock_staging_directory(g_staging.own_directory.get(), name);
    io_check();
    if (g_staging.directory.valid()) {
      g_staging.name = name;
      return g_staging.destination + "/" + g_staging.own_name + "/" + name;
    }
  }
  refuse({"Cannot make a staging directory in ", destination});
}

const std::string& upload_destination() { return g_staging.destination; }
int held_upload_directory() { return g_staging.destination_directory.get(); }
int held_own_directory() { return g_staging.own_directory.get(); }
int held_staging_directory() { return g_staging.directory.get(); }

void remove_staging_directories() {
  int own = g_staging.own_directory.get();
  if (own < 0) return;
  if (!g_staging.name.empty()) {
    remove_tree(own, g_staging.name);
    g_staging.name.clear();
    g_staging.directory = Fd();
  }
  for (const std::string& name : names_starting_with(own, kStagingPrefix)) {
    if (!own_leftover(own, name)) continue;
    Fd abandoned = lock_staging_directory(own, name);
    if (abandoned.valid()) remove_tree(own, name);
  }
  // The claims lock goes when no run holds it: one that opened it
  // meanwhile finds, once it has the lock, that its path names it no more.
  if (entry_kind(own, kClaimsLock).exists) {
    Fd lock = open_lock_file(own, kClaimsLock);
    if (lock.valid() && lock_for_this_run(lock.get()) &&
        still_entry(own, kClaimsLock, lock.get())) {
      remove_tree(own, kClaimsLock);
    }
  }
  take_io_result();  // what cannot be cleared away is no failure of this run
  remove_empty_directory(g_staging.destination_directory.get(), g_staging.own_name);
}
