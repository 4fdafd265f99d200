#include "dszlog/package_rules.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file.h"
#include "runtime/io_result.h"

namespace {

constexpr std::string_view kDefaultConfiguration = "/etc/vurel.conf";
constexpr std::size_t kMaxSettingLine = 4096;
constexpr std::size_t kMaxNumber = 1000000;

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

// The settings a file gives, each only when it is set.
struct Settings {
  std::optional<PackageRules> package;
  std::optional<RecordName> record_name;
  std::optional<UploadNames> upload_names;
  std::optional<std::size_t> upload_name_max;
  std::optional<std::size_t> line_max;
  std::optional<PackageRules> name_word_max;  // its three limits
};

PackageRules g_rules;

std::string_view trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::optional<std::size_t> number(std::string_view text) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  if (value < 1 || value > kMaxNumber) return std::nullopt;
  return value;
}

// One setting; false when the key is unknown or the value is wrong.
bool take_setting(std::string_view key, std::string_view value, Settings& settings,
                  bool& known_key) {
  known_key = true;
  if (key == "package") {
    for (const Package& package : kPackages) {
      if (package.name == value) settings.package = package.rules;
    }
    return settings.package.has_value();
  }
  if (key == "record_name") {
    if (value == "path") settings.record_name = RecordName::kPath;
    if (value == "base") settings.record_name = RecordName::kBase;
    return value == "path" || value == "base";
  }
  if (key == "upload_names") {
    if (value == "keep") settings.upload_names = UploadNames::kKeep;
    if (value == "portable") settings.upload_names = UploadNames::kPortable;
    if (value == "dos83") settings.upload_names = UploadNames::kDos83;
    return settings.upload_names.has_value();
  }
  if (key == "upload_name_max" || key == "line_max") {
    std::optional<std::size_t> n = number(value);
    (key == "line_max" ? settings.line_max : settings.upload_name_max) = n;
    return n.has_value();
  }
  if (key == "name_word_max") {
    // N: the whole word; N.M: its part before the last dot and after it.
    std::size_t dot = value.find('.');
    std::optional<std::size_t> n = number(value.substr(0, dot));
    std::optional<std::size_t> m = dot == std::string_view::npos ? std::optional<std::size_t>(0)
                                                                 : number(value.substr(dot + 1));
    if (!n || !m) return false;
    PackageRules limits;
    (dot == std::string_view::npos ? limits.name_word_max : limits.name_stem_max) = *n;
    limits.name_extension_max = *m;
    settings.name_word_max = limits;
    return true;
  }
  known_key = false;
  return false;
}

}  // namespace

bool parse_package_settings(std::string_view text, std::string_view where, PackageRules& rules,
                            std::string& error) {
  Settings settings;
  int line_number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    line = trimmed(line.substr(0, line.find('#')));
    if (!line.empty() && line.back() == '\r') line = trimmed(line.substr(0, line.size() - 1));
    if (line.empty()) continue;
    std::string place = " (" + std::string(where) + " line " + std::to_string(line_number) + ")";
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = "Not a setting : " + std::string(line) + place;
      return false;
    }
    std::string_view key = trimmed(line.substr(0, equals));
    std::string_view value = trimmed(line.substr(equals + 1));
    bool known_key = false;
    if (!take_setting(key, value, settings, known_key)) {
      error = known_key ? "Bad value for " + std::string(key) + " : " + std::string(value) + place
                        : "Unknown setting : " + std::string(key) + place;
      return false;
    }
  }
  rules = settings.package.value_or(PackageRules());
  if (settings.record_name) rules.record_name = *settings.record_name;
  if (settings.upload_names) rules.upload_names = *settings.upload_names;
  if (settings.upload_name_max) rules.upload_name_max = *settings.upload_name_max;
  if (settings.line_max) rules.line_max = *settings.line_max;
  if (settings.name_word_max) {
    rules.name_word_max = settings.name_word_max->name_word_max;
    rules.name_stem_max = settings.name_word_max->name_stem_max;
    rules.name_extension_max = settings.name_word_max->name_extension_max;
  }
  return true;
}

void read_package_rules() {
  std::string_view named = environment_value("VUREL_CONF");
  std::string_view path = named.empty() ? kDefaultConfiguration : named;
  TextFile file;
  OpenResult opened = open_text_file(file, path);
  if (opened == OpenResult::kFailed && take_io_result() == io_error_number(ENOENT)) return;
  if (opened != OpenResult::kOpened) refuse({"Cannot read the configuration : ", path});
  std::string text;
  std::string line;
  bool cut = false;
  while (read_line(file, line, kMaxSettingLine, cut)) text += line + "\n";
  if (take_io_result() != 0) refuse({"Cannot read the configuration : ", path});
  std::string error;
  if (!parse_package_settings(text, path, g_rules, error)) refuse({error});
}

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
