#include "transfer/receive_mode.h"

#include <optional>
#include <string>
#include <vector>

#include "dszlog/receive_log.h"
#include "runtime/child_process.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/transfer_script.h"
#include "transfer/working_files.h"

namespace {

// Every line of receive mode is followed by the I/O check.
void print_checked(std::initializer_list<std::string_view> pieces) {
  print_line(pieces);
  io_check();
}

// The directory part of a path: "." for a bare name.
std::string directory_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// An upload must never be able to replace the DSZ log: a log anywhere below
// the destination (both resolved) is refused before anything is created.
void refuse_dsz_log_in_destination(std::string_view destination, const std::string& start) {
  std::string dsz_log = dsz_log_path_for(start);
  std::string log_directory = resolved_path(directory_of(dsz_log));
  std::string upload_directory = resolved_path(destination);
  if (log_directory.empty() || upload_directory.empty()) return;
  if (upload_directory == "/" || log_directory == upload_directory ||
      log_directory.starts_with(upload_directory + "/")) {
    refuse({"The DSZ log ", dsz_log, " lies in the upload directory: refused."});
  }
}

// rx needs the file's name: the BBS gives it as the fourth argument, a plain
// name that no file in the destination has yet (-y would replace it).
std::string_view xmodem_upload_name(std::string_view destination) {
  std::string_view name = argument(4);
  if (name.empty()) {
    refuse({"Xmodem uploads need a file name: --receive <directory> X <name>"});
  }
  if (name == "." || name == ".." || name[0] == '-' || name.find('/') != std::string_view::npos ||
      holds_control_byte(name)) {
    refuse({"Invalid upload name : ", name});
  }
  if (path_taken(std::string(destination) + "/" + std::string(name))) {
    refuse({"Upload name already taken : ", name});
  }
  return name;
}

// Makes sure the destination directory exists and can be entered, creating
// it (one level) when it is missing. Ends the program with status 1 when it
// cannot be created. Returns in the starting directory.
void prepare_destination(std::string_view destination, const std::string& start) {
  change_directory(destination);
  if (take_io_result() == 0) {
    change_directory(start);
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
    change_directory(start);
    take_io_result();
    halt(1);
  }
}

}  // namespace

void run_receive_mode(const std::string& start) {
  print_checked({"Receive mode active."});
  if (argument_count() < 3) {
    refuse({"You did not specify enough parameters!"});
  }
  std::string_view destination = argument(2);
  std::string_view letter = argument(3).substr(0, 1);
  print_checked({"Upload Path : ", destination});
  const Protocol* protocol = find_protocol(letter);
  if (protocol == nullptr) {
    refuse({"Invalid Protocol Specified!"});
  }
  std::string_view upload_name = protocol->letter == 'X' ? xmodem_upload_name(destination) : "";
  refuse_long_paths(start, {destination, dsz_log_path_for(start)});
  refuse_dsz_log_in_destination(destination, start);
  prepare_destination(destination, start);

  WorkingFiles files;
  print_checked({"DSZ Logpath : ", dsz_log_path_for(start)});
  prepare_working_files(TransferMode::kReceive, start, files);
  print_checked({"Protocol : ", letter, "-modem"});
  print_checked({""});

  // The receiving program stores what arrives in its current directory.
  change_directory(destination);
  io_check();
  print_checked({""});
  write_transfer_script(files,
                        receive_script_line(*protocol, upload_name, files.transfer_log_path));
  print_checked({protocol->receive_message});
  TreeSnapshot before = snapshot_tree(".");
  int end_status = run_shell_script(files.script_name);
  print_checked({""});

  change_directory(start);
  std::vector<FileStamp> working_files;
  for (const std::string& path : {files.transfer_log_path, files.script_name}) {
    if (std::optional<FileStamp> stamp = regular_file_stamp(path)) working_files.push_back(*stamp);
  }
  translate_receive_log({files.transfer_log_path, destination, &before, working_files, end_status});
}
