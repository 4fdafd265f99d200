#include "dszlog/dsz_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "../temp_dir.h"
#include "runtime/io_result.h"
#include "runtime/standard_files.h"

namespace {

std::string received_record_text(int node) {
  return "R  " + std::to_string(1000 + node) + std::string(kReceiveRecordMiddle) + "/up/" +
         std::string(280, static_cast<char>('a' + node)) + " -1";
}

TEST(DszRecord, FixedTextsHaveTheirColumns) {
  EXPECT_EQ(50u, kSendRecordStart.size());
  EXPECT_EQ(42u, kReceiveRecordMiddle.size());
  EXPECT_EQ(15u, kSentConfirmation.size());
  EXPECT_EQ(19u, kReceivedConfirmation.size());
  std::string send = std::string(kSendRecordStart) + "name";
  EXPECT_EQ("99999", send.substr(3, 5));
  EXPECT_EQ("errors", send.substr(32, 6));
  EXPECT_EQ("66", send.substr(42, 2));
  EXPECT_EQ("1024", send.substr(45, 4));
  EXPECT_EQ("name", send.substr(50));
}

TEST(DszRecord, AppendsWholeRecordsAfterWhatIsThere) {
  TempDir dir;
  std::string log = dir.file("dsz.log");
  write_file(log, "earlier line without end");
  take_io_result();
  bind_standard_files();
  bind_dsz_log(log);
  append_send_record("/bbs/files/a b.zip");
  std::string long_path = "/srv/up/" + std::string(240, 'p');
  append_receive_record(long_path, 1234);
  EXPECT_EQ(0, take_io_result());
  EXPECT_EQ(
      "earlier line without end"
      "S  99999 38400 bps 3333 cps   0 errors    66 1024 /bbs/files/a b.zip -1\n"
      "R  1234 38400 bps 3333 cps   0 errors    66 1024 " +
          long_path + " -1\n",
      read_file(log));
}

TEST(DszRecord, NodesSharingALogNeverSplitEachOthersLines) {
  TempDir dir;
  std::string log = dir.file("shared.log");
  write_file(log, "");
  constexpr int kNodes = 4;
  constexpr int kRecords = 150;
  for (int node = 0; node < kNodes; ++node) {
    if (::fork() == 0) {
      take_io_result();
      int null_fd = ::open("/dev/null", O_WRONLY);
      ::dup2(null_fd, 1);
      bind_standard_files();
      bind_dsz_log(log);
      // Longer than the 256-byte file buffer.
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

TEST(DszRecord, MissingLogLeavesItsFailurePending) {
  TempDir dir;
  take_io_result();
  bind_standard_files();
  bind_dsz_log(dir.file("removed.log"));
  append_send_record("a");
  EXPECT_EQ(2, take_io_result());
  EXPECT_FALSE(std::filesystem::exists(dir.file("removed.log")));
}

}  // namespace
