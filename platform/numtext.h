// Number texts shown to the user and used in names: C-locale, whatever the user's locale.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// "%.Nf" in the C locale; N < 0 counts as 0 (N = -1 as 10), N > 512 as 512; "NaN",
// "+Infinity", "-Infinity"; zero (also -0.0) is written without a sign.
std::string realText(double value, int decimals);
// Decimal digits with "-" before a negative value.
std::string integerText(int64_t value);
// Exactly width characters: fill repeated, then the first min(width, length) characters.
std::string leftFill(const std::string& text, int width, char fill);
// Truncation toward zero (saturating at the 32-bit range).
int32_t integerPart(double value);
// Mode 0 down, 1 up, 2 nearest (half away from zero); other modes down.
float wholeNumber(float value, int mode);

}  // namespace platform
