#pragma once

#include <string>
#include <string_view>

#include "runtime/short_string.h"
#include "runtime/text_file.h"

// The working files of one transfer, named after a transfer number drawn from
// the clock: the transfer script (the one-line shell script that runs the
// protocol program) and the transfer log (its standard error), both in the
// starting directory, and the DSZ log, made to exist here.

enum class TransferMode { kSend, kReceive };

struct WorkingFiles {
  Str number_text;
  Str transfer_log_path;  // always absolute
  Str script_name;        // bare in send mode, absolute in receive mode
  TextFile script;        // left open; the driver rewrites it
};

// Prints "DSZ Logpath : " with the DSZ log path. The starting directory is
// read here in send mode; receive mode hands in the one it read.
void prepare_working_files(TransferMode mode, const Str& starting_directory, WorkingFiles& files);

// The directory to return to: the root when the starting directory is the
// root itself (whose query result joins no name).
Str directory_to_return_to(const Str& starting_directory);

// The DSZ log path: the value of DSZLOG, or dsz.log in the starting directory.
std::string dsz_log_path_for(const Str& starting_directory);
