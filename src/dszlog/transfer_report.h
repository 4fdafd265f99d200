#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// What a protocol program's transfer log says about the files it names. Both
// log translations feed it the lines they read and ask it, at the end, which
// files really moved:
//   - a file report (the program began to transfer the file) credits it;
//   - a failure report ("skipped", "cannot open", ...) takes the credit away
//     for the rest of the transfer;
//   - a cut-off takes back the file reported last: a "caught signal" line,
//     or "Transfer incomplete" after trouble ("Retry", "Timeout", "Cancel")
//     that followed its report, or a hang-up with no "Transfer complete"
//     after its report. Once another file has been reported (or has failed),
//     the earlier one had finished and a cut-off no longer touches it.

// True when `name` occurs in `line` as a whole name: the byte before it is
// the line's start, a space, a tab, a CR or a double quote, and the byte
// after it the line's end, a space, a tab, a CR, a comma, a colon or a
// double quote. An empty name is never found.
bool holds_whole_name(std::string_view line, std::string_view name);
// `prefix` directly followed by `name` as a whole name.
bool holds_name_after(std::string_view line, std::string_view prefix, std::string_view name);
// `name` as a whole name directly followed by `suffix`.
bool holds_name_before(std::string_view line, std::string_view name, std::string_view suffix);

class TransferReport {
 public:
  explicit TransferReport(std::size_t file_count = 0) : outcomes_(file_count) {}

  // Adds one more file and returns its index.
  std::size_t add_file();
  std::size_t file_count() const { return outcomes_.size(); }

  void file_reported(std::size_t index);
  void file_failed(std::size_t index);
  // Reads a line for signals, trouble and the transfer's final verdict.
  void read_status_line(std::string_view line);
  // The caller's line dropped while the protocol program ran.
  void line_dropped();

  bool credited(std::size_t index) const { return outcomes_[index] == Outcome::kReported; }
  bool failed(std::size_t index) const { return outcomes_[index] == Outcome::kFailed; }

 private:
  enum class Outcome : std::uint8_t { kUnreported, kReported, kFailed, kCutOff };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void cut_off_last_report();
  void note_last(std::size_t index, bool was_report);

  std::vector<Outcome> outcomes_;
  std::size_t last_ = kNone;  // the file reported or failed last
  bool last_was_report_ = false;
  bool trouble_since_last_ = false;
  bool complete_since_last_ = false;
};
