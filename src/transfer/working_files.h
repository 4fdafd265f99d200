#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file.h"

// The working files of one transfer, both in the starting directory and
// named after a transfer number: the transfer script (the one-line shell
// script that runs the protocol program) and the transfer log (its standard
// error). The number is drawn from the clock; when a live transfer holds it
// (its transfer log is locked for as long as that transfer runs), or when
// either name is taken by a link or by something that is not a regular file,
// the next number is tried.

enum class TransferMode { kSend, kReceive };

struct WorkingFiles {
  std::string transfer_log_path;  // always absolute
  std::string script_name;        // bare in send mode, absolute in receive mode
  std::string script_path;        // always absolute
  Fd transfer_log;                // created here, so the shell's 2> finds a regular file
  Fd script;
};

// The number a transfer started at clock second `seconds` draws: f applied
// nine times to the second (as a 32-bit number) mod 1000003, then mod 999,
// where f(x) = ((x + 1) * 998) mod 1000003.
int transfer_number(long long seconds);

// `name` in `directory` (an absolute path, "/" for the root).
std::string path_in(const std::string& directory, std::string_view name);

// Settles the DSZ log path for the run: the value of DSZLOG when it is set
// and not empty, else dsz.log in the starting directory.
void settle_dsz_log_path(const std::string& start);

// Whether `name` has the form of a working file's name (vrlN.sh, vrlszN.log):
// another node's working files may stand under such a name.
bool is_working_file_name(std::string_view name);

// Ends the program ("The starting directory's file system is full : " and
// the directory, status 1) when the protocol program could not write its
// messages there: under 64 KiB or no inode free.
void refuse_full_file_system(const std::string& start);

// Ends the program ("Path too long : " and the path, status 1) when one of
// the paths, or the longest working-file path in `start`, is longer than the
// system takes.
void refuse_long_paths(const std::string& start, std::initializer_list<std::string_view> paths);

// Claims a transfer number and creates both working files, then opens the
// DSZ log; ends the program when no number is free ("No free transfer
// number in" the directory, status 1) or a file cannot be made.
void prepare_working_files(TransferMode mode, const std::string& start, WorkingFiles& files);

// Writes the script's one line and a line feed; ends the program on a failure.
void write_transfer_script(WorkingFiles& files, const std::string& line);

// Runs the transfer script, the shell and the program `command` names
// confined (as the configuration says) to the script, the transfer log and
// what the transfer adds: the tree it may write in (receive) or the files
// it may read (send). Returns the program's end status (run_shell_script);
// ends the program ("Cannot confine the protocol program : " and why,
// status 1) when confinement is required and the child could not restrict
// itself.
int run_transfer_script(const WorkingFiles& files, std::string_view command, int writable_tree,
                        const std::vector<std::string>* readable_files);

// Removes both working files, if they are still this run's: for a run that
// started in the upload directory, where a BBS would take them for uploads.
void remove_working_files(const WorkingFiles& files);
