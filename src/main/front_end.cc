#include "main/front_end.h"

#include <string_view>

#include "main/info_screens.h"
#include "main/version.h"
#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/standard_files.h"
#include "runtime/startup.h"
#include "runtime/termination.h"
#include "transfer/receive_mode.h"
#include "transfer/send_mode.h"

namespace {

ShortString<10> g_version;

using Screen = void (*)();

struct Switch {
  std::string_view name;
  Screen screen;
};

void show_version() {
  print_line({"Vurel version ", version()});
  print_line();
}

// Compared exactly, in this order; the first equal entry is taken.
constexpr Switch kInformationSwitches[] = {
    {"--ver", show_version},
    {"--help", show_usage_screen},
    {"--info", show_info_screen},
    {"--bugs", show_known_issues_screen},
};

void dispatch() {
  if (argument_count() < 1) {
    print_line("Nothing to do... !   --help for usage.");
    print_line("                     --info for program information");
    print_line("                     --bugs for known bugs in this version");
    halt(1);
  }
  Str first = argument(1);
  for (const Switch& entry : kInformationSwitches) {
    if (first == entry.name) {
      entry.screen();
      halt(0);
    }
  }
  if (first == "--send") {
    run_send_mode();
  } else if (first == "--receive") {
    run_receive_mode();
  }
}

}  // namespace

const ShortString<10>& version() { return g_version; }

void set_version() { g_version = "2.1"; }

void show_banner() {
  clear_screen();
  move_cursor(1, 1);
  print_line({"Vurel v", version(), " FrontEnd for Linux lrzsz for use with BBS Software"});
  print_line("Written by the Vurel developers");
  print_line();
}

void program_entry(int argc, char** argv, char** envp) {
  start_runtime(argc, argv, envp);
  set_version();
  show_banner();
  dispatch();
  normal_end();
}
