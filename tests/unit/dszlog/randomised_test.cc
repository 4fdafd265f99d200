// Randomised tests: many generated inputs, each checked against a plain
// model of the rule or against properties that must always hold.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../../common/scratch.h"
#include "dszlog/receive_log.h"
#include "dszlog/send_log.h"
#include "oracle_readers.h"
#include "runtime/file.h"
#include "runtime/io_result.h"

namespace {

constexpr int kRounds = 300;

std::string random_text(std::mt19937& random, std::size_t max_length, const std::string& alphabet) {
  std::size_t length = random() % (max_length + 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
  return text;
}

// Lines as the model reads them: split at LF; a line longer than the limit
// is its first `limit` bytes, marked "+"; else one CR before the LF is dropped.
std::vector<std::string> model_lines(const std::string& content, std::size_t limit) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    bool ended = end != std::string::npos;
    std::string line = content.substr(start, ended ? end - start : std::string::npos);
    if (line.size() > limit) {
      line = line.substr(0, limit) + "+";
    } else if (ended && !line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
    start = ended ? end + 1 : content.size();
  }
  return lines;
}

TEST(Randomised, LineReaderMatchesTheModel) {
  std::mt19937 random(20261207);
  Scratch scratch;
  for (int round = 0; round < kRounds; ++round) {
    std::string content = random_text(random, 2000, std::string("ab \r\n\n\t\"$\xfe", 11));
    write_file(scratch.file("list"), content);
    take_io_result();
    TextFile list;
    open_text_file(list, scratch.file("list"));
    std::vector<std::string> lines;
    std::string line;
    bool cut = false;
    while (read_line(list, line, 64, cut)) lines.push_back(line + (cut ? "+" : ""));
    ASSERT_EQ(0, take_io_result());
    ASSERT_EQ(model_lines(content, 64), lines) << "round " << round;
  }
}

// A log line made of the pieces lrzsz writes, around names from `names`.
std::string random_log_line(std::mt19937& random, const std::vector<std::string>& names) {
  static const char* const kPieces[] = {"Sending: ",
                                        "Sending ",
                                        ", 3 blocks: Give",
                                        "sz: skipped: ",
                                        "cannot open ",
                                        " exists",
                                        " removed.",
                                        "Receiving: ",
                                        "caught signal",
                                        "Transfer complete",
                                        "Transfer incomplete",
                                        "Retry 0: TIMEOUT",
                                        "Cancel",
                                        " ",
                                        "\r",
                                        ":",
                                        "\"",
                                        "x"};
  std::string line;
  for (int i = 0, n = static_cast<int>(random() % 6); i < n; ++i) {
    line += kPieces[random() % std::size(kPieces)];
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
