#include "dszlog/send_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Feeds log lines (as the reader gets them: CR before LF already dropped)
// and returns the entries that get a record.
std::vector<std::string> sent(const std::vector<std::string>& names,
                              const std::vector<std::string>& lines, bool dropped = false,
                              int end_status = 0) {
  FileTable table;
  for (const std::string& name : names) table.emplace_back(name);
  SendLogReader reader(table);
  for (const std::string& line : lines) reader.read_line(line);
  reader.transfer_ended(end_status, dropped);
  std::vector<bool> record = reader.entries_to_record();
  std::vector<std::string> result;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (record[i]) result.push_back(names[i]);
  }
  return result;
}

using Names = std::vector<std::string>;

// Real output of `sz -v -b -r -Y -y -e` (lrzsz 0.12.21) for a list of full
// paths, against a receiver that held the first part of a.txt and b.bin.
const Names kResumedLog = {
    "Sending: a.txt",
    "\rSending: b.bin",
    "\rsz: cannot open /bbs/files/missing: No such file or directory",
    "\r",
    "Transfer incomplete",
};

TEST(SendLog, FullPathsAreCreditedByTheirBaseName) {
  EXPECT_EQ(Names({"/bbs/files/a.txt", "/bbs/files/b.bin"}),
            sent({"/bbs/files/a.txt", "/bbs/files/b.bin", "/bbs/files/missing"}, kResumedLog));
}

TEST(SendLog, SkippedFilesGetNoRecord) {
  // Real output when the receiver skipped every file (it had none of them).
  const Names log = {
      "Sending: a.txt",
      "sz: skipped: snd/a.txt",
      "Sending: b.bin",
      "sz: skipped: snd/b.bin",
      "sz: cannot open snd/missing: No such file or directory",
      "Sending: empty",
      "sz: skipped: snd/empty",
      "\r",
      "Transfer incomplete",
  };
  EXPECT_EQ(Names(), sent({"snd/a.txt", "snd/b.bin", "snd/missing", "snd/empty"}, log));
  EXPECT_EQ(Names(), sent({"dir/"}, {"sz: is not a file: dir/", "Sending: "}));
}

TEST(SendLog, XmodemTimeoutCutsOffTheLastFile) {
  // Real `sx` output: the first file arrived, the second timed out.
  const Names log = {
      "Sending snd/a.txt, 0 blocks: Give your local XMODEM receive command now.",
      "\rSending snd/b.bin, 156 blocks: Give your local XMODEM receive command now.",
      "Retry 0: Timeout on sector ACK",
      "Retry 0: Retry Count Exceeded",
      "\r",
      "Transfer incomplete",
  };
  EXPECT_EQ(Names({"snd/a.txt"}), sent({"snd/a.txt", "snd/b.bin"}, log));
}

TEST(SendLog, CaughtSignalCutsOffOnlyAnUnfinishedFile) {
  EXPECT_EQ(Names({"a"}), sent({"a", "b"}, {"Sending: a", "Sending: b", "sz: caught signal 1"}));
  // After a failure report, the file reported before it had finished.
  EXPECT_EQ(Names({"a"}), sent({"a", "gone"}, {"Sending: a", "sz: cannot open gone: No such file",
                                               "caught signal"}));
  // A hang-up counts as a signal unless the transfer completed.
  EXPECT_EQ(Names({"a"}), sent({"a", "b"}, {"Sending: a", "Sending: b"}, true));
  EXPECT_EQ(Names({"a", "b"}),
            sent({"a", "b"}, {"Sending: a", "Sending: b", "Transfer complete"}, true));
}

TEST(SendLog, EndStatusOf128OrMoreCutsOffTheLastFile) {
  // Measured with lrzsz 0.12.21: sz ends with 0 when every file went whole,
  // 1 when a listed file could not be opened, 128 when the caller aborted
  // (a ZABORT header, or 8 CAN) and by signal 13 when the line dropped. A
  // decoded ZABORT leaves no trouble in the log:
  const Names aborted = {"Sending: first.txt", "\rSending: big.bin", "\r", "Transfer incomplete"};
  EXPECT_EQ(Names({"first.txt", "big.bin"}), sent({"first.txt", "big.bin"}, aborted, false, 0));
  EXPECT_EQ(Names({"first.txt"}), sent({"first.txt", "big.bin"}, aborted, false, 128));
  EXPECT_EQ(Names({"first.txt"}), sent({"first.txt", "big.bin"}, aborted, false, 128 + 9));
  const Names missing = {"Sending: a", "\rsz: cannot open /f/gone: No such file or directory", "\r",
                         "Transfer incomplete"};
  EXPECT_EQ(Names({"a"}), sent({"a", "/f/gone"}, missing, false, 1));
  // Not when the file reported last had failed.
  EXPECT_EQ(Names({"a"}), sent({"a", "/f/gone"}, missing, false, 128));
}

