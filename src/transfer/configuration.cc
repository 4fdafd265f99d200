#include "transfer/configuration.h"

#include <optional>

#include "runtime/command_line.h"
#include "runtime/console.h"
#include "runtime/file.h"

namespace {

constexpr std::string_view kDefaultConfiguration = "/etc/vurel.conf";
constexpr std::size_t kMaxSettingLine = 4096;
constexpr std::size_t kMaxConfiguration = 64 * 1024;
constexpr std::size_t kMaxNumber = 1000000;

// The settings a file gives, each only when it is set.
struct Settings {
  std::optional<PackageRules> package;
  std::optional<RecordName> record_name;
  std::optional<UploadNames> upload_names;
  std::optional<std::size_t> upload_name_max;
  std::optional<std::size_t> line_max;
  std::optional<PackageRules> name_word_max;  // its three limits
  std::optional<ConfineMode> confine;
};

Configuration g_configuration;

std::string_view trimmed(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// A number of at least `least`, at most kMaxNumber.
std::optional<std::size_t> at_least(std::size_t least, std::string_view text) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  std::size_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  if (value < least || value > kMaxNumber) return std::nullopt;
  return value;
}

std::optional<std::size_t> number(std::string_view text) { return at_least(1, text); }

// A length that a name must fit.
std::optional<std::size_t> name_length(std::string_view text) {
  return at_least(kShortestName, text);
}

// The words a key takes, and what each stands for.
constexpr std::pair<std::string_view, RecordName> kRecordNames[] = {{"path", RecordName::kPath},
                                                                    {"base", RecordName::kBase}};
constexpr std::pair<std::string_view, UploadNames> kUploadNames[] = {
    {"keep", UploadNames::kKeep},
    {"portable", UploadNames::kPortable},
    {"upper", UploadNames::kUpper},
    {"dos83", UploadNames::kDos83}};
constexpr std::pair<std::string_view, ConfineMode> kConfineModes[] = {
    {"best-effort", ConfineMode::kBestEffort},
    {"required", ConfineMode::kRequired},
    {"off", ConfineMode::kOff}};

template <const auto& kWords>
auto word_of(std::string_view value) -> std::optional<decltype(kWords[0].second)> {
  for (const auto& [word, meaning] : kWords) {
    if (word == value) return meaning;
  }
  return std::nullopt;
}

std::optional<PackageRules> package_named(std::string_view value) {
  const PackageRules* rules = rules_of_package(value);
  return rules == nullptr ? std::nullopt : std::optional<PackageRules>(*rules);
}

// N: the whole word; N.M: its part before the last dot and after it.
std::optional<PackageRules> word_limits(std::string_view value) {
  std::size_t dot = value.find('.');
  std::optional<std::size_t> n = name_length(value.substr(0, dot));
  std::optional<std::size_t> m = dot == std::string_view::npos ? std::optional<std::size_t>(0)
                                                               : name_length(value.substr(dot + 1));
  if (!n || !m) return std::nullopt;
  PackageRules limits;
  (dot == std::string_view::npos ? limits.name_word_max : limits.name_stem_max) = *n;
  limits.name_extension_max = *m;
  return limits;
}

// Each key and how it takes its value; false when the value is wrong.
struct Key {
  std::string_view name;
  bool (*take)(std::string_view value, Settings& settings);
};

// A key whose value `read` turns into the setting `member`.
template <auto read, auto member>
bool take(std::string_view value, Settings& settings) {
  settings.*member = read(value);
  return (settings.*member).has_value();
}

constexpr Key kKeys[] = {
    {"package", take<package_named, &Settings::package>},
    {"record_name", take<word_of<kRecordNames>, &Settings::record_name>},
    {"upload_names", take<word_of<kUploadNames>, &Settings::upload_names>},
    {"upload_name_max", take<name_length, &Settings::upload_name_max>},
    {"line_max", take<number, &Settings::line_max>},
    {"name_word_max", take<word_limits, &Settings::name_word_max>},
    {"confine", take<word_of<kConfineModes>, &Settings::confine>},
};

const Key* find_key(std::string_view name) {
  for (const Key& key : kKeys) {
    if (key.name == name) return &key;
  }
  return nullptr;
}

// The configuration the settings give: the package's rules, then each key
// set on its own.
Configuration settled(const Settings& settings) {
  Configuration configuration;
  PackageRules& rules = configuration.rules;
  rules = settings.package.value_or(PackageRules());
  if (settings.record_name) rules.record_name = rules.upload_record_name = *settings.record_name;
  if (settings.upload_names) rules.upload_names = *settings.upload_names;
  if (settings.upload_name_max) rules.upload_name_max = *settings.upload_name_max;
  if (settings.line_max) rules.line_max = *settings.line_max;
  if (settings.name_word_max) {
    rules.name_word_max = settings.name_word_max->name_word_max;
    rules.name_stem_max = settings.name_word_max->name_stem_max;
    rules.name_extension_max = settings.name_word_max->name_extension_max;
  }
  configuration.confine = settings.confine.value_or(ConfineMode::kBestEffort);
  return configuration;
}

}  // namespace

bool parse_configuration(std::string_view text, std::string_view where,
                         Configuration& configuration, std::string& error) {
  Settings settings;
  int line_number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    std::string place = " (" + std::string(where) + " line " + std::to_string(line_number) + ")";
    if (line.size() > kMaxSettingLine) {
      error = "Line too long" + place;
      return false;
    }
    line = trimmed(line.substr(0, line.find('#')));
    if (!line.empty() && line.back() == '\r') line = trimmed(line.substr(0, line.size() - 1));
    if (line.empty()) continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      error = "Not a setting : " + std::string(line) + place;
      return false;
    }
    std::string_view name = trimmed(line.substr(0, equals));
    std::string_view value = trimmed(line.substr(equals + 1));
    const Key* key = find_key(name);
    if (key == nullptr) {
      error = "Unknown setting : " + std::string(name) + place;
      return false;
    }
    if (!key->take(value, settings)) {
      error = "Bad value for " + std::string(name) + " : " + std::string(value) + place;
      return false;
    }
  }
  configuration = settled(settings);
  return true;
}

void read_configuration() {
  std::string_view named = environment_value("VUREL_CONF");
  std::string_view path = named.empty() ? kDefaultConfiguration : named;
  std::string text;
  switch (read_whole_file(path, kMaxConfiguration, text)) {
    case WholeRead::kRead:
      break;
    case WholeRead::kMissing:
      // Only the default file may be missing: a file that VUREL_CONF names
      // and that is not there is a sysop's typo, never the default rules.
      if (named.empty()) break;
      [[fallthrough]];
    case WholeRead::kFailed:
      refuse({"Cannot read the configuration : ", path});
    case WholeRead::kTooLarge:
      refuse({"The configuration is too large : ", path});
  }
  std::string error;
  if (!parse_configuration(text, path, g_configuration, error)) refuse({error});
  set_package_rules(g_configuration.rules);
  if (g_configuration.confine == ConfineMode::kRequired) {
    std::string why_not = why_confinement_unavailable();
    if (!why_not.empty()) refuse({"Cannot confine the protocol program : ", why_not});
  }
}

ConfineMode confine_mode() { return g_configuration.confine; }
