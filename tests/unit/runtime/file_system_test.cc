#include "runtime/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../temp_dir.h"
#include "runtime/command_line.h"
#include "runtime/io_result.h"

namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    take_io_result();
    char here[4096];
    start_ = ::getcwd(here, sizeof here);
  }
  void TearDown() override {
    EXPECT_EQ(0, ::chdir(start_.c_str()));
    take_io_result();
    set_file_access_mode(2);
  }
  std::string start_;
  TempDir dir_;
};

TEST_F(FileSystemTest, CurrentDirectoryIsThePhysicalPath) {
  std::filesystem::create_directories(dir_.file("real/inner"));
  std::filesystem::create_directory_symlink(dir_.file("real"), dir_.file("link"));
  ASSERT_EQ(0, ::chdir(dir_.file("link/inner").c_str()));
  EXPECT_EQ(std::filesystem::canonical(dir_.file("real/inner")).string(),
            current_directory().view());
  ASSERT_EQ(0, ::chdir("/"));
  EXPECT_EQ("", current_directory().view());
  ASSERT_EQ(0, ::chdir("/proc/self"));  // a mount point below the root
  EXPECT_EQ("/proc/" + std::to_string(::getpid()), current_directory().view());
}

TEST_F(FileSystemTest, ChangeAndMakeDirectoryErrors) {
  change_directory(dir_.file("missing"));
  EXPECT_EQ(2, take_io_result());
  write_file(dir_.file("plain"), "x");
  change_directory(dir_.file("plain"));
  EXPECT_EQ(3, take_io_result());
  make_directory(dir_.path());
  EXPECT_EQ(5, take_io_result());
  make_directory(dir_.file("new"));
  EXPECT_EQ(0, take_io_result());
  EXPECT_TRUE(std::filesystem::is_directory(dir_.file("new")));
}

TEST_F(FileSystemTest, SizeQuery) {
  write_file(dir_.file("f"), std::string(1234, 'x'));
  UntypedFile file;
  bind_untyped(file, dir_.file("f"));
  open_untyped(file, 1);
  EXPECT_EQ(1234, untyped_size(file));
  close_untyped(file);
  EXPECT_EQ(0, take_io_result());

  bind_untyped(file, dir_.file("missing"));
  open_untyped(file, 1);
  EXPECT_EQ(0, untyped_size(file));
  EXPECT_EQ(2, take_io_result());

  // A directory opened read-write counts as open but has no size.
  bind_untyped(file, dir_.path());
  open_untyped(file, 1);
  EXPECT_EQ(0, untyped_size(file));
  EXPECT_EQ(6, take_io_result());
  set_file_access_mode(0);
  open_untyped(file, 1);
  EXPECT_EQ(0, untyped_size(file));
  EXPECT_EQ(6, take_io_result());
}

TEST(CommandLine, ArgumentsAndEnvironment) {
  std::string long_arg(300, 'a');
  char* argv[] = {const_cast<char*>("vurel"), const_cast<char*>("--send"), long_arg.data(),
                  nullptr};
  char* envp[] = {const_cast<char*>("DSZLOGX=no"), const_cast<char*>("DSZLOG="),
                  const_cast<char*>("PATH=/bin"), const_cast<char*>("PATH=/other"), nullptr};
  keep_command_line(3, argv, envp);
  EXPECT_EQ(2, argument_count());
  EXPECT_EQ("vurel", argument(0).view());
  EXPECT_EQ(255u, argument(2).size());
  EXPECT_EQ("", argument(3).view());
  EXPECT_EQ("", environment_value("DSZLOG").view());
  EXPECT_EQ("/bin", environment_value("PATH").view());
  EXPECT_EQ("", environment_value("path").view());
  EXPECT_EQ("", environment_value("HOME").view());
}

}  // namespace
