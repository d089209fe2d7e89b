// Character counting and the UTF-8 check for folder paths.
#include "platform/text.h"

namespace platform {
namespace {

bool continuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at the start of text, 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF are refused).
size_t sequenceLength(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (!continuationByte(byte(i))) return 0;
  return length;
}

}  // namespace

std::string firstCharacters(std::string_view text, size_t count) {
  size_t end = 0;
  while (end < text.size()) {
    if (!continuationByte(static_cast<unsigned char>(text[end])) && count-- == 0) break;
    ++end;
  }
  return std::string(text.substr(0, end));
}

std::string lastCharacters(std::string_view text, size_t count) {
  size_t start = text.size();
  while (count > 0 && start > 0) {
    --start;
    if (!continuationByte(static_cast<unsigned char>(text[start]))) --count;
  }
  return std::string(text.substr(start));
}

size_t characterCount(std::string_view text) {
  size_t count = 0;
  for (const char c : text)
    if (!continuationByte(static_cast<unsigned char>(c))) ++count;
  return count;
}

bool storableText(std::string_view text) {
  while (!text.empty()) {
    if (text[0] == '\n' || text[0] == '\r') return false;
    const size_t length = sequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace platform
