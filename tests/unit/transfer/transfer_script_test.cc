#include "transfer/transfer_script.h"

#include <gtest/gtest.h>

#include "transfer/working_files.h"

namespace {

using Names = std::vector<std::string>;

TEST(TransferScript, PlainNamesAndPathsStandAsTheyAre) {
  EXPECT_EQ("exec sz -v -b -r -y -e  \"a.zip\" \"b.zip\" 2>/home/bbs/vrlsz42.log",
            send_script_line(*find_protocol("Z"), {"a.zip", "b.zip"}, "/home/bbs/vrlsz42.log"));
  EXPECT_EQ("exec sb -v -b -r -y -e  2>/home/bbs/vrlsz42.log",
            send_script_line(*find_protocol("Y"), Names(), "/home/bbs/vrlsz42.log"));
  EXPECT_EQ("exec rz -b -y -v  2>/home/bbs/vrlsz7.log",
            receive_script_line(*find_protocol("Z"), "", "/home/bbs/vrlsz7.log"));
  EXPECT_EQ("exec rx -b -y -v \"up \\$1.txt\" 2>/home/bbs/vrlsz7.log",
            receive_script_line(*find_protocol("X"), "up $1.txt", "/home/bbs/vrlsz7.log"));
}

TEST(TransferScript, NothingInANameOrPathReachesTheShell) {
  EXPECT_EQ("\"a \\\"q\\\" \\$HOME \\`id\\` back\\\\slash\"",
            double_quoted("a \"q\" $HOME `id` back\\slash"));
  EXPECT_EQ("2>/a-b/c_d.e+f,g:h@i%j=k/vrlsz1.log",
            error_redirection("/a-b/c_d.e+f,g:h@i%j=k/vrlsz1.log"));
  EXPECT_EQ("2>\"/my bbs/vrlsz1.log\"", error_redirection("/my bbs/vrlsz1.log"));
  EXPECT_EQ("2>\"/x;\\$(id)/vrlsz1.log\"", error_redirection("/x;$(id)/vrlsz1.log"));
  EXPECT_EQ("exec sz -v -b -r -y -e  -- \"-rf\" \"b\" 2>/l",
            send_script_line(*find_protocol("Z"), {"-rf", "b"}, "/l"));
}

TEST(WorkingFiles, TransferNumberFromTheClock) {
  EXPECT_EQ(297, transfer_number(1800000000));
  EXPECT_EQ(618, transfer_number(1796630400));
  EXPECT_EQ("/vrl1.sh", path_in("/", "vrl1.sh"));
  EXPECT_EQ("/bbs/vrl1.sh", path_in("/bbs", "vrl1.sh"));
}

}  // namespace
