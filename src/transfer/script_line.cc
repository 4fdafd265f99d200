#include "transfer/script_line.h"

#include "transfer/shell_quote.h"

namespace {

// The shell replaces itself with the protocol program, so it never reads the
// script again, whatever becomes of the file meanwhile, and the program's
// end is the child's end.
constexpr std::string_view kExec = "exec ";

}  // namespace

std::string send_script_line(const Protocol& protocol, const FileTable& table,
                             std::string_view transfer_log_path) {
  std::string line(kExec);
  line += protocol.send_command;
  bool option_like = false;
  for (const auto& name : table) option_like = option_like || name.view().substr(0, 1) == "-";
  if (option_like) line += " --";
  for (const auto& name : table) {
    line += ' ';
    line += double_quoted(name.view());
  }
  line += ' ';
  line += error_redirection(transfer_log_path);
  return line;
}

std::string receive_script_line(const Protocol& protocol, std::string_view transfer_log_path) {
  return std::string(kExec) + std::string(protocol.receive_command) + " " +
         error_redirection(transfer_log_path);
}
