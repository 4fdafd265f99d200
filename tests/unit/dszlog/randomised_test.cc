// Randomised tests: many generated inputs, each checked against a plain
// model of the rule or against properties that must always hold.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../temp_dir.h"
#include "dszlog/receive_log.h"
#include "dszlog/send_log.h"
#include "runtime/io_result.h"
#include "runtime/text_file.h"

namespace {

constexpr int kRounds = 300;

std::string random_text(std::mt19937& random, std::size_t max_length, const std::string& alphabet) {
  std::size_t length = random() % (max_length + 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
  return text;
}

// The file list as the model reads it: split at LF; a name is the first 64
// bytes of its line, less one CR before the LF when the line is shorter.
std::vector<std::string> model_names(const std::string& content) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    bool ended = end != std::string::npos;
    std::string line = content.substr(start, ended ? end - start : std::string::npos);
    if (line.size() >= 64) {
      line = line.substr(0, 64);
    } else if (ended && !line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    names.push_back(line);
    start = ended ? end + 1 : content.size();
  }
  return names;
}

TEST(Randomised, FileListReaderMatchesTheModel) {
  std::mt19937 random(20261207);
  TempDir dir;
  for (int round = 0; round < kRounds; ++round) {
    std::string content = random_text(random, 2000, std::string("ab \r\n\n\t\"$\xfe", 11));
    write_file(dir.file("list"), content);
    take_io_result();
    TextFile list;
    bind_file(list, dir.file("list"));
    open_for_reading(list);
    std::vector<std::string> names;
    while (!at_end_of_file(list)) {
      names.emplace_back(read_line(list, 64).view());
      skip_line(list);
    }
    close_file(list);
    ASSERT_EQ(0, take_io_result());
    ASSERT_EQ(model_names(content), names) << "round " << round;
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
        line += kinds[random() % 5] + std::string(table[random() % table.size()].view());
      }
      if (random() % 6 == 0) line += " caught signal";
      lines.push_back(line.substr(0, 255));
    }
    SendLogReader reader(table);
    for (const std::string& line : lines) reader.read_line(line);
    if (random() % 4 == 0) reader.line_dropped();
    std::vector<bool> record = reader.entries_to_record();
    for (std::size_t i = 0; i < table.size(); ++i) {
      if (!record[i]) continue;
      std::string name(table[i].view());
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
      for (std::size_t j = 0; j < i; ++j) ASSERT_NE(table[j].view(), table[i].view());
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
        found = found || ("\r" + line + "\r").find("\rReceiving: " + name + "\r") != std::string::npos;
      }
      ASSERT_TRUE(found) << name;
      for (std::size_t j = 0; j < i; ++j) ASSERT_NE(names[j], names[i]);
    }
  }
}

}  // namespace
