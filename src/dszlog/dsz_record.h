#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/file.h"

// The DSZ log: the one-line-per-file record that the BBS reads. Its path is
// settled once per run; it is opened before the transfer, and the program
// only ever appends records to it.

// The path: DSZLOG's value when the environment names one (`named`), else
// `fallback`, the default log in the starting directory.
void name_dsz_log(std::string_view named, std::string fallback);
const std::string& dsz_log_path();

// Ends the program ("The DSZ log PATH lies in the upload directory:
// refused.", status 1) when the log, every link in its path resolved as far
// as it exists, lies in `directory` or below it; every later opening of the
// log is held to the same rule.
void refuse_dsz_log_below(std::string_view directory);

// Opens the DSZ log for appending, creating it when missing (also through a
// link whose target is gone) and never emptying it. A log that is not a
// regular file is refused, and so is a default log (one that DSZLOG did not
// name) that is a link: a clear line and status 1. Any other failure ends
// the program with its run-time error. Either way before anything moved.
void open_dsz_log();
// Right after the protocol program ended, before anything is placed or
// recorded: when the path no longer names the log opened (it was rotated or
// removed meanwhile), the log is opened anew, with every check of the
// first opening. When that fails, the records go to the log opened at the
// start, and a line says so: nothing that moved is ever lost for it.
void settle_dsz_log();
// The open log, which no upload may ever replace.
FileIdentity dsz_log_identity();

// Each record reaches the log in one write, whole or not at all; its
// confirmation line is shown only once it is there. A record names
// the file as the BBS package's rules say (package_rules.h): its path, or
// its base name. A record that its reader could not take is never cut and
// never written: a line on the screen says which file was not recorded and
// why.
// "S  99999 38400 bps 3333 cps   0 errors    66 1024 " + name + " -1"
void append_send_record(std::string_view name);
// "R  " + size + " 38400 bps 3333 cps   0 errors    66 1024 " + path + " -1"
// Receive records go a batch at a time, each with the screen lines of its
// file in turn: the records of a batch reach the log in one write (each
// whole, or none of them), then its lines are shown.
void queue_receive_record(std::string_view path, long long size);
// A screen line in turn with the queued records.
void queue_line(std::initializer_list<std::string_view> pieces);
// Writes the records queued, then shows the lines.
void flush_queued_records();

// Why the package's reader could not take the receive record of `path`
// (`size` bytes); empty when it can.
std::string receive_record_problem(std::string_view path, long long size);
// The room for an upload's name whose receive record (`size` bytes, placed
// in `destination`) its reader takes: the longest name (0 when nothing
// limits it), or none at all when fewer than kShortestName bytes are left.
struct NameRoom {
  bool fits = true;
  std::size_t longest = 0;
};
NameRoom upload_name_room(std::string_view destination, long long size);
