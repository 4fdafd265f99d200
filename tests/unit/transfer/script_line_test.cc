#include "transfer/script_line.h"

#include <gtest/gtest.h>

#include "transfer/protocol.h"
#include "transfer/shell_quote.h"

namespace {

TEST(ScriptLine, PlainNamesAndPathsStandAsTheyAre) {
  FileTable table = {"a.zip", "b.zip"};
  EXPECT_EQ("exec sz -v -b -r -Y -y -e  \"a.zip\" \"b.zip\" 2>/home/bbs/vrlsz42.log",
            send_script_line(*find_protocol("Z"), table, "/home/bbs/vrlsz42.log"));
  EXPECT_EQ("exec sb -v -b -r -Y -y -e  2>/home/bbs/vrlsz42.log",
            send_script_line(*find_protocol("Y"), FileTable(), "/home/bbs/vrlsz42.log"));
  EXPECT_EQ("exec rx -b -y -v  2>/home/bbs/vrlsz7.log",
            receive_script_line(*find_protocol("X"), "/home/bbs/vrlsz7.log"));
}

TEST(ScriptLine, NothingInANameOrPathReachesTheShell) {
  EXPECT_EQ("\"a \\\"q\\\" \\$HOME \\`id\\` back\\\\slash\"",
            double_quoted("a \"q\" $HOME `id` back\\slash"));
  EXPECT_EQ("2>/a-b/c_d.e+f,g:h@i%j=k/vrlsz1.log",
            error_redirection("/a-b/c_d.e+f,g:h@i%j=k/vrlsz1.log"));
  EXPECT_EQ("2>\"/my bbs/vrlsz1.log\"", error_redirection("/my bbs/vrlsz1.log"));
  EXPECT_EQ("2>\"/x;\\$(id)/vrlsz1.log\"", error_redirection("/x;$(id)/vrlsz1.log"));
  FileTable table = {"-rf", "b"};
  EXPECT_EQ("exec sz -v -b -r -Y -y -e  -- \"-rf\" \"b\" 2>/l",
            send_script_line(*find_protocol("Z"), table, "/l"));
}

TEST(Protocol, OnlyExactUpperCaseLetters) {
  EXPECT_EQ('Z', find_protocol("Z")->letter);
  EXPECT_EQ(nullptr, find_protocol("z"));
  EXPECT_EQ(nullptr, find_protocol(""));
  EXPECT_EQ(nullptr, find_protocol("ZZ"));
}

}  // namespace
