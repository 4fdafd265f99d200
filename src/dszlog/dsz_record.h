#pragma once

#include <string_view>

#include "runtime/short_string.h"
#include "runtime/text_file.h"

// The DSZ log: the one-line-per-file record that the BBS reads. After the
// log is made to exist, the program only ever appends records to it.

// The process-wide DSZ log path and file, set once per transfer.
void bind_dsz_log(std::string_view path);
const Str& dsz_log_path();

// "S  99999 38400 bps 3333 cps   0 errors    66 1024 " + name + " -1"
void append_send_record(std::string_view name);
// "R  " + size + " 38400 bps 3333 cps   0 errors    66 1024 " + path + " -1"
void append_receive_record(std::string_view path, long long size);

// The fixed texts, exposed for tests.
inline constexpr std::string_view kSendRecordStart =
    "S  99999 38400 bps 3333 cps   0 errors    66 1024 ";
inline constexpr std::string_view kReceiveRecordStart = "R  ";
inline constexpr std::string_view kReceiveRecordMiddle =
    " 38400 bps 3333 cps   0 errors    66 1024 ";
inline constexpr std::string_view kRecordEnd = " -1";
inline constexpr std::string_view kSentConfirmation = "\xfe File Sent :  ";
inline constexpr std::string_view kReceivedConfirmation = "\xfe File Received :  ";
