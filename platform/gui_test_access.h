// For tests (and the benchmark) only: the Qt objects behind window and widget numbers, to
// click and type on, the message boxes' scripted answers and records, and what a user sees.
#pragma once
#include <string>
#include <vector>

#include "platform/gui.h"

class QWidget;

namespace platform {
// The answers the next message boxes take, in order, instead of waiting for a user.
void scriptAnswers(Gui& gui, std::vector<int> answers);
// Every message box shown so far, in order.
const std::vector<MessageRecord>& shownBoxes(const Gui& gui);
bool isKeptOnTop(const Gui& gui, int window);
bool isDisabled(const Gui& gui, int widget);
int itemCount(const Gui& gui, int widget);  // drop-down or list box; 0 for anything else
std::string itemText(const Gui& gui, int widget, int position);
QWidget* qtWindow(Gui& gui, int window);  // nullptr when the number does not exist
QWidget* qtWidget(Gui& gui, int widget);  // nullptr when the number does not exist
// Whether a user sees the widget's text whole with the fonts in use: a label with every line
// unshortened and all lines within its height, a list box or folder tree whose every row
// scrolls into view unshortened, a drop-down's open list with every item unshortened.
bool shownWhole(Gui& gui, int widget);
// The text a drop-down's closed box draws ("" for any other widget).
std::string shownText(Gui& gui, int widget);
}  // namespace platform
