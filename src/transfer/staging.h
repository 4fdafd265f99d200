#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/file.h"

// The staging directory of an upload: a fresh, empty, private directory
// (mode 0700) that the receiving program runs in, made for one transfer
// inside the upload directory, so that a move out of it is a rename on the
// same file system. Nothing the program does can touch a file that was in
// the upload directory before; what arrived whole is then placed there,
// and everything else goes with the staging directory.
//
// A run holds the lock on its staging directory for as long as it lives; a
// staging directory whose lock nobody holds was left by a run that was
// killed, and the next run into that upload directory removes it.

inline constexpr std::string_view kStagingPrefix = ".vrlstage-";

// Makes this run's staging directory in `destination` (which exists) and
// takes its lock; returns its path, `destination` + "/" + its name. A
// failure ends the program with its run-time error.
std::string make_staging_directory(std::string_view destination);
// This run's staging directory, held open (-1 before it is made).
int held_staging_directory();

// What became of a file that the log reported as arrived whole.
struct Placement {
  bool placed = false;
  long long size = 0;
  std::string path;     // where it lies now (or would have): destination/name
  std::string sent_as;  // the name it was sent with, when it was renamed
  std::string why_not;  // empty when it never arrived (not placed, nothing said)
};

// Moves the staged file `name` (a folded upload name, see receive_log.h)
// into the upload directory under the same name, replacing a regular file
// there in one step. Each directory on the way is opened without following
// a link (missing ones are made), so nothing swapped in meanwhile can lead
// the file elsewhere. Never placed over a file in `reserved` (the DSZ log,
// the working files), a working file's name or a staging directory, nor
// when the BBS package's reader could not take its record. A name that the
// package's reader cannot take is changed (package_rules.h): the file then
// goes to the top of the upload directory under the first free variant of
// the new name, never over another file.
Placement place_upload(std::string_view name, const std::vector<FileIdentity>& reserved);

// Removes this run's staging directory with what is left in it (files that
// did not arrive whole, or could not be placed), then those that killed
// runs left behind. Only the process that made it removes it.
void remove_staging_directories();
