#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the BBS package that reads the DSZ log can take: what a record
// names, how uploads are named, how long lines and names may be. The
// configuration file sets them (transfer/configuration.h); the default,
// `generic`, is records as they always were.

enum class RecordName { kPath, kBase };
enum class UploadNames { kKeep, kPortable, kDos83 };

struct PackageRules {
  RecordName record_name = RecordName::kPath;
  UploadNames upload_names = UploadNames::kKeep;
  std::size_t upload_name_max = 0;  // 0: none, for this and the limits below
  std::size_t line_max = 0;
  std::size_t name_word_max = 0;       // a whole word of the name
  std::size_t name_stem_max = 0;       // a word's part before its last dot
  std::size_t name_extension_max = 0;  // and after it
};

// The rules of the package `name` (generic, synchronet, mystic, wwiv,
// maximus, elebbs); null for any other name.
const PackageRules* rules_of_package(std::string_view name);

// The run's rules, as the configuration settled them.
void set_package_rules(const PackageRules& rules);
const PackageRules& package_rules();

// The upload name a package's reader can take: `name` (a folded upload
// name) itself under `keep`; else its bytes made portable (letters, digits,
// ".", "_", "-"; any other run of bytes, "/" included, one "_"; a leading
// "." or "-" is "_" too), or 8.3 in upper case, at most `longest` bytes (0: no limit) and within
// the rules' limits before and after the last dot. `variant` n > 0 gives the n-th free variant:
// NAME~n.EXT (8.3), or name_n.ext.
std::string upload_name(std::string_view name, const PackageRules& rules, std::size_t longest,
                        int variant = 0);
