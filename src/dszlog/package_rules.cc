#include "dszlog/package_rules.h"

#include <algorithm>

namespace {

// What each package's own reader takes (see the README's set-up notes).
struct Package {
  std::string_view name;
  PackageRules rules;
};
constexpr Package kPackages[] = {
    {"generic", {}},
    {"synchronet", {}},
    {"mystic", {RecordName::kBase, UploadNames::kPortable, 70, 255, 0, 0, 0}},
    {"wwiv", {RecordName::kBase, UploadNames::kDos83, 0, 4094, 0, 39, 39}},
    {"maximus", {RecordName::kBase, UploadNames::kPortable, 0, 254, 119, 0, 0}},
    {"elebbs", {RecordName::kBase, UploadNames::kPortable, 0, 255, 0, 0, 0}},
};

PackageRules g_rules;

}  // namespace

const PackageRules* rules_of_package(std::string_view name) {
  for (const Package& package : kPackages) {
    if (package.name == name) return &package.rules;
  }
  return nullptr;
}

void set_package_rules(const PackageRules& rules) { g_rules = rules; }

const PackageRules& package_rules() { return g_rules; }

namespace {

bool portable_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

// Every run of other bytes becomes one "_"; upper case for 8.3.
std::string portable_bytes(std::string_view text, bool upper) {
  std::string result;
  for (char c : text) {
    if (!portable_byte(c)) {
      if (result.empty() || result.back() != '_') result += '_';
    } else {
      result += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  return result;
}

std::string at_most(std::string_view text, std::size_t limit) {
  return std::string(limit == 0 ? text : text.substr(0, limit));
}

}  // namespace

std::string upload_name(std::string_view name, const PackageRules& rules, std::size_t longest,
                        int variant) {
  if (rules.upload_names == UploadNames::kKeep) return std::string(name);
  bool dos = rules.upload_names == UploadNames::kDos83;
  std::string whole = portable_bytes(name, dos);
  // A leading "." hides a file; a leading "-" makes it an option to a
  // sysop's shell (rm -rf.zip).
  if (!whole.empty() && (whole[0] == '.' || whole[0] == '-')) whole[0] = '_';
  std::size_t dot = whole.rfind('.');
  std::string stem = whole.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : whole.substr(dot);  // with its dot
  if (dos) {
    // The other dots of an 8.3 stem are no part of it.
    for (char& c : stem) c = c == '.' ? '_' : c;
    extension = at_most(extension, 4);
    longest = 12;
  }
  if (stem.empty()) stem = "_";
  extension = at_most(extension, rules.name_extension_max == 0 ? 0 : rules.name_extension_max + 1);
  if (longest != 0 && extension.size() * 2 > longest) extension = at_most(extension, longest / 2);
  std::string suffix;
  if (variant > 0) suffix = (dos ? "~" : "_") + std::to_string(variant);
  // Room for the stem and the variant's suffix, when a limit sets one.
  std::size_t room = dos ? 8 : std::string::npos;
  if (rules.name_stem_max != 0) room = std::min(room, rules.name_stem_max);
  if (longest != 0) room = std::min(room, longest - extension.size());
  std::size_t take = room == std::string::npos ? stem.size()
                     : room > suffix.size()    ? room - suffix.size()
                                               : 1;
  return stem.substr(0, take) + suffix + extension;
}
