#include "runtime/hang_up.h"

#include <signal.h>

namespace {

volatile sig_atomic_t g_line_dropped = 0;

void on_hang_up(int) { g_line_dropped = 1; }

void set_action(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

void catch_hang_up() {
  set_action(SIGHUP, on_hang_up);
  set_action(SIGPIPE, SIG_IGN);
}

void restore_default_hang_up() {
  set_action(SIGHUP, SIG_DFL);
  set_action(SIGPIPE, SIG_DFL);
}

bool line_dropped() { return g_line_dropped != 0; }
