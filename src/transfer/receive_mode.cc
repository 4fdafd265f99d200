#include "transfer/receive_mode.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "dszlog/dsz_record.h"
#include "dszlog/package_rules.h"
#include "dszlog/receive_log.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/configuration.h"
#include "transfer/placing.h"
#include "transfer/staging.h"
#include "transfer/transfer_script.h"
#include "transfer/working_files.h"

namespace {

WorkingFiles g_files;
// A run started in the upload directory, or below it, leaves no working
// file there: a BBS that scans it would take them for uploads.
bool g_working_files_in_upload_tree = false;
ExitProcedure g_previous_exit = nullptr;
int g_owner = 0;

// However the run ends, the staging directory goes, and with it whatever
// was not placed; so do working files in the upload tree, while their lock
// is still held. A child that could not start the shell leaves them be.
void clean_up() {
  install_exit_procedure(g_previous_exit);
  if (process_id() != g_owner) return;
  remove_staging_directories();
  if (g_working_files_in_upload_tree) remove_working_files(g_files);
}

// Every line of receive mode is followed by the I/O check.
void print_checked(std::initializer_list<std::string_view> pieces) {
  print_line(pieces);
  io_check();
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

// Whether the destination directory can be entered; back in the starting
// directory either way.
bool can_enter(std::string_view destination, const std::string& start) {
  change_directory(destination);
  if (take_io_result() != 0) return false;
  change_directory(start);
  io_check();
  return true;
}

// Makes sure the destination directory exists and can be entered, creating
// it (one level) when it is missing; one that another run made meanwhile
// will do. Ends the program with status 1 when it cannot be created.
// Returns in the starting directory.
void prepare_destination(std::string_view destination, const std::string& start) {
  if (can_enter(destination, start)) return;
  print_checked({""});
  print_checked({"Warning: Cannot find directory for receive!"});
  print_checked({"Creating Directory ", destination, " for you... =]"});
  make_directory(destination);
  if (take_io_result() != 0 && !can_enter(destination, start)) {
    print_checked({""});
    print_checked({"Cannot Create Directory ", destination, ". I give up!"});
    halt(1);
  }
}

// The names the log reported whole, folded, each once, in the order of
// their first report. The log names each once already: two can only meet
// when folding changed one of them.
std::vector<std::string> upload_names(std::vector<std::string> reported) {
  bool changed = false;
  std::erase_if(reported, [&](std::string& name) {
    std::size_t before = name.size();
    bool upload = fold_upload_name(name);
    changed = changed || name.size() != before;
    return !upload;
  });
  if (!changed) return reported;
  std::unordered_set<std::string_view> seen;
  std::vector<std::string> uploads;
  uploads.reserve(reported.size());  // the names seen point into it
  for (std::string& name : reported) {
    if (seen.contains(name)) continue;
    uploads.push_back(std::move(name));
    seen.insert(uploads.back());
  }
  return uploads;
}

// A placed file's lines and its record, under the path where it now lies,
// once that path still leads to it.
void record(std::string_view name, const Placement& placement) {
  const std::string& destination = upload_destination();
  static std::string path;  // its room is kept from file to file
  path.assign(destination).append("/").append(placement.name.empty() ? name : placement.name);
  if (!placement.placed) {
    if (placement.why_not.empty()) return;
    queue_line({"Not placed : ", destination, "/", name, " (", placement.why_not, ")"});
    return;
  }
  if (!placement.name.empty()) queue_line({"Renamed : ", name, " -> ", path});
  if (placement.without_lock) queue_line({"Placed without a lock : ", path});
  if (!leads_to(path, placement.identity)) {
    queue_line({"Not recorded : ", path, " (the upload directory was moved)"});
    return;
  }
  queue_receive_record(path, placement.size);
}

// Every file that the log reported whole is placed in the upload directory
// before any record is written: whatever fails later, a file that arrived
// is never lost to the program. Then each is recorded, in the order the log
// reported them.
void place_and_record(const std::vector<std::string>& uploads) {
  const std::vector<FileIdentity> reserved = {dsz_log_identity(),
                                              identity_of(g_files.transfer_log.get()),
                                              identity_of(g_files.script.get())};
  std::vector<Placement> placements = place_uploads(uploads, reserved);
  for (std::size_t i = 0; i < uploads.size() && !io_failed(); ++i) {
    record(uploads[i], placements[i]);
  }
  flush_queued_records();
  show_translation_footer();
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
  read_configuration();
  // A reader that upper-cases the path it looks an upload up by finds none
  // below a directory whose name holds a lower-case letter.
  if (package_rules().upper_cases_path &&
      destination.find_first_of("abcdefghijklmnopqrstuvwxyz") != std::string_view::npos) {
    refuse({"EleBBS finds uploads only under an upper-case path : ", destination});
  }
  settle_dsz_log_path(start);
  refuse_long_paths(start, {destination, dsz_log_path()});
  // An upload must never be able to replace the DSZ log.
  refuse_dsz_log_below(destination);
  refuse_full_file_system(start);
  g_working_files_in_upload_tree = lies_within(start, destination);
  prepare_destination(destination, start);

  print_checked({"DSZ Logpath : ", dsz_log_path()});
  prepare_working_files(TransferMode::kReceive, start, g_files);
  print_checked({"Protocol : ", letter, "-modem"});
  print_checked({""});

  // The receiving program stores what arrives in the staging directory.
  g_owner = process_id();
  g_previous_exit = install_exit_procedure(clean_up);
  change_directory(make_staging_directory(destination));
  io_check();
  print_checked({""});
  write_transfer_script(g_files,
                        receive_script_line(*protocol, upload_name, g_files.transfer_log_path));
  print_checked({protocol->receive_message});
  // rz writes into the staging directory, and nowhere else.
  int end_status =
      run_transfer_script(g_files, protocol->receive_command, held_staging_directory(), nullptr);
  print_checked({""});

  change_directory(start);
  place_and_record(upload_names(read_receive_log(g_files.transfer_log.get(), end_status)));
}
