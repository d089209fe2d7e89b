// The main font's rule and the status text helper.
#include "ui/window.h"

#include "platform/gui.h"

namespace ui {

void showStatus(platform::Gui& gui, std::initializer_list<std::string> lines) {
  gui.setText(kStatusText, joinLines(lines));
}

int mainFontPoints(int dpi) {
  const float scale = dpi > 0 ? 96.0f / static_cast<float>(dpi) : 1.0f;
  return static_cast<int>(scale * 10.0f);
}

int loadMainFont(platform::Gui& gui) {
  std::string face = gui.defaultFontFace();
  if (face.empty()) face = "System";
  return gui.loadFont(face, mainFontPoints(gui.screenDpi()));
}

}  // namespace ui
