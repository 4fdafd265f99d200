#include "runtime/termination.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "runtime/io_result.h"

namespace {

ExitProcedure g_before_first = nullptr;
void second_procedure() { (void)::write(2, "second", 6); }
void first_procedure() {
  (void)::write(2, "first ", 6);
  install_exit_procedure(g_before_first);
}

TEST(TerminationDeathTest, EveryEndingAndItsStatus) {
  take_io_result();
  io_check();  // nothing pending: the program goes on
  EXPECT_EXIT(
      {
        set_io_error(5);
        io_check();
      },
      ::testing::ExitedWithCode(5), "");
  // Exit procedures run most recently installed first.
  EXPECT_EXIT(
      {
        install_exit_procedure(second_procedure);
        g_before_first = install_exit_procedure(first_procedure);
        halt(7);
      },
      ::testing::ExitedWithCode(7), "first second");
  for (auto [signal_number, status] : {std::pair{SIGSEGV, 216}, std::pair{SIGFPE, 200}}) {
    EXPECT_EXIT(
        {
          install_fault_handlers();
          ::raise(signal_number);
        },
        ::testing::ExitedWithCode(status), "");
  }
}

}  // namespace
