#include "dszlog/transfer_report.h"

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

bool contains(std::string_view segment, std::string_view part) {
  return segment.find(part) != std::string_view::npos;
}

// Trouble that, followed by "Transfer incomplete", means the file reported
// last did not finish.
constexpr std::string_view kTroubleWords[] = {"Retry", "TIMEOUT", "Timeout", "Cancel"};

bool holds_trouble(std::string_view segment) {
  for (std::string_view word : kTroubleWords) {
    if (contains(segment, word)) return true;
  }
  return false;
}

}  // namespace

bool holds_status_word(std::string_view segment) {
  return contains(segment, "caught signal") || contains(segment, "Transfer complete") ||
         contains(segment, "Transfer incomplete") || holds_trouble(segment);
}

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

std::size_t TransferReport::take_cut_off() {
  std::size_t index = cut_off_;
  cut_off_ = kNone;
  return index;
}

std::size_t TransferReport::add_file() {
  outcomes_.push_back(Outcome::kUnreported);
  return outcomes_.size() - 1;
}

void TransferReport::note_last(std::size_t index, bool was_report) {
  last_ = index;
  last_was_report_ = was_report;
  trouble_since_last_ = false;
  complete_since_last_ = false;
}

void TransferReport::file_reported(std::size_t index) {
  if (outcomes_[index] != Outcome::kFailed) outcomes_[index] = Outcome::kReported;
  note_last(index, true);
}

void TransferReport::file_failed(std::size_t index) {
  outcomes_[index] = Outcome::kFailed;
  note_last(index, false);
}

void TransferReport::cut_off_last_report() {
  if (last_ != kNone && last_was_report_ && outcomes_[last_] == Outcome::kReported) {
    outcomes_[last_] = Outcome::kCutOff;
    cut_off_ = last_;
  }
  last_ = kNone;
}

void TransferReport::read_status(std::string_view segment) {
  if (contains(segment, "caught signal")) {
    cut_off_last_report();
  } else if (contains(segment, "Transfer incomplete")) {
    // lrzsz also ends so when a listed file could not be opened; only after
    // trouble was the last file cut off.
    if (trouble_since_last_) cut_off_last_report();
  } else if (contains(segment, "Transfer complete")) {
    complete_since_last_ = true;
  }
  if (holds_trouble(segment)) trouble_since_last_ = true;
}

void TransferReport::cut_off_unless_complete() {
  if (!complete_since_last_) cut_off_last_report();
}

void TransferReport::program_ended(int end_status) {
  if (end_status >= 128) cut_off_last_report();
}
