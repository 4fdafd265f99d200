#include "dszlog/package_rules.h"

#include <algorithm>

bool synchronet_takes(std::string_view name) {
  constexpr std::string_view kRefused = "\\/|<>:\";,%?*";
  if (name.empty() || name.size() > 64 || name.find("..") != std::string_view::npos ||
      name.front() == '-' || name.front() == '.' || name.back() == '.') {
    return false;
  }
  for (unsigned char c : name) {
    if (c <= ' ' || c >= 0x7f || kRefused.find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

namespace {

// What each package's own reader takes (see the README's set-up notes).
struct Package {
  std::string_view name;
  PackageRules rules;
};
// Base names in downloads' and uploads' records alike.
constexpr PackageRules by_base_name(PackageRules rules) {
  rules.record_name = rules.upload_record_name = RecordName::kBase;
  return rules;
}

constexpr UploadNames kPortable = UploadNames::kPortable;
constexpr Package kPackages[] = {
    {"generic", {}},
    {"synchronet",
     {.upload_names = kPortable, .upload_name_max = 64, .takes_name = synchronet_takes}},
    {"mystic", by_base_name({.upload_names = kPortable, .upload_name_max = 70, .line_max = 255})},
    {"wwiv", by_base_name({.upload_names = UploadNames::kDos83,
                           .line_max = 4094,
                           .name_stem_max = 39,
                           .name_extension_max = 39})},
    {"maximus", by_base_name({.upload_names = kPortable,
                              .line_max = 254,
                              .name_word_max = 119,
                              .upload_path_max = 119})},
    // It looks a download up by its base name, an upload by its path.
    {"elebbs",
     {.record_name = RecordName::kBase,
      .upload_names = UploadNames::kUpper,
      .line_max = 255,
      .upper_cases_path = true}},
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

constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// "_n", or in 8.3 "~" and n in base 36 (five places hold 60 million).
std::string variant_suffix(bool dos, int variant) {
  if (variant <= 0) return {};
  if (!dos) return "_" + std::to_string(variant);
  std::string digits;
  for (int n = variant; n > 0; n /= 36) digits.insert(digits.begin(), kBase36[n % 36]);
  return "~" + digits;
}

// A kept name's variant: "_n" before the last dot of its base name.
std::string kept_variant(std::string_view name, int variant) {
  std::size_t base = name.rfind('/') + 1;
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot <= base) dot = name.size();
  return std::string(name.substr(0, dot)) + variant_suffix(false, variant) +
         std::string(name.substr(dot));
}

}  // namespace

std::string upload_name(std::string_view name, const PackageRules& rules, std::size_t longest,
                        int variant) {
  bool taken = rules.takes_name != nullptr && rules.takes_name(name) &&
               (longest == 0 || name.size() <= longest);
  if (rules.upload_names == UploadNames::kKeep || (taken && variant == 0)) {
    return kept_variant(name, variant);
  }
  bool dos = rules.upload_names == UploadNames::kDos83;
  std::string whole = portable_bytes(name, dos || rules.upload_names == UploadNames::kUpper);
  // A leading "." hides a file; a leading "-" makes it an option to a
  // sysop's shell (rm -rf.zip); readers refuse a trailing "." and "..".
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
  std::string suffix = variant_suffix(dos, variant);
  // Room for the stem and the variant's suffix, when a limit sets one.
  std::size_t room = dos ? 8 : std::string::npos;
  if (rules.name_stem_max != 0) room = std::min(room, rules.name_stem_max);
  if (longest != 0) room = std::min(room, longest - extension.size());
  std::size_t take = room == std::string::npos ? stem.size()
                     : room > suffix.size()    ? room - suffix.size()
                                               : 1;
  std::string result = stem.substr(0, take) + suffix + extension;
  // Nor ".." nor a trailing "." survive a cut.
  for (std::size_t dots = result.find(".."); dots != std::string::npos; dots = result.find("..")) {
    result[dots + 1] = '_';
  }
  if (result.back() == '.') result.back() = '_';
  return result;
}
