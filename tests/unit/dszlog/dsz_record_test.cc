#include "dszlog/dsz_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "../../common/scratch.h"
#include "runtime/io_result.h"

namespace {

// Four nodes append 150 long records each to one log at once; every line
// stays whole (its size tells the node that wrote it).
TEST(DszRecord, NodesSharingALogNeverSplitEachOthersLines) {
  Scratch scratch;
  std::string log = scratch.file("shared.log");
  auto path = [](int node) { return "/up/" + std::string(280, static_cast<char>('a' + node)); };
  for (int node = 0; node < 4; ++node) {
    if (::fork() == 0) {
      int null_fd = ::open("/dev/null", O_WRONLY);  // the confirmation lines go there
      ::dup2(null_fd, 1);
      name_dsz_log(log, "");
      open_dsz_log();
      for (int i = 0; i < 150; ++i) {
        queue_receive_record(path(node), 1000 + node);
        if (i % 7 == node) flush_queued_records();  // batches of every size
      }
      flush_queued_records();
      ::_exit(take_io_result());
    }
  }
  for (int node = 0; node < 4; ++node) {
    int status = 0;
    ::wait(&status);
    EXPECT_EQ(0, WEXITSTATUS(status));
  }
  std::string content = read_file(log);
  std::vector<std::string> lines = lines_of(content);
  for (const std::string& line : lines) {
    int node = line.size() > 6 ? line[6] - '0' : 0;
    ASSERT_EQ("R  " + std::to_string(1000 + node) + " 38400 bps 3333 cps   0 errors    66 1024 " +
                  path(node) + " -1",
              line);
  }
  EXPECT_EQ(600u, lines.size());
  EXPECT_TRUE(content.ends_with('\n'));
}

}  // namespace
