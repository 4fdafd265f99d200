#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the BBS package that reads the DSZ log can take, set in the
// configuration file (/etc/vurel.conf, or the file VUREL_CONF names):
//
//   # comments, then key = value
//   package = generic | synchronet | mystic | wwiv | maximus | elebbs
//   record_name = path | base           what a record names
//   upload_names = keep | portable | dos83
//   upload_name_max = N                  bytes
//   line_max = N                         the longest record line its reader takes
//   name_word_max = N | N.M              the longest word of a record's name, or
//                                        the longest part before and after its last dot
//
// `package` sets all the others; a key set on its own wins over it, in any
// order. With no file, or `generic`, records are as they always were.

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

// Reads the settings in `text` into `rules`; false with `error` (a line for
// the screen, the line number after `where`) at the first that is wrong.
bool parse_package_settings(std::string_view text, std::string_view where, PackageRules& rules,
                            std::string& error);

// Settles the run's rules from the configuration file; ends the program with
// the error line and status 1 when the file is unreadable or wrong. No file
// means the generic rules.
void read_package_rules();
const PackageRules& package_rules();

// The upload name a package's reader can take: `name` (a folded upload
// name) itself under `keep`; else its bytes made portable (letters, digits,
// ".", "_", "-"; any other run of bytes, "/" included, one "_"), or 8.3 in
// upper case, at most `longest` bytes (0: no limit) and within the rules'
// limits before and after the last dot. `variant` n > 0 gives the n-th free
// variant: NAME~n.EXT (8.3), or name_n.ext.
std::string upload_name(std::string_view name, const PackageRules& rules, std::size_t longest,
                        int variant = 0);
