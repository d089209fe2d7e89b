// For tests only: the Qt objects behind window and widget numbers, to click and type on.
#pragma once

class QWidget;

namespace platform {
class Gui;
QWidget* qtWindow(Gui& gui, int window);  // nullptr when the number does not exist
QWidget* qtWidget(Gui& gui, int widget);  // nullptr when the number does not exist
}  // namespace platform
