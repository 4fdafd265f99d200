// Randomised tests: many generated inputs, each checked against the plain
// readers of before, which searched every entry for every line.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "dszlog/receive_log.h"
#include "dszlog/send_log.h"
#include "oracle_readers.h"

namespace {

std::string random_text(std::mt19937& random, std::size_t max_length, const std::string& alphabet) {
  std::size_t length = random() % (max_length + 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
  return text;
}

// A log line made of the pieces lrzsz writes, around names from `names`.
std::string random_log_line(std::mt19937& random, const std::vector<std::string>& names) {
  // The pieces lrzsz writes, between "|".
  static const std::vector<std::string> kPieces = [] {
    std::vector<std::string> pieces;
    std::stringstream all(
        "Sending: |Sending |, 3 blocks: Give|sz: skipped: |cannot open | exists| removed.|"
        "Receiving: |caught signal|Transfer complete|Transfer incomplete|Retry 0: TIMEOUT|"
        "Cancel| |\r|:|\"|x");
    for (std::string piece; std::getline(all, piece, '|');) pieces.push_back(piece);
    return pieces;
  }();
  std::string line;
  for (int i = 0, n = static_cast<int>(random() % 6); i < n; ++i) {
    line += kPieces[random() % kPieces.size()];
    if (!names.empty() && random() % 2 == 0) {
      std::string name = names[random() % names.size()];
      if (random() % 3 == 0) name = name.substr(name.rfind('/') + 1);  // its base name
      line += name;
    }
  }
  return line;
}

// The indexed readers decide exactly as the plain ones did.
TEST(Randomised, IndexedReadersMatchThePlainOnes) {
  std::mt19937 random(12);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::string> table;
    for (int i = 0, n = static_cast<int>(random() % 8); i < n; ++i) {
      // Often names that share a base name in other directories.
      table.push_back(random() % 2
                          ? random_text(random, 5, "ab/ .:")
                          : random_text(random, 1, "cd") + "/" + random_text(random, 1, "ab"));
    }
    std::vector<std::string> lines;
    for (int i = 0, n = static_cast<int>(random() % 12); i < n; ++i) {
      lines.push_back(random_log_line(random, table));
    }
    int end_status = random() % 3 == 0 ? 128 : 0;
    bool interrupted = random() % 4 == 0;
    SendLogReader send(table);
    oracle::SendReader plain_send(table);
    ReceiveLogReader receive;
    oracle::ReceiveReader plain_receive;
    for (LogReader* reader :
         std::initializer_list<LogReader*>{&send, &plain_send, &receive, &plain_receive}) {
      for (const std::string& line : lines) reader->read_line(line);
      reader->transfer_ended(end_status, interrupted);
    }
    ASSERT_EQ(plain_send.entries_to_record(), send.entries_to_record()) << "round " << round;
    ASSERT_EQ(plain_receive.received_names(), receive.received_names()) << "round " << round;
  }
}

}  // namespace