TEST(SendLog, NamesAreMatchedWhole) {
  // a.txt inside data.txt is not a.txt.
  EXPECT_EQ(Names({"data.txt"}), sent({"a.txt", "data.txt"}, {"Sending: data.txt"}));
  EXPECT_EQ(Names(), sent({"a.txt"}, {"Sending data.txt, 3 blocks"}));
  EXPECT_EQ(Names({"a.txt"}), sent({"a.txt"}, {"\"a.txt\": sent"}));
  // An empty name is never credited.
  EXPECT_EQ(Names(), sent({""}, {"Sending: ", "", "  "}));
}

TEST(SendLog, StatusWordsInNamesAreData) {
  // A file report names a file and says nothing else; a status word counts
  // only outside the reports, and no credit comes from a line holding one.
  EXPECT_EQ(Names(), sent({"Transfer"}, {"Sending: a", "\r", "Transfer incomplete"}));
  EXPECT_EQ(Names({"Retry.txt", "b"}),
            sent({"Retry.txt", "b"},
                 {"Sending: Retry.txt", "\rSending: b", "\r", "Transfer incomplete"}));
  EXPECT_EQ(Names({"x caught signal.bin"}),
            sent({"x caught signal.bin"}, {"Sending: x caught signal.bin", "Transfer complete"}));
  // sx names the file as listed, before ", N blocks: ...".
  EXPECT_EQ(
      Names({"d/a, 1 blocks: x"}),
      sent({"d/a, 1 blocks: x"},
           {"Sending d/a, 1 blocks: x, 3 blocks: Give your local XMODEM receive command now."}));
  // A report past the first 255 bytes of a line counts.
  EXPECT_EQ(Names({"a"}), sent({"a"}, {std::string(300, '\r') + "Sending: a"}));
}

TEST(SendLog, SameBaseNameGoesToTheFirstOpenEntry) {
  // A missing d2/same.txt listed first fails; the report that follows
  // belongs to d1/same.txt.
  const Names log = {"sz: cannot open d2/same.txt: No such file or directory", "Sending: same.txt",
                     "Transfer incomplete"};
  EXPECT_EQ(Names({"d1/same.txt"}), sent({"d2/same.txt", "d1/same.txt"}, log));
  // Two files of one base name, both sent, in list order.
  EXPECT_EQ(Names({"x/f", "y/f"}), sent({"x/f", "y/f"}, {"Sending: f", "Sending: f"}));
  // A name reported again after all its entries were sent is sending again:
  // a cut-off takes that one back.
  EXPECT_EQ(Names({"b"}),
            sent({"a", "b"}, {"Sending: a", "Sending: b", "Sending: a", "caught signal"}));
  // A file cut off is open again to the next report of its base name.
  EXPECT_EQ(Names({"c/a", "d/a", "e/a"}),
            sent({"c/a", "d/a", "e/a"}, {"Sending: a", "Sending: a", "Sending: a", "x d/a",
                                         "caught signal", "Sending: a"}));
}

TEST(SendLog, EachNameIsRecordedOnce) {
  EXPECT_EQ(Names({"a.zip"}),
            sent({"a.zip", "b.zip", "a.zip"},
                 {"Sending: a.zip", "Sending: a.zip", "a.zip again", "Transfer complete"}));
  // Real output of a name listed twice whose second copy the caller skipped:
  // the skip belongs to the copy being offered, the first went out whole.
  const Names skipped_repeat = {"Sending: a.txt", "\rSending: a.txt", "sz: skipped: /f/a.txt", "\r",
                                "Transfer complete"};
  EXPECT_EQ(Names({"/f/a.txt"}), sent({"/f/a.txt", "/f/a.txt"}, skipped_repeat));
  EXPECT_EQ(Names({"/f/a.txt"}),
            sent({"/f/a.txt", "/f/a.txt"}, {"Sending: a.txt", "sz: skipped: /f/a.txt",
                                            "Sending: a.txt", "Transfer complete"}));
  EXPECT_EQ(Names(), sent({"a", "a"}, {"sz: cannot open a: nope", "sz: cannot open a: nope"}));
}

}  // namespace
