#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

// Finding names in the lines of a transfer log. A line is read in segments,
// the texts between its CRs: a program that redraws its progress writes
// them onto one line.

// Calls `on_segment` with each text between the CRs of `line`, in order.
template <typename OnSegment>
void for_each_segment(std::string_view line, OnSegment on_segment) {
  for (std::size_t start = 0;;) {
    std::size_t cr = line.find('\r', start);
    on_segment(line.substr(start, cr == std::string_view::npos ? cr : cr - start));
    if (cr == std::string_view::npos) return;
    start = cr + 1;
  }
}

// Whether `name` occurs in `segment` as a whole name. Before it stands
// `prefix` when one is given, else the segment's start, a space, a tab or a
// double quote; after it stands `suffix` when one is given, else the
// segment's end, a space, a tab, a comma, a colon or a double quote. An empty
// name is never found.
bool holds_name(std::string_view segment, std::string_view name, std::string_view prefix = {},
                std::string_view suffix = {});

// The names a reader knows, each with the indexes it stands for, looked up
// instead of tried one by one: a segment is searched once, whatever the
// number of names.
class NameIndex {
 public:
  // `name` must outlive the index.
  void add(std::string_view name, std::size_t index);
  // The indexes of `name`, in the order they were added; null when unknown.
  const std::vector<std::size_t>* find(std::string_view name) const;
  // The indexes of every known name that `segment` holds as holds_name()
  // finds it with the same prefix and suffix, ascending and each once.
  std::vector<std::size_t> names_in(std::string_view segment, std::string_view prefix = {},
                                    std::string_view suffix = {}) const;

 private:
  void add_matches(std::string_view segment, std::size_t start, std::size_t end,
                   std::vector<std::size_t>& found) const;

  std::unordered_map<std::string_view, std::vector<std::size_t>> indexes_;
  std::vector<bool> length_known_;  // by name length
};
