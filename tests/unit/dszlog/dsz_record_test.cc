#include "dszlog/dsz_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "../../common/scratch.h"
#include "runtime/io_result.h"

namespace {

// Records go to the log; their confirmation lines to descriptor 1, here
// /dev/null.
void quiet_screen() {
  int null_fd = ::open("/dev/null", O_WRONLY);
  ::dup2(null_fd, 1);
  ::close(null_fd);
}

std::string received_record_text(int node) {
  return "R  " + std::to_string(1000 + node) + " 38400 bps 3333 cps   0 errors    66 1024 /up/" +
         std::string(280, static_cast<char>('a' + node)) + " -1";
}

TEST(DszRecord, NodesSharingALogNeverSplitEachOthersLines) {
  Scratch scratch;
  std::string log = scratch.file("shared.log");
  constexpr int kNodes = 4;
  constexpr int kRecords = 150;
  for (int node = 0; node < kNodes; ++node) {
    if (::fork() == 0) {
      quiet_screen();
      open_dsz_log(log, false);
      std::string path = "/up/" + std::string(280, static_cast<char>('a' + node));
      for (int i = 0; i < kRecords; ++i) append_receive_record(path, 1000 + node);
      ::_exit(take_io_result());
    }
  }
  for (int node = 0; node < kNodes; ++node) {
    int status = 0;
    ::wait(&status);
    EXPECT_EQ(0, WEXITSTATUS(status));
  }
  std::string content = read_file(log);
  std::size_t lines = 0;
  for (std::size_t start = 0, end; (end = content.find('\n', start)) != std::string::npos;
       start = end + 1, ++lines) {
    std::string line = content.substr(start, end - start);
    // "R  100N ...": the size tells the node.
    int node = line.size() > 6 ? line[6] - '0' : -1;
    ASSERT_EQ(received_record_text(node), line) << "line " << lines;
  }
  EXPECT_EQ(static_cast<std::size_t>(kNodes * kRecords), lines);
}

}  // namespace
