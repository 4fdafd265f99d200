#include "runtime/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "../temp_dir.h"
#include "runtime/io_result.h"

namespace {

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override { take_io_result(); }
  void TearDown() override { take_io_result(); }

  // Every line of `content`, read the way the program reads a whole line.
  std::vector<std::string> read_all(const std::string& content, std::size_t max_length) {
    write_file(dir_.file("in.txt"), content);
    TextFile file;
    bind_file(file, dir_.file("in.txt"));
    open_for_reading(file);
    std::vector<std::string> lines;
    while (!at_end_of_file(file)) {
      lines.emplace_back(read_line(file, max_length).view());
      skip_line(file);
    }
    EXPECT_EQ(0, take_io_result());
    close_file(file);
    return lines;
  }

  TempDir dir_;
};

using Lines = std::vector<std::string>;

TEST_F(TextFileTest, CarriageReturnRules) {
  EXPECT_EQ(Lines({"abc"}), read_all("abc\r\n", 255));
  EXPECT_EQ(Lines({"a\rb"}), read_all("a\rb\n", 255));
  // A CR at the very end of a file without LF stays.
  EXPECT_EQ(Lines({"x", "last\r"}), read_all("x\nlast\r", 255));
  // With maximum 64: 63 characters and CR LF read as 64 ending in CR, and
  // the next read starts on the next line; 62 and CR LF read as 62.
  std::string sixty_three(63, 'a');
  EXPECT_EQ(Lines({sixty_three + "\r", "next"}), read_all(sixty_three + "\r\nnext\n", 64));
  std::string sixty_two(62, 'b');
  EXPECT_EQ(Lines({sixty_two}), read_all(sixty_two + "\r\n", 64));
}

TEST_F(TextFileTest, LongLinesAreCutAndTheRestSkippedAcrossRefills) {
  std::string long_line(300, 'x');
  long_line[254] = 'E';
  Lines lines = read_all(long_line + "\nshort\n" + std::string(1000, 'y') + "\nz", 255);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(255u, lines[0].size());
  EXPECT_EQ('E', lines[0].back());
  EXPECT_EQ("short", lines[1]);
  EXPECT_EQ(std::string(255, 'y'), lines[2]);
  EXPECT_EQ("z", lines[3]);
  // Many short lines spanning several 256-byte refills.
  std::string many;
  Lines expected;
  for (int i = 0; i < 200; ++i) {
    expected.push_back("line " + std::to_string(i));
    many += expected.back() + "\n";
  }
  EXPECT_EQ(expected, read_all(many, 255));
}

TEST_F(TextFileTest, EndOfFileCountsLines) {
  EXPECT_EQ(Lines({"one", "two"}), read_all("one\ntwo\n", 255));
  EXPECT_EQ(Lines(), read_all("", 255));
  EXPECT_EQ(Lines({"one", ""}), read_all("one\n\n", 255));
}

TEST_F(TextFileTest, PendingFailureMakesEverythingDoNothing) {
  write_file(dir_.file("in.txt"), "data\n");
  TextFile file;
  bind_file(file, dir_.file("missing"));
  open_for_reading(file);
  EXPECT_TRUE(io_failed());
  TextFile other;
  bind_file(other, dir_.file("in.txt"));
  open_for_reading(other);  // does nothing while the failure is pending
  EXPECT_EQ(FileMode::kClosed, other.mode);
  EXPECT_TRUE(at_end_of_file(other));
  EXPECT_EQ("", read_line(other, 255).view());
  TextFile out;
  bind_file(out, dir_.file("out.txt"));
  open_for_writing(out);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out.txt")));
  EXPECT_EQ(2, take_io_result());
  EXPECT_EQ(0, take_io_result());
}

TEST_F(TextFileTest, OpenModes) {
  TextFile file;
  bind_file(file, dir_.file("missing"));
  open_for_appending(file);
  EXPECT_EQ(2, take_io_result());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));

  write_file(dir_.file("log"), "old\n");
  bind_file(file, dir_.file("log"));
  open_for_appending(file);
  write_text(file, "new");
  end_line(file);
  close_file(file);
  EXPECT_EQ("old\nnew\n", read_file(dir_.file("log")));

  open_for_writing(file);
  write_integer(file, -42);
  write_char(file, '!');
  // Buffered bytes stay in memory until close.
  EXPECT_EQ("", read_file(dir_.file("log")));
  close_file(file);
  EXPECT_EQ("-42!", read_file(dir_.file("log")));
  EXPECT_EQ(0, take_io_result());
}

TEST_F(TextFileTest, WritesLongerThanTheBufferArriveWhole) {
  TextFile file;
  bind_file(file, dir_.file("big"));
  open_for_writing(file);
  std::string text;
  for (int i = 0; i < 100; ++i) text += "0123456789";
  write_text(file, text);
  end_line(file);
  close_file(file);
  EXPECT_EQ(text + "\n", read_file(dir_.file("big")));
}

TEST_F(TextFileTest, WholeLineGoesOutInOneWrite) {
  write_file(dir_.file("dsz.log"), "first");
  TextFile file;
  bind_file(file, dir_.file("dsz.log"));
  open_for_appending(file);
  std::string long_name(300, 'n');
  write_whole_line(file, {"S  ", long_name, " -1"});
  close_file(file);
  EXPECT_EQ("firstS  " + long_name + " -1\n", read_file(dir_.file("dsz.log")));
}

TEST_F(TextFileTest, WrongStateErrors) {
  TextFile file;
  bind_file(file, dir_.file("x"));
  write_text(file, "a");
  EXPECT_EQ(kErrorNotOpenForOutput, take_io_result());
  at_end_of_file(file);
  EXPECT_EQ(kErrorNotOpenForInput, take_io_result());
  close_file(file);  // a closed handle closes without error
  EXPECT_EQ(0, take_io_result());
}

TEST_F(TextFileTest, DirectoryOpenedForReadingReadsAsEmpty) {
  EXPECT_EQ(Lines(), read_all("", 255));
  TextFile file;
  bind_file(file, dir_.path());
  open_for_reading(file);
  EXPECT_EQ(0, take_io_result());
  EXPECT_TRUE(at_end_of_file(file));
  EXPECT_EQ(0, take_io_result());
  // Opened for writing, the open counts as done and the first write fails
  // as an invalid handle.
  open_for_writing(file);
  EXPECT_EQ(0, take_io_result());
  write_text(file, "x");
  close_file(file);
  EXPECT_EQ(6, take_io_result());
}

TEST(IoResult, ErrorTable) {
  EXPECT_EQ(2, io_error_number(ENOENT));
  EXPECT_EQ(3, io_error_number(ENOTDIR));
  EXPECT_EQ(4, io_error_number(EMFILE));
  EXPECT_EQ(5, io_error_number(EEXIST));
  EXPECT_EQ(6, io_error_number(EBADF));
  EXPECT_EQ(101, io_error_number(ENOSPC));
  EXPECT_EQ(162, io_error_number(ETXTBSY));
  EXPECT_EQ(217, io_error_number(ENOMEM));
  EXPECT_EQ(218, io_error_number(EINVAL));
  EXPECT_EQ(0, io_error_number(EISDIR));
  // The first failure stays; later ones do not replace it.
  set_io_error(5);
  set_io_error(2);
  EXPECT_EQ(5, take_io_result());
  record_system_error(EISDIR);
  EXPECT_FALSE(io_failed());
}

}  // namespace
