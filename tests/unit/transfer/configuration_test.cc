#include "transfer/configuration.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Configuration configured(const std::string& text) {
  Configuration configuration;
  std::string error;
  EXPECT_TRUE(parse_configuration(text, "vurel.conf", configuration, error)) << error;
  return configuration;
}

PackageRules parsed(const std::string& text) { return configured(text).rules; }

std::string refused(const std::string& text) {
  Configuration configuration;
  std::string error;
  EXPECT_FALSE(parse_configuration(text, "vurel.conf", configuration, error)) << text;
  return error;
}

TEST(Configuration, SettingsAndWhatWins) {
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
  // The protocol program is confined where the kernel can, unless a sysop says.
  EXPECT_EQ(ConfineMode::kBestEffort, configured("package = mystic").confine);
  EXPECT_EQ(ConfineMode::kRequired, configured("confine = required").confine);
  EXPECT_EQ(ConfineMode::kOff, configured("confine = off\npackage = wwiv").confine);
}

TEST(Configuration, WrongSettingsAreNamed) {
  EXPECT_EQ("Unknown setting : colour (vurel.conf line 2)", refused("\ncolour = red"));
  EXPECT_EQ("Bad value for package : pcboard (vurel.conf line 1)", refused("package = pcboard"));
  EXPECT_EQ("Not a setting : package mystic (vurel.conf line 1)", refused("package mystic"));
  for (const char* bad :
       {"line_max = 0", "line_max = -5", "line_max = 12k", "line_max =", "upload_names = dos",
        "record_name = Base", "name_word_max = 39.", "name_word_max = .39",
        "upload_name_max = 99999999", "confine = yes", "confine = Required",
        // No name of fewer than 3 bytes fits a file area.
        "upload_name_max = 1", "upload_name_max = 2", "name_word_max = 2", "name_word_max = 8.2",
        "name_word_max = 2.3"}) {
    EXPECT_EQ(0u, refused(bad).find("Bad value for ")) << bad;
  }
  // Every line counts: a bad value after a good one is no less bad.
  EXPECT_EQ("Bad value for package : bogus (vurel.conf line 2)",
            refused("package = mystic\npackage = bogus"));
  EXPECT_EQ("Bad value for upload_names : none (vurel.conf line 2)",
            refused("upload_names = portable\nupload_names = none\n"));
  // A line is never cut into a value it does not hold.
  EXPECT_EQ("Line too long (vurel.conf line 2)",
            refused("\nupload_names = portable" + std::string(5000, ' ') + "nonsense"));
  EXPECT_EQ(3u, parsed("upload_name_max = 3").upload_name_max);
  EXPECT_EQ(UploadNames::kPortable,
            parsed("upload_names = portable" + std::string(4000, ' ')).upload_names);
}

}  // namespace
