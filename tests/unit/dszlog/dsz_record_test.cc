#include "dszlog/dsz_record.h"

#include <gtest/gtest.h>

#include <string>

#include "../temp_dir.h"
#include "runtime/io_result.h"
#include "runtime/standard_files.h"

namespace {

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
