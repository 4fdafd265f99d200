#pragma once

#include <string_view>

#include "dszlog/file_outcome.h"

// What both log translations share: the screen they show, and the reading of
// the transfer log, the file that caught the protocol program's standard
// error. A translation is:
//
//   read_transfer_log(log_fd, end_status, reader); // header, every line, how it ended
//   ... append the records the reader found ...
//   show_translation_footer();                     // "Finished.", the I/O check

// What reads a transfer log: a line at a time, then how the transfer ended.
class LogReader {
 public:
  virtual ~LogReader() = default;
  virtual void read_line(std::string_view line) = 0;
  // The program's end status (see FileOutcomes::program_ended), and
  // whether the caller hung up or a stop signal came while it ran.
  void transfer_ended(int end_status, bool interrupted) {
    outcomes_.program_ended(end_status);
    if (interrupted) outcomes_.cut_off_unless_complete();
  }

 protected:
  FileOutcomes outcomes_;
};

// The transfer log is read in whole lines of up to 64 KiB (a CR before the LF
// dropped). Of a longer line the rest is skipped, and so is the segment that
// ran into the cut: a name the reader had to cut is never measured or recorded.
inline constexpr std::size_t kMaxLogLine = 64 * 1024;

// Clears the screen, shows "Please wait... " and the DSZ log path, settles
// the DSZ log (dsz_record.h), hands every line of the log to `reader`, then
// tells it how the transfer ended.
// The log is read through the descriptor the program holds, from its start.
// When the shell could not run the protocol program, or the program ran and
// its log stayed empty, it says so in one line. A log that cannot be read
// ends the program with its run-time error.
void read_transfer_log(int log_fd, int end_status, LogReader& reader);

// An empty line and "Finished.", then the I/O check.
void show_translation_footer();
