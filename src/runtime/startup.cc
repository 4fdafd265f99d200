#include "runtime/startup.h"

#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/hang_up.h"
#include "runtime/io_result.h"
#include "runtime/standard_files.h"
#include "runtime/termination.h"

void start_runtime(int argc, char** argv, char** envp) {
  keep_command_line(argc, argv, envp);
  bind_standard_files();
  take_io_result();
  install_fault_handlers();
  catch_hang_up();
  console_start(0, 1);
}
