#pragma once

#include <string>
#include <string_view>
#include <vector>

// The lrzsz programs and their fixed options, one row per protocol letter.
// Each command ends with a space and a space goes before every operand, so
// two stand after the options: scripts that read the line rely on its form.
struct Protocol {
  char letter;
  std::string_view send_command;  // ends with a space
  std::string_view send_message;
  std::string_view receive_command;  // ends with a space
  std::string_view receive_message;
};

// The row for an exact upper-case X, Y or Z; nullptr for anything else.
const Protocol* find_protocol(std::string_view letter);

// The program a command runs: its first word ("sz" of "sz -v ...").
std::string_view program_of(std::string_view command);

// The transfer script's one line (without its line feed), which /bin/sh
// reads: "exec ", the protocol program and its operands, the redirection of
// standard error into the transfer log. What stands there reaches the program
// byte for byte; nothing in a name or a path can run a command or split into
// two arguments.

// Send: every name between double quotes. A "--" goes before the names when
// one of them begins with "-", so that no name is read as an option.
std::string send_script_line(const Protocol& protocol, const std::vector<std::string>& names,
                             std::string_view transfer_log_path);

// Receive: no names, but for Xmodem the one file's name (`upload_name`,
// empty for Y and Z), between double quotes.
std::string receive_script_line(const Protocol& protocol, std::string_view upload_name,
                                std::string_view transfer_log_path);

// The name between double quotes, with a backslash before each " $ ` \.
std::string double_quoted(std::string_view name);

// The redirection "2>" + path: the path as it stands when it holds only
// letters, digits and / . _ + , : @ % = -, else double-quoted.
std::string error_redirection(std::string_view path);
