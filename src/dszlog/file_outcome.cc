#include "dszlog/file_outcome.h"

namespace {

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

std::size_t FileOutcomes::take_cut_off() {
  std::size_t index = cut_off_;
  cut_off_ = kNone;
  return index;
}

std::size_t FileOutcomes::add_file() {
  files_.push_back(Outcome::kUnreported);
  return files_.size() - 1;
}

void FileOutcomes::note_last(std::size_t index, bool was_report) {
  last_ = index;
  last_was_report_ = was_report;
  trouble_since_last_ = false;
  complete_since_last_ = false;
}

void FileOutcomes::file_reported(std::size_t index) {
  if (files_[index] != Outcome::kFailed) files_[index] = Outcome::kReported;
  note_last(index, true);
}

void FileOutcomes::file_failed(std::size_t index) {
  files_[index] = Outcome::kFailed;
  note_last(index, false);
}

void FileOutcomes::cut_off_last_report() {
  if (last_ != kNone && last_was_report_ && files_[last_] == Outcome::kReported) {
    files_[last_] = Outcome::kCutOff;
    cut_off_ = last_;
  }
  last_ = kNone;
}

void FileOutcomes::read_status(std::string_view segment) {
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

void FileOutcomes::cut_off_unless_complete() {
  if (!complete_since_last_) cut_off_last_report();
}

void FileOutcomes::program_ended(int end_status) {
  if (end_status >= 128) cut_off_last_report();
}
