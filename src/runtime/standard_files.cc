#include "runtime/standard_files.h"

namespace {
TextFile g_input;
TextFile g_output;
TextFile g_plain_output;
TextFile g_error_output;
}  // namespace

TextFile& standard_input() { return g_input; }
TextFile& standard_output() { return g_output; }
TextFile& plain_output() { return g_plain_output; }
TextFile& error_output() { return g_error_output; }

void bind_standard_files() {
  attach_descriptor(g_input, 0, FileMode::kInput, false);
  attach_descriptor(g_output, 1, FileMode::kOutput, true);
  attach_descriptor(g_plain_output, 1, FileMode::kOutput, true);
  attach_descriptor(g_error_output, 2, FileMode::kOutput, true);
}

void print_line(std::string_view text) { write_line(g_output, text); }

void print_line(std::initializer_list<std::string_view> pieces) {
  for (std::string_view piece : pieces) write_text(g_output, piece);
  end_line(g_output);
}
