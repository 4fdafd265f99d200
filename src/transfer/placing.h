#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/file.h"

// Placing an upload: a file that the log reported whole is moved from the
// staging directory (staging.h) into the upload directory.

// What became of a file that the log reported as arrived whole.
struct Placement {
  bool placed = false;
  bool without_lock = false;  // claimed by a check, then a move: no lock could be had
  long long size = 0;
  FileIdentity identity;  // of the file, which keeps it when it moves
  std::string name;       // where it lies below the upload directory, when not as sent
  std::string why_not;    // empty when placed, or when it never arrived (nothing said)
};

// Moves each staged file of `names` (folded upload names, each once, see
// receive_log.h) into the upload directory, and tells what became of each,
// in the same order. A file becomes plain data first: mode 0666 less the
// umask, and never a file with other links. Under the name it was sent with
// it replaces a regular file that was there before the run, in one step;
// each directory on the way is opened once per run without following a
// link (missing ones are made), so nothing swapped in meanwhile can lead the
// file elsewhere. A staged directory whose every file goes in as sent, where
// the upload directory has nothing of its name, moves in one step. A file is
// never placed over a file in `reserved` (the DSZ log, the working files),
// under a hidden name or a working file's name, nor when the BBS package's
// reader could not take its record.
//
// A name that the package's reader cannot take is changed (package_rules.h),
// and a name this run placed already is never replaced by this run: the file
// then takes the first free variant of the name in its directory, never over
// another file. Variants are counted on from the last one this run took. On
// a file system that can claim no name in one step, the claim is a check
// and a move under the lock that every run takes for it (kClaimsLock);
// where no lock can be had, the file is still placed, and `without_lock`
// says so.
std::vector<Placement> place_uploads(const std::vector<std::string>& names,
                                     const std::vector<FileIdentity>& reserved);
