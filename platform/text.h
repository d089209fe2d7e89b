// Text rules of paths shown and stored: lengths count characters (UTF-8 code points)
// so a shortened path never splits a letter, and names the file database can carry.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The first count characters of text (all of it when it is shorter).
std::string firstCharacters(std::string_view text, size_t count);
// The last count characters of text (all of it when it is shorter).
std::string lastCharacters(std::string_view text, size_t count);
// The number of characters of text (bytes that do not continue a UTF-8 sequence).
size_t characterCount(std::string_view text);
// True when text is valid UTF-8 holding neither character 10 nor 13: Shelfdex.dat stores
// paths as UTF-8 lines, so any other path could never be put back.
bool storableText(std::string_view text);

}  // namespace platform
