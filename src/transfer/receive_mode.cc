#include "transfer/receive_mode.h"

#include <string>

#include "dszlog/receive_log.h"
#include "runtime/command_line.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/run_shell_script.h"
#include "runtime/standard_files.h"
#include "runtime/termination.h"
#include "transfer/protocol.h"
#include "transfer/script_line.h"
#include "transfer/working_files.h"

namespace {

// Every line of receive mode is followed by the I/O check.
void print_checked(std::initializer_list<std::string_view> pieces) {
  print_line(pieces);
  io_check();
}

// Makes sure the destination directory exists and can be entered, creating
// it (one level) when it is missing. Ends the program with status 1 when it
// cannot be created. Returns in the starting directory.
void prepare_destination(const Str& destination, const Str& start) {
  change_directory(destination);
  if (take_io_result() == 0) {
    change_directory(directory_to_return_to(start));
    io_check();
    return;
  }
  print_checked({""});
  print_checked({"Warning: Cannot find directory for receive!"});
  print_checked({"Creating Directory ", destination, " for you... =]"});
  make_directory(destination);
  if (take_io_result() != 0) {
    print_checked({""});
    print_checked({"Cannot Create Directory ", destination, ". I give up!"});
    change_directory(directory_to_return_to(start));
    take_io_result();
    halt(1);
  }
}

}  // namespace

void run_receive_mode() {
  print_checked({"Receive mode active."});
  if (argument_count() < 3) {
    print_checked({"You did not specify enough parameters!"});
    halt(1);
  }
  Str destination = argument(2);
  ShortString<1> letter = argument(3);
  print_checked({"Upload Path : ", destination});
  const Protocol* protocol = find_protocol(letter);
  if (protocol == nullptr) {
    print_checked({"Invalid Protocol Specified!"});
    halt(1);
  }

  Str start = current_directory();
  prepare_destination(destination, start);

  WorkingFiles files;
  prepare_working_files(TransferMode::kReceive, start, files);
  print_checked({"Protocol : ", letter, "-modem"});
  print_checked({""});

  // The receiving program stores what arrives in its current directory.
  change_directory(destination);
  io_check();
  print_checked({""});
  std::string line = receive_script_line(*protocol, files.transfer_log_path);
  open_for_writing(files.script);
  io_check();
  write_text(files.script, line);
  end_line(files.script);
  io_check();
  close_file(files.script);
  io_check();
  print_checked({protocol->receive_message});
  run_shell_script(files.script_name);
  print_checked({""});

  change_directory(directory_to_return_to(start));
  translate_receive_log(files.transfer_log_path, destination);
}
