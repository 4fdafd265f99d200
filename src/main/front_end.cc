#include "main/front_end.h"

#include <string>
#include <string_view>

#include "main/info_screens.h"
#include "main/version.h"
#include "runtime/child_process.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/io_result.h"
#include "runtime/termination.h"
#include "transfer/receive_mode.h"
#include "transfer/send_mode.h"

namespace {

struct Switch {
  std::string_view name;
  void (*screen)();
};

void show_version() {
  print_line({"Vurel version ", kVersion});
  print_line();
}

// Compared exactly, in this order; the first equal entry is taken.
constexpr Switch kInformationSwitches[] = {
    {"--ver", show_version},
    {"--help", show_usage_screen},
    {"--info", show_info_screen},
    {"--bugs", show_known_issues_screen},
};

// The directory the transfer starts in, where its working files go. One
// that cannot be known is never taken for another.
std::string starting_directory() {
  std::string start = current_directory();
  if (start.empty()) refuse({"Cannot find the starting directory!"});
  return start;
}

void dispatch() {
  if (argument_count() < 1) {
    print_line("Nothing to do... !   --help for usage.");
    print_line("                     --info for program information");
    print_line("                     --bugs for known bugs in this version");
    halt(1);
  }
  std::string_view first = argument(1);
  for (const Switch& entry : kInformationSwitches) {
    if (first == entry.name) {
      entry.screen();
      halt(0);
    }
  }
  if (first == "--send") {
    run_send_mode(starting_directory());
  } else if (first == "--receive") {
    run_receive_mode(starting_directory());
  }
}

void show_banner() {
  clear_screen();
  move_cursor(1, 1);
  print_line({"Vurel v", kVersion, " FrontEnd for Linux lrzsz for use with BBS Software"});
  print_line("Written by the Vurel developers");
  print_line();
}

}  // namespace

void program_entry(int argc, char** argv, char** envp) {
  keep_command_line(argc, argv, envp);
  open_missing_standard_descriptors();
  install_fault_handlers();
  catch_signals();
  console_start(0, 1);
  show_banner();
  dispatch();
  // A stop signal ends the run once what moved is recorded.
  if (stop_signal() != 0) halt(static_cast<std::uint8_t>(128 + stop_signal()));
  normal_end();
}
