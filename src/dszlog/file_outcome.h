#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
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

// Whether a segment holds one of the status words the rules read.
bool holds_status_word(std::string_view segment);

class FileOutcomes {
 public:
  // Adds one more file and returns its index.
  std::size_t add_file();

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

  bool credited(std::size_t index) const { return files_[index] == Outcome::kReported; }
  // The file reported or failed last, or kNone.
  std::size_t last() const { return last_; }
  bool failed(std::size_t index) const { return files_[index] == Outcome::kFailed; }
  // The file cut off since the last call, or none (a cut-off file is open to
  // a later report again).
  std::size_t take_cut_off();
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  enum class Outcome : std::uint8_t { kUnreported, kReported, kFailed, kCutOff };

  void cut_off_last_report();
  void note_last(std::size_t index, bool was_report);

  std::vector<Outcome> files_;
  std::size_t last_ = kNone;  // the file reported or failed last
  bool last_was_report_ = false;
  bool trouble_since_last_ = false;
  bool complete_since_last_ = false;
  std::size_t cut_off_ = kNone;
};
