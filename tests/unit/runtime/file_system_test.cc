#include "runtime/file_system.h"

#include <gtest/gtest.h>

#include "../../common/scratch.h"
#include "runtime/command_line.h"

namespace {

// Paths resolved through their links as far as they exist, the rest folded:
// what the DSZ log refusal compares.
TEST(FileSystem, PathsResolvedAsFarAsTheyExist) {
  Scratch scratch_;
  std::string top = resolved_path(scratch_.path());
  namespace fs = std::filesystem;
  fs::create_directories(top + "/up/sub");
  fs::create_directory_symlink(top + "/up", top + "/uplink");
  fs::create_symlink("up/sub/gone.log", top + "/dangling");
  fs::create_symlink("loop", top + "/loop");
  const std::pair<std::string, std::string> cases[] = {
      {top + "/uplink/sub", top + "/up/sub"},
      {top + "/uplink/new/./x/../dsz.log", top + "/up/new/dsz.log"},
      {top + "/dangling", top + "/up/sub/gone.log"},
      {top + "/up/sub/../../uplink//a", top + "/up/a"},
      {"/", "/"},
      {"", ""},
      {top + "/loop/x", ""},
  };
  for (const auto& [path, resolved] : cases) EXPECT_EQ(resolved, resolved_path(path)) << path;
  EXPECT_TRUE(lies_within(top + "/dangling", top + "/uplink"));
  EXPECT_TRUE(lies_within(top + "/up", top + "/up"));
  EXPECT_FALSE(lies_within(top + "/upper", top + "/up"));
  EXPECT_TRUE(lies_within(top + "/anything", "/"));
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
