// The numbers of the main window and its widgets, and the status text's line separator.
#pragma once
#include <initializer_list>
#include <string>

namespace app {

constexpr int kMainWindow = 0;

constexpr int kPresetBox = 0;
constexpr int kNeedLabel = 1;
constexpr int kProgressBar = 2;
constexpr int kStatusText = 3;
constexpr int kMoveFolderButton = 4;
constexpr int kGoButton = 5;
constexpr int kBackButton = 6;
constexpr int kDriveBox = 7;
constexpr int kFreeLabel = 8;
constexpr int kCheckBox = 9;

inline const std::string kLineSeparator = "\n\r";  // character 10, then 13

// The lines joined by the line separator, as every status message is built.
inline std::string joinLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty() || &line != lines.begin()) text += kLineSeparator;
    text += line;
  }
  return text;
}

}  // namespace app
