#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// A counted byte string that never holds more than Max bytes. Every text the
// program handles (arguments, paths, lines, command texts) is one of these:
// assigning or appending cuts at the maximum, so no cut can be forgotten.
// Positions are 1-based, as the program's texts count them.
template <std::size_t Max = 255>
class ShortString {
  static_assert(Max >= 1 && Max <= 255, "a short string holds 1 to 255 bytes");

 public:
  ShortString() = default;
  ShortString(std::string_view text) { assign(text); }  // NOLINT: cutting conversion by design
  ShortString(const char* text) { assign(text); }       // NOLINT
  template <std::size_t Other>
  ShortString(const ShortString<Other>& other) {  // NOLINT
    assign(other.view());
  }

  void assign(std::string_view text) {
    length_ = static_cast<std::uint8_t>(text.size() < Max ? text.size() : Max);
    std::memmove(bytes_, text.data(), length_);
    bytes_[length_] = '\0';
  }

  ShortString& operator+=(std::string_view text) {
    std::size_t room = Max - length_;
    std::size_t count = text.size() < room ? text.size() : room;
    std::memmove(bytes_ + length_, text.data(), count);
    length_ = static_cast<std::uint8_t>(length_ + count);
    bytes_[length_] = '\0';
    return *this;
  }
  ShortString& operator+=(char c) { return *this += std::string_view(&c, 1); }
  template <std::size_t Other>
  ShortString& operator+=(const ShortString<Other>& other) {
    return *this += other.view();
  }

  std::string_view view() const { return std::string_view(bytes_, length_); }
  operator std::string_view() const { return view(); }  // NOLINT
  // NUL-terminated for system calls; a NUL inside the text ends it there.
  const char* c_str() const { return bytes_; }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  char operator[](std::size_t index) const { return bytes_[index]; }

  // 1-based position of the first occurrence of `part`, 0 when there is none.
  // An empty part is never found.
  std::size_t position(std::string_view part) const {
    if (part.empty()) return 0;
    std::size_t at = view().find(part);
    return at == std::string_view::npos ? 0 : at + 1;
  }
  std::size_t position(char c) const { return position(std::string_view(&c, 1)); }

  // Up to `count` bytes from 1-based `start`, clipped to the string.
  ShortString substring(std::size_t start, std::size_t count) const {
    if (start < 1) start = 1;
    if (start > length_) return ShortString();
    return ShortString(view().substr(start - 1, count));
  }

  friend bool operator==(const ShortString& a, std::string_view b) { return a.view() == b; }

 private:
  std::uint8_t length_ = 0;
  char bytes_[Max + 1] = {};
};

using Str = ShortString<255>;

// Decimal digits of `value`, with "-" in front of a negative number.
Str integer_text(long long value);

// Concatenation that cuts at 255, the way the program joins names.
template <typename... Pieces>
Str join(const Pieces&... pieces) {
  Str result;
  ((result += std::string_view(pieces)), ...);
  return result;
}
