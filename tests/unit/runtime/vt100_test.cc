#include "runtime/vt100.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class Vt100Test : public ::testing::Test {
 protected:
  std::string hand_over(std::string_view bytes) {
    std::string out;
    append_hand_over(screen_, bytes, out);
    return out;
  }
  Screen screen_ = make_screen(false, 80, 24);
};

TEST_F(Vt100Test, LineEndsDependOnTheCursorRecord) {
  EXPECT_EQ("text\r\n", hand_over("text\n"));
  EXPECT_EQ(2, screen_.row);
  EXPECT_EQ("\x1b[1B", hand_over("\n"));
  EXPECT_EQ(3, screen_.row);
  screen_.row = 24;
  EXPECT_EQ("last\n\r", hand_over("last\n"));
  EXPECT_EQ(24, screen_.row);
  EXPECT_EQ(1, screen_.column);
}

TEST_F(Vt100Test, WrappingAtTheRightEdge) {
  // Exactly 80 characters end in column 80: the driver ends the row, and the
  // line end itself then moves down one more row.
  std::string eighty(80, 'e');
  EXPECT_EQ(eighty + "\r\n" + "\x1b[1B", hand_over(eighty + "\n"));
  screen_ = make_screen(false, 40, 24);
  std::string line(61, 'w');
  EXPECT_EQ(line.substr(0, 40) + "\r\n" + line.substr(40) + "\r\n", hand_over(line + "\n"));
  // A line that fills a 40-column row exactly is not wrapped there.
  screen_ = make_screen(false, 40, 24);
  EXPECT_EQ(std::string(40, 'f') + "\r\n", hand_over(std::string(40, 'f') + "\n"));
}

TEST_F(Vt100Test, RedirectedModeSendsNoEscapes) {
  screen_ = make_screen(true, 80, 25);
  std::string out;
  append_clear_screen(screen_, out);
  EXPECT_EQ("", out);
  std::string hundred(100, 'r');
  EXPECT_EQ(hundred.substr(0, 80) + "\n" + hundred.substr(80) + "\n", hand_over(hundred + "\n"));
  EXPECT_EQ("\n", hand_over("\n"));
  EXPECT_EQ("a", hand_over("a\r"));
  screen_.row = 25;
  EXPECT_EQ("end\n\r", hand_over("end\n"));
}

TEST_F(Vt100Test, CursorMovementTable) {
  auto move = [&](int from_column, int from_row, int to_column, int to_row) {
    screen_.column = from_column;
    screen_.row = from_row;
    std::string out;
    append_move_cursor(screen_, to_column, to_row, out);
    EXPECT_EQ(to_column, screen_.column);
    EXPECT_EQ(to_row, screen_.row);
    return out;
  };
  EXPECT_EQ("", move(5, 5, 5, 5));
  EXPECT_EQ("\r", move(5, 5, 1, 5));
  EXPECT_EQ("\x1b[3C", move(5, 5, 8, 5));
  EXPECT_EQ("\x1b[2D", move(5, 5, 3, 5));
  EXPECT_EQ("\x1b[4B", move(5, 5, 5, 9));
  EXPECT_EQ("\x1b[2A", move(5, 5, 5, 3));
  EXPECT_EQ("\r\n", move(5, 5, 1, 6));
  EXPECT_EQ("\x1b[10;20H", move(5, 5, 20, 10));
  // Outside the screen nothing happens.
  std::string out;
  append_move_cursor(screen_, 81, 1, out);
  append_move_cursor(screen_, 1, 25, out);
  append_move_cursor(screen_, 0, 1, out);
  EXPECT_EQ("", out);
  EXPECT_EQ(20, screen_.column);
}

TEST_F(Vt100Test, NoNameCanDriveTheTerminal) {
  EXPECT_EQ("abc\r", hand_over("abc\r"));
  EXPECT_EQ("", hand_over("\r"));  // already in column 1
  screen_.column = 1;
  EXPECT_EQ("ab      c", hand_over("ab\tc"));
  EXPECT_EQ("\x1b[1D", hand_over("\b"));
  // Other control bytes are shown: C0 in caret notation, C1 (alone or
  // UTF-8 encoded) as the ESC sequence it stands for.
  const std::pair<std::string, std::string> shown[] = {
      {"a\x1b[2Jb", "a^[[2Jb"},   {"a\016b\007", "a^Nb^G"},
      {"a\2332J", "a^[[2J"},      {"\302\2332J", "^[[2J"},
      {"\xfe File", "\xfe File"}, {"\xc3\x84nderung \xe2\x82\xac", "\xc3\x84nderung \xe2\x82\xac"},
      {"\342\202", "\342^[B"}};
  for (const auto& [name, expected] : shown) {
    screen_.column = 1;
    EXPECT_EQ(expected, hand_over(name)) << name;
  }
}

TEST(CursorReply, Parsing) {
  CursorReply reply = parse_cursor_reply("\x1b[12;5R");
  EXPECT_TRUE(reply.usable);
  EXPECT_EQ(12, reply.row);
  EXPECT_EQ(5, reply.column);
  // Bytes before the reply are skipped by the scan.
  reply = parse_cursor_reply("xy\x1b[3;40R");
  EXPECT_TRUE(reply.usable);
  EXPECT_EQ(40, reply.column);
  // The scan also takes a reply whose ESC was lost, by its "[".
  reply = parse_cursor_reply("x[7;9R");
  EXPECT_TRUE(reply.usable);
  EXPECT_EQ(7, reply.row);
  EXPECT_EQ(9, reply.column);
  EXPECT_FALSE(parse_cursor_reply("\x1b[1;").usable);      // fewer than 6 bytes
  EXPECT_FALSE(parse_cursor_reply("\x1b[12345R").usable);  // no ";"
  EXPECT_FALSE(parse_cursor_reply("\x1b[12;0R").usable);   // column 0
  EXPECT_FALSE(parse_cursor_reply("").usable);
}

}  // namespace
