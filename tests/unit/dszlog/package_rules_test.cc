#include "dszlog/package_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PackageRules with_names(UploadNames names) {
  PackageRules rules;
  rules.upload_names = names;
  return rules;
}

TEST(PackageRules, UploadNamesTheReaderCanTake) {
  PackageRules portable = with_names(UploadNames::kPortable);
  PackageRules dos = with_names(UploadNames::kDos83);
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
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, upload_name(c.name, c.rules, c.longest, c.variant)) << c.name;
  }
}

}  // namespace
