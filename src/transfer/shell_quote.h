#pragma once

#include <string>
#include <string_view>

// Words for the transfer script's one line, which /bin/sh reads: what stands
// there reaches the protocol program byte for byte, and nothing in a name or
// a path can run a command or split into two arguments.

// The name between double quotes, with a backslash before each " $ ` \.
std::string double_quoted(std::string_view name);

// The redirection "2>" + path: the path as it stands when it holds only
// letters, digits and / . _ + , : @ % = -, else double-quoted.
std::string error_redirection(std::string_view path);
