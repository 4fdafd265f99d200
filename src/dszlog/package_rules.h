#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// What the BBS package that reads the DSZ log can take: what a record
// names, how uploads are named, how long lines and names may be. The
// configuration file sets them (transfer/configuration.h); the default,
// `generic`, is records as they always were.

enum class RecordName { kPath, kBase };
// Upload names as sent; made portable; portable in upper case; 8.3.
enum class UploadNames { kKeep, kPortable, kUpper, kDos83 };

// No file area takes a name of fewer bytes.
inline constexpr std::size_t kShortestName = 3;

struct PackageRules {
  RecordName record_name = RecordName::kPath;         // of a download
  RecordName upload_record_name = RecordName::kPath;  // of an upload
  UploadNames upload_names = UploadNames::kKeep;
  std::size_t upload_name_max = 0;  // 0: none, for this and the limits below
  std::size_t line_max = 0;
  std::size_t name_word_max = 0;       // a whole word of the name
  std::size_t name_stem_max = 0;       // a word's part before its last dot
  std::size_t name_extension_max = 0;  // and after it
  // The upload directory as given, one byte and the upload's name, joined
  // in one buffer of the reader's.
  std::size_t upload_path_max = 0;
  // The reader upper-cases the record's path before it looks the file up.
  bool upper_cases_path = false;
  // A name the reader takes as it is, which is then kept (null: the rule
  // of upload_names alone).
  bool (*takes_name)(std::string_view name) = nullptr;
};

// Synchronet's own check of an upload's name, with its defaults (no spaces,
// no extended ASCII, names of at most 64 bytes): a name it refuses is
// deleted uncredited.
bool synchronet_takes(std::string_view name);

// The rules of the package `name` (generic, synchronet, mystic, wwiv,
// maximus, elebbs); null for any other name.
const PackageRules* rules_of_package(std::string_view name);

// The run's rules, as the configuration settled them.
void set_package_rules(const PackageRules& rules);
const PackageRules& package_rules();

// The upload name a package's reader can take: `name` (a folded upload
// name) itself under `keep`, or when the reader takes it as it is; else its
// bytes made portable (letters, digits, ".", "_", "-"; any other run of
// bytes, "/" included, one "_"; a leading "." or "-", a trailing "." and
// the second dot of ".." are "_" too), in upper case too, or 8.3 in upper
// case, at most `longest` bytes (0: no limit) and within
// the rules' limits before and after the last dot. `variant` n > 0 gives the n-th free variant:
// NAME~n.EXT (8.3), or name_n.ext.
std::string upload_name(std::string_view name, const PackageRules& rules, std::size_t longest,
                        int variant = 0);
