#pragma once

#include <string>
#include <string_view>

// The DSZ log: the one-line-per-file record that the BBS reads. It is opened
// once, before the transfer, and the program only ever appends records to it.

// Opens the DSZ log at `path` for appending, creating it when missing (also
// through a link whose target is gone) and never emptying it. A log that is
// not a regular file is refused, and so is a default log (one that DSZLOG did
// not name) that is a link: a clear line and status 1. Any other failure ends
// the program with its run-time error. Either way before anything moved.
void open_dsz_log(const std::string& path, bool default_log);
const std::string& dsz_log_path();

// Each record reaches the log in one write, whole or not at all; its
// confirmation line is shown only once it is there.
// "S  99999 38400 bps 3333 cps   0 errors    66 1024 " + name + " -1"
void append_send_record(std::string_view name);
// "R  " + size + " 38400 bps 3333 cps   0 errors    66 1024 " + path + " -1"
void append_receive_record(std::string_view path, long long size);
