#include "runtime/short_string.h"

Str integer_text(long long value) {
  char digits[24];
  int at = sizeof digits;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    digits[--at] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[--at] = '-';
  return Str(std::string_view(digits + at, sizeof digits - at));
}
