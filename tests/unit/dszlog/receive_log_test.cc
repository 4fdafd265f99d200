#include "dszlog/receive_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names received(const Names& lines, bool dropped = false) {
  ReceiveLogReader reader;
  for (const std::string& line : lines) reader.read_line(line);
  if (dropped) reader.line_dropped();
  Names result;
  for (const Str& name : reader.received_names()) result.emplace_back(name.view());
  return result;
}

const std::string kRedraw = "\r" + std::string(69, ' ') + "\r";

TEST(ReceiveLog, MarkerAfterCarriageReturnRedraws) {
  // Real `rz -b -y -v` output (lrzsz 0.12.21) for three files.
  const Names log = {
      "rz waiting to receive." + kRedraw + "Receiving: with space.txt",
      kRedraw + "Receiving: empty.txt",
      kRedraw + "Receiving: big.bin",
      "\r",
      "Transfer complete",
  };
  EXPECT_EQ(Names({"with space.txt", "empty.txt", "big.bin"}), received(log));
}

TEST(ReceiveLog, NameRules) {
  EXPECT_EQ("report.txt", received_name("Receiving: report.txt"));
  EXPECT_EQ("a", received_name("x\rReceiving: a\rBytes received: 12"));
  EXPECT_EQ("", received_name("Receiving: "));
  EXPECT_EQ("", received_name("no marker here"));
  EXPECT_TRUE(stays_in_destination("sub/f.txt"));
  EXPECT_TRUE(stays_in_destination("a..b"));
  EXPECT_FALSE(stays_in_destination("/etc/passwd"));
  EXPECT_FALSE(stays_in_destination("../up.txt"));
  EXPECT_FALSE(stays_in_destination("sub/../../x"));
  EXPECT_FALSE(stays_in_destination("sub/.."));
}

TEST(ReceiveLog, FailedFilesGetNoRecord) {
  // Real output when rz could not store the files it was offered.
  const Names log = {
      "rz waiting to receive." + kRedraw + "Receiving: a.txt",
      "rz: cannot open a.txt: No such file or directory",
      "Skipped" + kRedraw + "Receiving: b.bin",
      "rz: cannot open b.bin: No such file or directory",
      "Skippedrz: caught signal 13; exiting",
  };
  EXPECT_EQ(Names(), received(log));
  EXPECT_EQ(Names({"b"}), received({"Receiving: a", "a exists", "Receiving: b"}));
  EXPECT_EQ(Names(), received({"Receiving: a", "file a removed."}));
  // "cannot open a" says nothing about "a.txt".
  EXPECT_EQ(Names({"a.txt"}), received({"Receiving: a.txt", "cannot open a: nope"}));
}

TEST(ReceiveLog, CutOffAndRepeats) {
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b", "rz: caught signal 15"}));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b"}, true));
  EXPECT_EQ(Names({"a", "b"}),
            received({"Receiving: a", "Receiving: b", "Transfer complete"}, true));
  // "Transfer incomplete" cuts off only after trouble that followed the report.
  EXPECT_EQ(Names(), received({"Receiving: a", "Retry 0: TIMEOUT", "Transfer incomplete"}));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Transfer incomplete"}));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: a", "Transfer complete"}));
}

}  // namespace
