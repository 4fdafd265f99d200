#include "transfer/transfer_script.h"

namespace {

// -v: progress messages on standard error, which the transfer log captures;
// -b: the bytes as they are; -y: replace files of the same name.
constexpr Protocol kProtocols[] = {
    {'Z', "sz -v -b -r -y -e ", "Executing SZ(zmodem) External Protocol....", "rz -b -y -v ",
     "Executing RZ(zmodem) External Protocol...."},
    {'X', "sx -v -b -r -y -e ", "Executing SX(xmodem) External Protocol....", "rx -b -y -v ",
     "Executing RX(xmodem) External Protocol...."},
    {'Y', "sb -v -b -r -y -e ", "Executing SB(ymodem) External Protocol....", "rb -b -y -v ",
     "Executing RB(ymodem) External Protocol...."},
};

// The shell replaces itself with the protocol program, so it never reads the
// script again, whatever becomes of the file meanwhile, and the program's
// end is the child's end.
constexpr std::string_view kExec = "exec ";

bool plain_path_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("/._+,:@%=-").find(c) != std::string_view::npos;
}

}  // namespace

const Protocol* find_protocol(std::string_view letter) {
  if (letter.size() != 1) return nullptr;
  for (const Protocol& protocol : kProtocols) {
    if (protocol.letter == letter[0]) return &protocol;
  }
  return nullptr;
}

std::string_view program_of(std::string_view command) {
  return command.substr(0, command.find(' '));
}

std::string send_script_line(const Protocol& protocol, const std::vector<std::string>& names,
                             std::string_view transfer_log_path) {
  std::string line(kExec);
  line += protocol.send_command;
  bool option_like = false;
  for (const std::string& name : names) option_like = option_like || name.starts_with('-');
  if (option_like) line += " --";
  for (const std::string& name : names) {
    line += ' ';
    line += double_quoted(name);
  }
  line += ' ';
  line += error_redirection(transfer_log_path);
  return line;
}

std::string receive_script_line(const Protocol& protocol, std::string_view upload_name,
                                std::string_view transfer_log_path) {
  std::string line = std::string(kExec) + std::string(protocol.receive_command);
  if (!upload_name.empty()) line += double_quoted(upload_name);
  return line + " " + error_redirection(transfer_log_path);
}

std::string double_quoted(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '$' || c == '`' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string error_redirection(std::string_view path) {
  bool plain = !path.empty();
  for (char c : path) plain = plain && plain_path_byte(c);
  return "2>" + (plain ? std::string(path) : double_quoted(path));
}
