#include "transfer/send_mode.h"

#include <string>

#include "dszlog/dsz_record.h"
#include "dszlog/send_log.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/configuration.h"
#include "transfer/transfer_script.h"
#include "transfer/working_files.h"

namespace {

// The names read from the file list. The table grows with the list, so a
// list of any length is sent and recorded whole.
FileTable g_file_table;

// Reads one name per line, each whole; a name longer than the system takes
// is skipped, never sent as its prefix.
void read_file_list(std::string_view path) {
  TextFile list;
  OpenResult opened = open_text_file(list, path);
  if (opened == OpenResult::kNotRegular) refuse({"Not a regular file : ", path});
  if (opened == OpenResult::kFailed) {
    take_io_result();
    refuse({"File not found : ", path});
  }
  std::string name;
  bool cut = false;
  while (read_line(list, name, kMaxPath, cut)) {
    if (cut) {
      print_line("Skipped.. a name longer than 4095 bytes");
      continue;
    }
    // The shell would drop the NUL and send a name the list did not give.
    if (name.find('\0') != std::string::npos) {
      print_line("Skipped.. a name holding a NUL byte");
      continue;
    }
    print_line({"Adding.. ", name});
    g_file_table.push_back(name);
  }
  io_check();
}

}  // namespace

void run_send_mode(const std::string& start) {
  settle_dsz_log_path(start);
  print_line({"DSZ Logpath : ", dsz_log_path()});
  print_line("Send mode active.");
  io_check();
  if (argument_count() < 3) refuse({"You did not specify enough parameters!"});

  std::string_view list_path = argument(2);
  print_line({"Filelist path set to ", list_path});
  std::string_view letter = argument(3).substr(0, 1);
  const Protocol* protocol = find_protocol(letter);
  if (protocol == nullptr) {
    print_line("Invalid Protocol Specified!");
    refuse({"Uppercase \"X\" \"Y\" or \"Z\" ! "});
  }
  print_line({"Protocol : ", letter, "-modem"});
  print_line();
  io_check();
  read_configuration();
  refuse_long_paths(start, {list_path, dsz_log_path()});
  refuse_full_file_system(start);

  read_file_list(list_path);
  print_line({"Total Files Added : ", std::to_string(g_file_table.size())});

  WorkingFiles files;
  prepare_working_files(TransferMode::kSend, start, files);
  print_line();
  write_transfer_script(files, send_script_line(*protocol, g_file_table, files.transfer_log_path));
  print_line(protocol->send_message);
  io_check();
  // sz reads the listed files, and writes nothing but its messages.
  int end_status = run_transfer_script(files, protocol->send_command, -1, &g_file_table);
  print_line();

  translate_send_log(files.transfer_log.get(), g_file_table, end_status);
}
