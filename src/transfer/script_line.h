#pragma once

#include <string>
#include <string_view>

#include "dszlog/send_log.h"
#include "transfer/protocol.h"

// The transfer script's one line (without its line feed): "exec ", the
// protocol program and its operands, the redirection of standard error.

// Send: the command, every name between double quotes, the redirection of
// standard error into the transfer log. A "--" goes before the names when
// one of them begins with "-", so that no name is read as an option.
std::string send_script_line(const Protocol& protocol, const FileTable& table,
                             std::string_view transfer_log_path);

// Receive: the command and the redirection; no names.
std::string receive_script_line(const Protocol& protocol, std::string_view transfer_log_path);
