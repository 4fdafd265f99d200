#include "dszlog/receive_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names received(const Names& lines, bool dropped = false, int end_status = 0) {
  ReceiveLogReader reader;
  for (const std::string& line : lines) reader.read_line(line);
  reader.transfer_ended(end_status, dropped);
  Names result;
  for (const std::string& name : reader.take_received_names()) result.push_back(name);
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
  // A report opens a segment of the line; the name runs to its end.
  EXPECT_EQ(Names({"report.txt", "a"}),
            received({"Receiving: report.txt", "x\rReceiving: a\rBytes received: 12",
                      "Receiving: ", "no marker here", "xReceiving: b", "Receiving:c"}));
  // One file, many spellings: one folded name; a name that would leave the
  // destination, or holds a control byte, is none.
  const std::pair<const char*, const char*> folds[] = {{"sub/x.zip", "sub/x.zip"},
                                                       {"sub//x.zip", "sub/x.zip"},
                                                       {"sub/./x.zip", "sub/x.zip"},
                                                       {"./sub/.//./x.zip", "sub/x.zip"},
                                                       {"a..b", "a..b"},
                                                       {"x/", "x"},
                                                       {"/etc/passwd", ""},
                                                       {"../up.txt", ""},
                                                       {"sub/../../x", ""},
                                                       {"sub/..", ""},
                                                       {"./.", ""},
                                                       {"a\rb", ""}};
  for (const auto& [name, folded] : folds) EXPECT_EQ(folded, folded_upload_name(name)) << name;
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

TEST(ReceiveLog, StatusWordsInNamesAreData) {
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: x Transfer complete.bin"}, true));
  EXPECT_EQ(Names({"x caught signal.bin"}),
            received({"Receiving: x caught signal.bin", "Transfer complete"}));
  EXPECT_EQ(Names({"Retry.bin"}), received({"Receiving: Retry.bin", "\r", "Transfer incomplete"}));
  // A name is taken whole, however long; a CR ends it.
  std::string long_name(300, 'n');
  EXPECT_EQ(Names({long_name, "popular.zip"}),
            received({"Receiving: " + long_name, "Receiving: popular.zip\rmine"}));
}

TEST(ReceiveLog, CutOffAndRepeats) {
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b", "rz: caught signal 15"}));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b"}, true));
  EXPECT_EQ(Names({"a", "b"}),
            received({"Receiving: a", "Receiving: b", "Transfer complete"}, true));
  // "Transfer incomplete" cuts off only after trouble that followed the report.
  for (const char* trouble : {"Retry 0: Got ZCAN", "Got TIMEOUT", "Timeout", "Sender Cancel"}) {
    EXPECT_EQ(Names(), received({"Receiving: a", trouble, "Transfer incomplete"})) << trouble;
  }
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Transfer incomplete"}));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: a", "Transfer complete"}));
  // Measured with lrzsz 0.12.21: rz ends with 0 when every file arrived
  // whole, 128 when the sender cancelled (it also logs "removed."), by
  // signal 13 ("caught signal 13") when the line dropped, and by the signal
  // that killed it, which leaves no line at all.
  EXPECT_EQ(Names({"a", "b"}), received({"Receiving: a", "Receiving: b"}, false, 0));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b"}, false, 128 + 9));
  EXPECT_EQ(Names({"a"}), received({"Receiving: a", "Receiving: b", "rz: b removed."}, false, 128));
}

}  // namespace
