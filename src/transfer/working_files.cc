#include "transfer/working_files.h"

#include "dszlog/dsz_record.h"
#include "runtime/command_line.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/random.h"
#include "runtime/standard_files.h"
#include "runtime/termination.h"

void prepare_working_files(TransferMode mode, const Str& starting_directory, WorkingFiles& files) {
  seed_random_from_clock();
  seed_random_from_clock();
  files.number_text = integer_text(static_cast<std::int16_t>(draw_random(999)));

  Str start = mode == TransferMode::kSend ? current_directory() : starting_directory;
  files.transfer_log_path = join(start, "/vrlsz", files.number_text, ".log");
  files.script_name = join("vrl", files.number_text, ".sh");
  if (mode == TransferMode::kReceive) files.script_name = join(start, "/", files.script_name);

  // An existing script of this name stays as it is until the driver rewrites
  // it; a missing one is created. A script that can be neither read nor
  // created (an unwritable starting directory) ends the program here.
  bind_file(files.script, files.script_name);
  open_for_reading(files.script);
  if (take_io_result() != 0) open_for_writing(files.script);
  io_check();

  Str dsz_log(dsz_log_path_for(start));
  print_line({"DSZ Logpath : ", dsz_log});

  // A DSZ log that exists is never emptied, whatever its permission bits; a
  // failure to create a missing one stays pending for the driver's next check.
  bind_dsz_log(dsz_log);
  create_file_if_missing(dsz_log);
}

Str directory_to_return_to(const Str& starting_directory) {
  return starting_directory.empty() ? Str("/") : starting_directory;
}

std::string dsz_log_path_for(const Str& starting_directory) {
  Str dsz_log = environment_value("DSZLOG");
  if (dsz_log.empty()) dsz_log = join(starting_directory, "/dsz.log");
  return std::string(dsz_log.view());
}
