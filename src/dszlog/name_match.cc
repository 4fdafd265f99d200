#include "dszlog/name_match.h"

#include <algorithm>

namespace {

bool opens_name(char before) { return before == ' ' || before == '\t' || before == '"'; }

bool closes_name(char after) {
  return after == ' ' || after == '\t' || after == ',' || after == ':' || after == '"';
}

bool starts_whole_name(std::string_view segment, std::size_t at) {
  return at == 0 || opens_name(segment[at - 1]);
}

bool ends_whole_name(std::string_view segment, std::size_t end) {
  return end == segment.size() || closes_name(segment[end]);
}

}  // namespace

bool holds_name(std::string_view segment, std::string_view name, std::string_view prefix,
                std::string_view suffix) {
  if (name.empty()) return false;
  for (std::size_t at = segment.find(name); at != std::string_view::npos;
       at = segment.find(name, at + 1)) {
    std::size_t end = at + name.size();
    bool starts = prefix.empty() ? starts_whole_name(segment, at)
                                 : at >= prefix.size() &&
                                       segment.substr(at - prefix.size(), prefix.size()) == prefix;
    bool ends = suffix.empty() ? ends_whole_name(segment, end)
                               : segment.substr(end, suffix.size()) == suffix;
    if (starts && ends) return true;
  }
  return false;
}

void NameIndex::add(std::string_view name, std::size_t index) {
  indexes_[name].push_back(index);
  if (length_known_.size() <= name.size()) length_known_.resize(name.size() + 1);
  length_known_[name.size()] = true;
}

const std::vector<std::size_t>* NameIndex::find(std::string_view name) const {
  auto found = indexes_.find(name);
  return found == indexes_.end() ? nullptr : &found->second;
}

void NameIndex::add_matches(std::string_view segment, std::size_t start, std::size_t end,
                            std::vector<std::size_t>& found) const {
  if (end <= start || end - start >= length_known_.size() || !length_known_[end - start]) return;
  if (const std::vector<std::size_t>* indexes = find(segment.substr(start, end - start))) {
    found.insert(found.end(), indexes->begin(), indexes->end());
  }
}

// Where a name may start: after the prefix, or at a name's opening; where it
// may end: before the suffix, or at a name's closing. Only spans as long as
// some known name are looked up.
std::vector<std::size_t> NameIndex::names_in(std::string_view segment, std::string_view prefix,
                                             std::string_view suffix) const {
  std::vector<std::size_t> found;
  std::size_t longest = length_known_.empty() ? 0 : length_known_.size() - 1;
  auto ends_after = [&](std::size_t start) {
    std::size_t last = std::min(segment.size(), start + longest);
    for (std::size_t end = start + 1; end <= last; ++end) {
      if (ends_whole_name(segment, end)) add_matches(segment, start, end, found);
    }
  };
  if (!suffix.empty()) {
    for (std::size_t end = segment.find(suffix); end != std::string_view::npos;
         end = segment.find(suffix, end + 1)) {
      std::size_t first = end > longest ? end - longest : 0;
      for (std::size_t start = first; start < end; ++start) {
        if (starts_whole_name(segment, start)) add_matches(segment, start, end, found);
      }
    }
  } else if (!prefix.empty()) {
    for (std::size_t at = segment.find(prefix); at != std::string_view::npos;
         at = segment.find(prefix, at + 1)) {
      ends_after(at + prefix.size());
    }
  } else {
    for (std::size_t start = 0; start < segment.size(); ++start) {
      if (starts_whole_name(segment, start)) ends_after(start);
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}
