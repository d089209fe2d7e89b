// For tests only: the Qt objects behind window and widget numbers, to click and type on.
#pragma once
#include <string>

class QWidget;

namespace platform {
class Gui;
QWidget* qtWindow(Gui& gui, int window);  // nullptr when the number does not exist
QWidget* qtWidget(Gui& gui, int widget);  // nullptr when the number does not exist
// Whether a user sees the widget's text whole with the fonts in use: a label with every line
// unshortened and all lines within its height, a list box whose every row scrolls into view
// unshortened, a drop-down's open list with every item unshortened.
bool shownWhole(Gui& gui, int widget);
// The text a drop-down's closed box draws ("" for any other widget).
std::string shownText(Gui& gui, int widget);
}  // namespace platform
