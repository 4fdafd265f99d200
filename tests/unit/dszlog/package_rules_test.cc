#include "dszlog/package_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "dszlog/dsz_record.h"

namespace {

PackageRules with_names(UploadNames names) {
  PackageRules rules;
  rules.upload_names = names;
  return rules;
}

TEST(PackageRules, UploadNamesTheReaderCanTake) {
  PackageRules portable = with_names(UploadNames::kPortable);
  PackageRules dos = with_names(UploadNames::kDos83);
  const PackageRules& synchronet = *rules_of_package("synchronet");
  const struct {
    const PackageRules& rules;
    std::string name;
    std::size_t longest;
    int variant;
    std::string expected;
  } cases[] = {
      {PackageRules(), "sub/my file.zip", 0, 0, "sub/my file.zip"},
      {portable, "report-2026_v1.0.zip", 0, 0, "report-2026_v1.0.zip"},
      {portable, "sub/my  file;$(x).zip", 0, 0, "sub_my_file_x_.zip"},
      {portable, "\xd0\x9f\xd1\x80\xd0\xb8.txt", 0, 0, "_.txt"},
      {portable, std::string(100, 'n') + ".zip", 70, 0, std::string(66, 'n') + ".zip"},
      {portable, "a.zip", 0, 2, "a_2.zip"},
      {portable, std::string(100, 'n') + ".zip", 70, 12, std::string(63, 'n') + "_12.zip"},
      {portable, "noext", 4, 0, "noex"},
      {dos, "readme.txt", 0, 0, "README.TXT"},
      {dos, "my long name.tar.gz", 0, 0, "MY_LONG_.GZ"},
      {dos, "archive.jpeg", 0, 1, "ARCHIV~1.JPE"},
      {dos, ".profile", 0, 0, "_PROFILE"},
      {portable, ".htaccess", 0, 0, "_htaccess"},
      {portable, "-rf.zip", 0, 0, "_rf.zip"},
      {portable, "sub/.hid", 0, 0, "sub_.hid"},
      {portable, "trailing.", 0, 0, "trailing_"},
      {portable, "a..b.zip", 0, 0, "a._b.zip"},
      {portable, "abc.def.zip", 8, 0, "abc._zip"},
      {with_names(UploadNames::kUpper), "my file.zip", 0, 0, "MY_FILE.ZIP"},
      {synchronet, "My-File(1).zip", 64, 0, "My-File(1).zip"},
      {synchronet, "My-File(1).zip", 64, 1, "My-File_1__1.zip"},
      {synchronet, "a b.zip", 64, 0, "a_b.zip"},
      {synchronet, "semi;colon.zip", 64, 0, "semi_colon.zip"},
      {synchronet, std::string(70, 'n'), 64, 0, std::string(64, 'n')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, upload_name(c.name, c.rules, c.longest, c.variant)) << c.name;
  }
}

// The room for an upload's name in the reader's own buffers: Maximus joins
// the upload directory as given and the name in 120 bytes.
TEST(PackageRules, RoomForANameInTheReadersBuffers) {
  set_package_rules(*rules_of_package("maximus"));
  EXPECT_EQ(69u, upload_name_room(std::string(49, 'd'), 100).longest);
  EXPECT_TRUE(upload_name_room(std::string(115, 'd'), 100).fits);
  EXPECT_FALSE(upload_name_room(std::string(116, 'd'), 100).fits);
  set_package_rules(*rules_of_package("elebbs"));  // path records of 255 bytes at most
  EXPECT_FALSE(upload_name_room(std::string(250, 'D'), 1000).fits);
  set_package_rules(PackageRules());
  EXPECT_EQ(0u, upload_name_room(std::string(4000, 'd'), 1).longest);
}

}  // namespace
