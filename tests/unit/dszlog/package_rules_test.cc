#include "dszlog/package_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PackageRules parsed(const std::string& text) {
  PackageRules rules;
  std::string error;
  EXPECT_TRUE(parse_package_settings(text, "vurel.conf", rules, error)) << error;
  return rules;
}

std::string refused(const std::string& text) {
  PackageRules rules;
  std::string error;
  EXPECT_FALSE(parse_package_settings(text, "vurel.conf", rules, error)) << text;
  return error;
}

TEST(PackageRules, SettingsAndWhatWins) {
  PackageRules generic = parsed("# nothing set\n\n");
  EXPECT_EQ(RecordName::kPath, generic.record_name);
  EXPECT_EQ(UploadNames::kKeep, generic.upload_names);
  EXPECT_EQ(0u, generic.line_max + generic.name_word_max + generic.upload_name_max);
  PackageRules mystic = parsed("package = mystic   # the node's BBS\r\n");
  EXPECT_EQ(RecordName::kBase, mystic.record_name);
  EXPECT_EQ(UploadNames::kPortable, mystic.upload_names);
  EXPECT_EQ(70u, mystic.upload_name_max);
  EXPECT_EQ(255u, mystic.line_max);
  // A key set on its own wins over the package, whatever the order.
  PackageRules mixed = parsed("line_max=300\n\tpackage = mystic\nrecord_name = path\n");
  EXPECT_EQ(300u, mixed.line_max);
  EXPECT_EQ(RecordName::kPath, mixed.record_name);
  EXPECT_EQ(70u, mixed.upload_name_max);
  PackageRules wwiv = parsed("package = wwiv");
  EXPECT_EQ(UploadNames::kDos83, wwiv.upload_names);
  EXPECT_EQ(39u, wwiv.name_stem_max);
  EXPECT_EQ(39u, wwiv.name_extension_max);
  PackageRules words = parsed("package = wwiv\nname_word_max = 119");
  EXPECT_EQ(119u, words.name_word_max);
  EXPECT_EQ(0u, words.name_stem_max);
  EXPECT_EQ(119u, parsed("package = maximus").name_word_max);
}

TEST(PackageRules, WrongSettingsAreNamed) {
  EXPECT_EQ("Unknown setting : colour (vurel.conf line 2)", refused("\ncolour = red"));
  EXPECT_EQ("Bad value for package : pcboard (vurel.conf line 1)", refused("package = pcboard"));
  EXPECT_EQ("Not a setting : package mystic (vurel.conf line 1)", refused("package mystic"));
  for (const char* bad : {"line_max = 0", "line_max = -5", "line_max = 12k", "line_max =",
                          "upload_names = dos", "record_name = Base", "name_word_max = 39.",
                          "name_word_max = .39", "upload_name_max = 99999999"}) {
    EXPECT_EQ(0u, refused(bad).find("Bad value for ")) << bad;
  }
}

TEST(PackageRules, UploadNamesTheReaderCanTake) {
  PackageRules portable = parsed("upload_names = portable");
  PackageRules dos = parsed("upload_names = dos83");
  const struct {
    const PackageRules& rules;
    std::string name;
    std::size_t longest;
    int variant;
    std::string expected;
  } cases[] = {
      {parsed(""), "sub/my file.zip", 0, 0, "sub/my file.zip"},
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
      {dos, ".profile", 0, 0, "_.PRO"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, upload_name(c.name, c.rules, c.longest, c.variant)) << c.name;
  }
}

}  // namespace
