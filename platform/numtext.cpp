// Number texts: fixed C-locale forms, so a German or French desktop still shows "1.50".
#include "platform/numtext.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace platform {

std::string realText(double value, int decimals) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Infinity" : "-Infinity";
  if (decimals == -1) decimals = 10;
  if (decimals < 0) decimals = 0;
  if (decimals > 512) decimals = 512;
  if (value == 0) value = 0;  // drops the sign of -0.0
  // to_chars never looks at the locale; its fixed form is printf's "%.Nf" in the C locale.
  // Widest case: sign, 309 integer digits, point, 512 decimals.
  char buffer[1024];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                              decimals);
  return std::string(buffer, result.ptr);
}

std::string integerText(int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string leftFill(const std::string& text, int width, char fill) {
  if (width <= 0) return "";
  size_t kept = std::min(static_cast<size_t>(width), text.size());
  return std::string(static_cast<size_t>(width) - kept, fill) + text.substr(0, kept);
}

int32_t integerPart(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // the conversion truncates toward zero
}

float wholeNumber(float value, int mode) {
  if (mode == 1) return std::ceil(value);
  if (mode == 2) return std::round(value);  // halves go away from zero
  return std::floor(value);
}

}  // namespace platform
