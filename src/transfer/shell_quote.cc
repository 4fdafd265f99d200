#include "transfer/shell_quote.h"

namespace {

bool plain_path_byte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("/._+,:@%=-").find(c) != std::string_view::npos;
}

}  // namespace

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
