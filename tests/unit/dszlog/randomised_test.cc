// Randomised tests: many generated inputs, each checked against a plain
// model of the rule or against properties that must always hold.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../../common/scratch.h"
#include "dszlog/receive_log.h"
#include "dszlog/send_log.h"
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

TEST(Randomised, SendReaderCreditsOnlyNamesTheLogReported) {
  std::mt19937 random(7);
  const std::string alphabet = "ab./ \r:,\"";
  for (int round = 0; round < kRounds; ++round) {
    FileTable table;
    for (int i = 0, n = static_cast<int>(random() % 8); i < n; ++i) {
      table.emplace_back(random_text(random, 6, "ab./"));
    }
    std::vector<std::string> lines;
    for (int i = 0, n = static_cast<int>(random() % 12); i < n; ++i) {
      std::string line = random_text(random, 30, alphabet);
      if (!table.empty() && random() % 2 == 0) {
        const char* kinds[] = {"Sending: ", "sz: skipped: ", "cannot open ", "Sending ", ""};
        line += kinds[random() % 5] + table[random() % table.size()];
      }
      if (random() % 6 == 0) line += " caught signal";
      lines.push_back(line.substr(0, 255));
    }
    SendLogReader reader(table);
    for (const std::string& line : lines) reader.read_line(line);
    reader.transfer_ended(0, random() % 4 == 0);
    std::vector<bool> record = reader.entries_to_record();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (!record[i]) continue;
      const std::string& name = table[i];
      ASSERT_FALSE(name.empty());
      std::string base =
          name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
      bool mentioned = false;
      for (const std::string& line : lines) {
        mentioned = mentioned || line.find(name) != std::string::npos ||
                    (!base.empty() && line.find("Sending: " + base) != std::string::npos);
      }
      ASSERT_TRUE(mentioned) << name;
      // Recorded at its first place in the table only.
      for (std::size_t j = 0; j < i; ++j) ASSERT_NE(table[j], table[i]);
    }
  }
}

TEST(Randomised, ReceiveReaderNamesStandAfterTheMarker) {
  std::mt19937 random(11);
  for (int round = 0; round < kRounds; ++round) {
    ReceiveLogReader reader;
    std::vector<std::string> lines;
    for (int i = 0, n = static_cast<int>(random() % 10); i < n; ++i) {
      std::string line = random_text(random, 20, "xy \r/.:");
      if (random() % 2 == 0) line += "Receiving:" + random_text(random, 20, "xy \r/.");
      lines.push_back(line.substr(0, 255));
      reader.read_line(lines.back());
    }
    std::vector<std::string> names = reader.received_names();
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      ASSERT_FALSE(name.empty());
      ASSERT_EQ(std::string::npos, name.find('\r'));
      bool found = false;
      for (const std::string& line : lines) {
        found =
            found || ("\r" + line + "\r").find("\rReceiving: " + name + "\r") != std::string::npos;
      }
      ASSERT_TRUE(found) << name;
      for (std::size_t j = 0; j < i; ++j) ASSERT_NE(names[j], names[i]);
    }
  }
}

}  // namespace
