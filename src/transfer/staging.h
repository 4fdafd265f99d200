#pragma once

#include <string>
#include <string_view>

// The staging directory of an upload: a fresh, empty, private directory
// (mode 0700) that the receiving program runs in, made for one transfer in
// this user's own directory of the upload directory (".vurel-UID", mode
// 0700, made again when another run removed it, removed when the last run
// leaves it), so that a move out of it is a rename on the same file system.
// Nothing the program does can touch a file that was in the upload
// directory before; what arrived whole is then placed there (placing.h),
// and everything else goes with the staging directory.
//
// A run holds the lock on its staging directory for as long as it lives; a
// staging directory whose lock nobody holds was left by a run that was
// killed, and the next run into that upload directory removes it. Only this
// user's own directory is looked through, and only a directory that can be
// a leftover (this user's, mode 0700, never another mount) is taken.

// The own directory's name: this prefix and the user id.
inline constexpr std::string_view kOwnDirectoryPrefix = ".vurel-";
// The lock file in the own directory that every run takes to claim a name
// where the file system has no atomic claim.
inline constexpr std::string_view kClaimsLock = "claims.lock";

// Makes this run's staging directory in `destination` (which exists) and
// takes its lock; returns its path. A failure ends the program.
std::string make_staging_directory(std::string_view destination);

// The upload directory as given, and the directories held open for the run
// (-1 before the staging directory is made).
const std::string& upload_destination();
int held_upload_directory();
int held_own_directory();
int held_staging_directory();

// Removes this run's staging directory with what is left in it (files that
// did not arrive whole, or could not be placed), then those that killed
// runs left behind, then the own directory when no other run uses it. Only
// the process that made it removes it.
void remove_staging_directories();
