#include "runtime/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../../common/scratch.h"
#include "runtime/io_result.h"

namespace {

using Lines = std::vector<std::string>;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { take_io_result(); }
  void TearDown() override { take_io_result(); }

  // Every line of `content`, read with the given limit; "+" marks a cut line.
  Lines read_all(const std::string& content, std::size_t limit) {
    write_file(scratch_.file("in.txt"), content);
    TextFile file;
    EXPECT_EQ(OpenResult::kOpened, open_text_file(file, scratch_.file("in.txt")));
    Lines lines;
    std::string line;
    bool cut = false;
    while (read_line(file, line, limit, cut)) lines.push_back(line + (cut ? "+" : ""));
    EXPECT_EQ(0, take_io_result());
    return lines;
  }

  Scratch scratch_;
};

TEST_F(FileTest, LinesEndAtLineFeedsOnly) {
  EXPECT_EQ(Lines({"abc"}), read_all("abc\r\n", 255));
  EXPECT_EQ(Lines({"a\rb"}), read_all("a\rb\n", 255));
  // A CR at the very end of a file without LF stays.
  EXPECT_EQ(Lines({"x", "last\r"}), read_all("x\nlast\r", 255));
  EXPECT_EQ(Lines({"one", "two"}), read_all("one\ntwo\n", 255));
  EXPECT_EQ(Lines({"one", ""}), read_all("one\n\n", 255));
  EXPECT_EQ(Lines(), read_all("", 255));
  // A longer line keeps its first bytes and the rest is skipped, however
  // many reads it spans; the CR before an LF does not count.
  std::string long_line(200000, 'x');
  EXPECT_EQ(Lines({std::string(64, 'x') + "+", "short", std::string(64, 'y'),
                   std::string(64, 'z') + "+"}),
            read_all(long_line + "\nshort\n" + std::string(64, 'y') + "\r\n" +
                         std::string(65, 'z') + "\r\n",
                     64));
}

TEST_F(FileTest, OnlyRegularFilesAreRead) {
  TextFile file;
  EXPECT_EQ(OpenResult::kNotRegular, open_text_file(file, scratch_.path()));
  ASSERT_EQ(0, ::mkfifo(scratch_.file("fifo").c_str(), 0666));
  EXPECT_EQ(OpenResult::kNotRegular, open_text_file(file, scratch_.file("fifo")));
  EXPECT_EQ(OpenResult::kFailed, open_text_file(file, ""));
  EXPECT_EQ(2, take_io_result());
}

TEST_F(FileTest, PendingFailureMakesEverythingDoNothing) {
  write_file(scratch_.file("in.txt"), "data\n");
  TextFile file;
  EXPECT_EQ(OpenResult::kFailed, open_text_file(file, scratch_.file("missing")));
  EXPECT_EQ(OpenResult::kFailed, open_text_file(file, scratch_.file("in.txt")));
  Fd out = open_file(scratch_.file("out.txt"), O_WRONLY | O_CREAT);
  EXPECT_FALSE(out.valid());
  EXPECT_FALSE(file_exists(scratch_.file("out.txt")));
  // The first failure stays; a later one does not replace it.
  set_io_error(5);
  EXPECT_EQ(2, take_io_result());
  EXPECT_EQ(0, take_io_result());
  // An untranslated system error counts as done; a failed write never does.
  record_system_error(EISDIR);
  EXPECT_FALSE(io_failed());
  record_write_error(EDQUOT);
  EXPECT_EQ(101, take_io_result());
}

}  // namespace
