#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

// What a protocol program's transfer log says about the files it names. Both
// log translations feed it what they read and ask it, at the end, which files
// really moved. A line is read in segments, the texts between its CRs:
//   - a file report ("Sending: NAME", "Sending NAME, N blocks: ...",
//     "Receiving: NAME", "rx: ready to receive NAME") credits the file it
//     names and says nothing else, so a name can never read as status;
//   - a failure report ("skipped", "cannot open", ...) takes the credit away
//     for the rest of the transfer;
//   - a cut-off takes back the file reported last: a "caught signal"
//     segment; "Transfer incomplete" after trouble ("Retry", "Timeout",
//     "Cancel") that followed its report; a hang-up or a stop signal with no
//     "Transfer complete" after its report; or the program's own end by a
//     signal or with a status of 128 or more (lrzsz's status when its batch
//     stopped on an error). Once another file has been reported (or has
//     failed), the earlier one had finished and a cut-off no longer touches it.

// Calls `on_segment` with each text between the CRs of `line`, in order.
template <typename OnSegment>
void for_each_segment(std::string_view line, OnSegment on_segment) {
  for (std::size_t start = 0;;) {
    std::size_t cr = line.find('\r', start);
    on_segment(line.substr(start, cr == std::string_view::npos ? cr : cr - start));
    if (cr == std::string_view::npos) return;
    start = cr + 1;
  }
}

// Whether a segment holds one of the status words the rules read.
bool holds_status_word(std::string_view segment);

// Whether `name` occurs in `segment` as a whole name. Before it stands
// `prefix` when one is given, else the segment's start, a space, a tab or a
// double quote; after it stands `suffix` when one is given, else the
// segment's end, a space, a tab, a comma, a colon or a double quote. An empty
// name is never found.
bool holds_name(std::string_view segment, std::string_view name, std::string_view prefix = {},
                std::string_view suffix = {});

// The names a reader knows, each with the indexes it stands for, looked up
// instead of tried one by one: a segment is searched once, whatever the
// number of names.
class NameIndex {
 public:
  // `name` must outlive the index.
  void add(std::string_view name, std::size_t index);
  // The indexes of `name`, in the order they were added; null when unknown.
  const std::vector<std::size_t>* find(std::string_view name) const;
  // The indexes of every known name that `segment` holds as holds_name()
  // finds it with the same prefix and suffix, ascending and each once.
  std::vector<std::size_t> names_in(std::string_view segment, std::string_view prefix = {},
                                    std::string_view suffix = {}) const;

 private:
  void add_matches(std::string_view segment, std::size_t start, std::size_t end,
                   std::vector<std::size_t>& found) const;

  std::unordered_map<std::string_view, std::vector<std::size_t>> indexes_;
  std::vector<bool> length_known_;  // by name length
};

class TransferReport {
 public:
  explicit TransferReport(std::size_t file_count = 0) : outcomes_(file_count) {}

  // Adds one more file and returns its index.
  std::size_t add_file();
  std::size_t file_count() const { return outcomes_.size(); }

  void file_reported(std::size_t index);
  void file_failed(std::size_t index);
  // Reads a segment that is not a file report for signals, trouble and the
  // transfer's final verdict.
  void read_status(std::string_view segment);
  // The caller hung up, or a stop signal ended the run, while the program ran.
  void cut_off_unless_complete();
  // How the protocol program ended: its exit status, or 128 + N when signal
  // N ended it; -1 when it never ran.
  void program_ended(int end_status);

  bool credited(std::size_t index) const { return outcomes_[index] == Outcome::kReported; }
  bool failed(std::size_t index) const { return outcomes_[index] == Outcome::kFailed; }
  // The file cut off since the last call, or none (a cut-off file is open to
  // a later report again).
  std::size_t take_cut_off();
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  enum class Outcome : std::uint8_t { kUnreported, kReported, kFailed, kCutOff };

  void cut_off_last_report();
  void note_last(std::size_t index, bool was_report);

  std::vector<Outcome> outcomes_;
  std::size_t last_ = kNone;  // the file reported or failed last
  bool last_was_report_ = false;
  bool trouble_since_last_ = false;
  bool complete_since_last_ = false;
  std::size_t cut_off_ = kNone;
};

// What reads a transfer log: a line at a time, then how the transfer ended.
class LogReader {
 public:
  virtual ~LogReader() = default;
  virtual void read_line(std::string_view line) = 0;
  // The program's end status (see TransferReport::program_ended), and
  // whether the caller hung up or a stop signal came while it ran.
  void transfer_ended(int end_status, bool interrupted) {
    report_.program_ended(end_status);
    if (interrupted) report_.cut_off_unless_complete();
  }

 protected:
  TransferReport report_;
};
