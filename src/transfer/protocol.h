#pragma once

#include <string_view>

// The lrzsz programs and their fixed options, one row per protocol letter.
struct Protocol {
  char letter;
  std::string_view send_command;  // ends with a space
  std::string_view send_message;
  std::string_view receive_command;  // ends with a space
  std::string_view receive_message;
};

// The row for an exact upper-case X, Y or Z; nullptr for anything else.
const Protocol* find_protocol(std::string_view letter);
