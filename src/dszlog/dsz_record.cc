#include "dszlog/dsz_record.h"

#include "runtime/standard_files.h"

namespace {

TextFile g_dsz_log;

// One record is one open-append-close cycle, so a record is on disk before
// the next file is looked at, and its line reaches the log in one write:
// two nodes appending to a shared log never split each other's lines.
void append_record(std::string_view confirmation, std::string_view name,
                   std::initializer_list<std::string_view> record) {
  open_for_appending(g_dsz_log);
  write_text(standard_output(), confirmation);
  write_line(standard_output(), name);
  write_whole_line(g_dsz_log, record);
  close_file(g_dsz_log);
}

}  // namespace

void bind_dsz_log(std::string_view path) { bind_file(g_dsz_log, path); }

const Str& dsz_log_path() { return g_dsz_log.name; }

void append_send_record(std::string_view name) {
  append_record(kSentConfirmation, name, {kSendRecordStart, name, kRecordEnd});
}

void append_receive_record(std::string_view path, long long size) {
  Str size_text = integer_text(size);
  append_record(kReceivedConfirmation, path,
                {kReceiveRecordStart, size_text, kReceiveRecordMiddle, path, kRecordEnd});
}
