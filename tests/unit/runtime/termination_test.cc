#include "runtime/termination.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>

#include "runtime/io_result.h"

namespace {

void announce() { ::write(1, "second ", 7); }
ExitProcedure g_before_first = nullptr;
void first_procedure() {
  ::write(1, "first ", 6);
  install_exit_procedure(g_before_first);
}

TEST(TerminationDeathTest, IoCheckWithNothingPendingGoesOn) {
  take_io_result();
  io_check();
  SUCCEED();
}

TEST(TerminationDeathTest, IoCheckEndsWithTheReportAndTheNumber) {
  EXPECT_EXIT(
      {
        set_io_error(5);
        io_check();
      },
      ::testing::ExitedWithCode(5), "");
  // The report goes to descriptor 1; capture it through a pipe.
  int pipe_fds[2];
  ASSERT_EQ(0, ::pipe(pipe_fds));
  pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipe_fds[1], 1);
    set_io_error(2);
    io_check();
  }
  ::close(pipe_fds[1]);
  std::string report;
  char buffer[1024];
  for (ssize_t got; (got = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
    report.append(buffer, static_cast<std::size_t>(got));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(2, WEXITSTATUS(status));
  EXPECT_TRUE(std::regex_match(
      report, std::regex("Run time error  2 at 0x[0-9A-F]{8}\n(  0x[0-9A-F]{8}\n){1,9}")))
      << report;
}

TEST(TerminationDeathTest, ExitProceduresRunMostRecentFirst) {
  EXPECT_EXIT(
      {
        install_exit_procedure(announce);
        g_before_first = install_exit_procedure(first_procedure);
        halt(7);
      },
      ::testing::ExitedWithCode(7), "");
}

TEST(TerminationDeathTest, ProcessorFaults) {
  EXPECT_EXIT(
      {
        install_fault_handlers();
        ::raise(SIGSEGV);
      },
      ::testing::ExitedWithCode(216), "");
  EXPECT_EXIT(
      {
        install_fault_handlers();
        ::raise(SIGFPE);
      },
      ::testing::ExitedWithCode(200), "");
}

}  // namespace
