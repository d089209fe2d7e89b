// The main window's vocabulary that the commands and the window both stand on: the numbers
// of the window and its widgets, the status text's line separator, the check box's captions
// and the main font. Includes nothing of the commands.
#pragma once
#include <initializer_list>
#include <string>

namespace platform { class Gui; }

namespace ui {

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

// Replaces the whole status text by the lines joined by the line separator.
void showStatus(platform::Gui& gui, std::initializer_list<std::string> lines);

inline const std::string kMoveFolderCaption = "Move Folder";  // the button and the folder window
inline const std::string kCheckCaption = "CRC32,MD5,SHA-1 FingerPrint Check";
inline const std::string kCheckingCaption = "CRC32,MD5,SHA-1 FingerPrint Checking";

// Characters of a path the folder window's list shows before it shortens a row.
constexpr int kPathDisplayLimit = 50;

// Point size of the main font at a screen's vertical resolution: 10 points at 96 dpi,
// scaled so the text keeps its pixel height.
int mainFontPoints(int dpi);
// Loads the main font (the desktop's default face at mainFontPoints); its font number.
int loadMainFont(platform::Gui& gui);

}  // namespace ui
