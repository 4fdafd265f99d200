#include "runtime/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../../common/scratch.h"
#include "runtime/command_line.h"

namespace {

TEST(FileSystem, StampsTellWhichFilesChanged) {
  Scratch scratch_;
  std::filesystem::create_directories(scratch_.file("up/sub"));
  write_file(scratch_.file("up/kept"), "kept");
  write_file(scratch_.file("up/sub/rewritten"), "old");
  TreeSnapshot before = snapshot_tree(scratch_.file("up"));
  EXPECT_EQ(2u, before.size());
  ::usleep(20000);  // past the file system's coarse clock
  write_file(scratch_.file("up/sub/rewritten"), "new!");
  write_file(scratch_.file("up/new"), "n");
  auto changed = [&](const std::string& name) {
    return before.count(*regular_file_stamp(scratch_.file("up/" + name))) == 0;
  };
  EXPECT_FALSE(changed("kept"));
  EXPECT_TRUE(changed("sub/rewritten"));
  EXPECT_TRUE(changed("new"));
  EXPECT_EQ(4, regular_file_stamp(scratch_.file("up/sub/rewritten"))->size);
  // Only regular files are measured: not a directory, a FIFO, a link.
  ASSERT_EQ(0, ::mkfifo(scratch_.file("up/fifo").c_str(), 0666));
  std::filesystem::create_symlink(scratch_.file("up/kept"), scratch_.file("up/link"));
  for (const char* name : {"up", "up/fifo", "up/link", "up/missing"}) {
    EXPECT_FALSE(regular_file_stamp(scratch_.file(name))) << name;
  }
}

TEST(CommandLine, ArgumentsAndEnvironmentWhole) {
  std::string long_arg(5000, 'a');
  char* argv[] = {const_cast<char*>("vurel"), const_cast<char*>("--send"), long_arg.data(),
                  nullptr};
  char* envp[] = {const_cast<char*>("DSZLOGX=no"), const_cast<char*>("DSZLOG="),
                  const_cast<char*>("PATH=/bin"), const_cast<char*>("PATH=/other"), nullptr};
  keep_command_line(3, argv, envp);
  EXPECT_EQ(2, argument_count());
  EXPECT_EQ("vurel", argument(0));
  EXPECT_EQ(long_arg, argument(2));
  EXPECT_EQ("", argument(3));
  EXPECT_EQ("", environment_value("DSZLOG"));
  EXPECT_EQ("/bin", environment_value("PATH"));
  EXPECT_EQ("", environment_value("path"));
  EXPECT_EQ("", environment_value("HOME"));
}

}  // namespace
