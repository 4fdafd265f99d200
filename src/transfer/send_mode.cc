#include "transfer/send_mode.h"

#include <string>

#include "dszlog/send_log.h"
#include "runtime/command_line.h"
#include "runtime/io_result.h"
#include "runtime/run_shell_script.h"
#include "runtime/standard_files.h"
#include "runtime/termination.h"
#include "transfer/protocol.h"
#include "transfer/script_line.h"
#include "transfer/working_files.h"

namespace {

// The names read from the file list. The table grows with the list, so a
// list of any length is sent and recorded whole.
FileTable g_file_table;

[[noreturn]] void usage_error(std::string_view message) {
  print_line(message);
  halt(1);
}

// Reads one name per line, at most 64 bytes each, the rest of a line skipped.
void read_file_list(const ShortString<64>& path) {
  TextFile list;
  bind_file(list, path);
  open_for_reading(list);
  if (take_io_result() != 0) {
    print_line({"File not found : ", path});
    halt(1);
  }
  while (!at_end_of_file(list)) {
    ShortString<64> name = read_line(list, 64);
    skip_line(list);
    print_line({"Adding.. ", name});
    g_file_table.push_back(name);
  }
  io_check();
  // The list stays open until the process ends.
}

void write_script(WorkingFiles& files, const std::string& line) {
  open_for_writing(files.script);
  write_text(files.script, line);
  end_line(files.script);
  close_file(files.script);
}

}  // namespace

void run_send_mode() {
  WorkingFiles files;
  prepare_working_files(TransferMode::kSend, Str(), files);
  print_line("Send mode active.");
  io_check();
  if (argument_count() < 3) usage_error("You did not specify enough parameters!");

  ShortString<64> list_path = argument(2);
  print_line({"Filelist path set to ", list_path});
  ShortString<1> letter = argument(3);
  const Protocol* protocol = find_protocol(letter);
  if (protocol == nullptr) {
    print_line("Invalid Protocol Specified!");
    usage_error("Uppercase \"X\" \"Y\" or \"Z\" ! ");
  }
  print_line({"Protocol : ", letter, "-modem"});
  print_line();
  io_check();

  read_file_list(list_path);
  print_line({"Total Files Added : ", integer_text(static_cast<long long>(g_file_table.size()))});

  print_line();
  write_script(files, send_script_line(*protocol, g_file_table, files.transfer_log_path));
  print_line(protocol->send_message);
  io_check();
  int end_status = run_shell_script(files.script_name);
  print_line();

  translate_send_log(files.transfer_log_path, g_file_table, end_status);
}
