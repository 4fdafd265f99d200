#include "dszlog/transfer_log.h"

#include "dszlog/dsz_record.h"
#include "runtime/console.h"
#include "runtime/standard_files.h"
#include "runtime/termination.h"

void show_translation_header() {
  clear_screen();
  print_line();
  print_line("Please wait... ");
  print_line({"Processing Logfile \"", dsz_log_path(), "\""});
  print_line();
}

void close_transfer_log(TextFile& log) {
  close_file(log);
  io_check();
}

void show_translation_footer() {
  print_line();
  print_line("Finished.");
  io_check();
}
