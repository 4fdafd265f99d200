#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/file.h"

// The confinement of the shell and the protocol program: the program that
// parses every byte a caller sends may touch this transfer's own files and
// what it needs to start, nothing else. It runs under a Linux Landlock
// ruleset (kernel 5.13 or later, Landlock enabled): read and execute the
// loader's cache, the directories the C library and the loader live in,
// /bin/sh, the protocol program (and the interpreter of a script), and the
// libraries the loader is told to preload; read the transfer script; write
// the transfer log; plus what `ProgramAccess` grants. Where the kernel
// offers it, no TCP bind or connect, and no signal or abstract UNIX socket
// beyond the transfer's own processes.

enum class ConfineMode {
  kBestEffort,  // confined where the kernel can, else run as it is
  kRequired,    // never run unconfined
  kOff,         // never confined (a sysop's own wrapper confines the BBS)
};

// What one transfer's program may touch beyond what every program needs to
// start: the transfer states it, the runtime adds the rest.
struct ProgramAccess {
  ConfineMode mode = ConfineMode::kBestEffort;
  std::string_view program;  // the protocol program's name, found through the kept PATH
  int script = -1;           // the transfer script: readable
  int transfer_log = -1;     // writable and truncatable (the shell's 2> empties it)
  // Receive: create, write, rename and remove anything beneath it.
  int writable_tree = -1;
  // Send: each listed name (relative to the current directory) that is a
  // regular file, readable; a directory or a device never becomes a rule.
  const std::vector<std::string>* readable_files = nullptr;
};

// Why this kernel cannot confine a program; empty when it can.
std::string why_confinement_unavailable();

// The rules for one run of the program, built before the child exists so
// that a failure is reported like any other (the pending I/O result).
struct Confinement {
  Fd ruleset;  // invalid: the program runs unconfined
  bool required = false;
  int error = 0;  // why there is no ruleset, when the kernel cannot confine
};
// `search_path` is the PATH the shell will search for the program.
Confinement build_confinement(const ProgramAccess& access, std::string_view search_path);

// In the child, right before it runs the shell: restricts the process for
// good. 0 when done, or when there is nothing to do and confinement is not
// required; else the system's reason. Makes no allocation.
int enter_confinement(const Confinement& confinement);

// The reason a program could not be confined, for the screen.
std::string restriction_failure(int error);
