// Numbered windows and widgets, one event queue for all windows, message boxes, and the
// seams tests answer (message-box answers, the program's end). Carried on Qt in gui_qt.cpp.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr int kEventNone = 0;       // a wait timed out, or a poll found nothing
constexpr int kEventClose = 16;     // the user asked to close a window
constexpr int kEventWidget = 13100; // a button or check box clicked, a drop-down choice made
constexpr int kEventDrop = 13105;   // files dropped onto a window with dropping enabled

constexpr int kAnyNumber = -1;      // open/create: pick a free number and return it
constexpr int kAtEnd = -1;          // addItem: after the last item
constexpr int kWaitForever = -1;    // waitEvent: no time limit

constexpr int kStyleSystemMenu = 1; // title bar with close button only, fixed size
constexpr int kStyleToolWindow = 2; // narrow title bar with a close box; modal: the other
                                    // windows take no input while it is open

constexpr int kBoxStopOk = 16;              // stop icon, OK
constexpr int kBoxWarningRetryCancel = 53;  // warning icon, Retry and Cancel
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;            // also closing a Retry/Cancel box
constexpr int kAnswerRetry = 4;
constexpr int kBoxQuestionYesNo = 36;       // question icon, Yes and No
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;                // also closing a Yes/No box

struct MessageRecord {
  std::string title;
  std::string text;
  int kind = 0;
  std::string detail;
};

// Thrown by Gui::endProgram(); the main routine catches it and exits with code 0.
struct ProgramEnd {};

// A node of the folder tree below its top node: label shown, path ending with "/".
struct TreeRoot {
  std::string label;
  std::string path;
};

class Gui {
 public:
  Gui();   // starts the toolkit (once per process) with no windows
  ~Gui();  // closes every window still open
  Gui(const Gui&) = delete;
  Gui& operator=(const Gui&) = delete;

  // Windows. Every window is centred on the screen, raised and activated; the first widget
  // created in it that takes the keyboard has the focus. Returns its number, 0 on failure
  // (when number is 0 success is reported as 1).
  int openWindow(int number, int width, int height, const std::string& title, int style);
  void useAsParent(int window);          // widgets created next belong to window
  void closeWindow(int window);
  void keepOnTop(int window, bool on);   // without moving, resizing or re-showing it
  void enableDrop(int window);           // file drops onto window give kEventDrop
  // True when window (or the open list of one of its drop-downs) has the keyboard: the user
  // is looking at it rather than at another program.
  bool isActive(int window) const;

  // Widgets of the current parent; each returns its number (1 for number 0), 0 on failure.
  int addComboBox(int number, int x, int y, int width, int height);
  int addLabel(int number, int x, int y, int width, int height, const std::string& text);
  int addProgressBar(int number, int x, int y, int width, int height, int minimum, int maximum);
  int addButton(int number, int x, int y, int width, int height, const std::string& caption);
  int addCheckBox(int number, int x, int y, int width, int height, const std::string& caption);
  int addListBox(int number, int x, int y, int width, int height);
  int addFrame(int number, int x, int y, int width, int height, const std::string& caption);
  // Folder tree: top node "Computer" (empty path, expanded), then roots, each filled with
  // its subfolders (sorted by name, no hidden folders, links or files) when first opened.
  // Every node has a check box; onBoxChanged runs after each box change the user makes,
  // with the node's path and its new state, after the node has been made the selected one.
  int addFolderTree(int number, int x, int y, int width, int height,
                    const std::vector<TreeRoot>& roots,
                    std::function<void(const std::string& path, bool ticked)> onBoxChanged);

  // Operations on a widget number that does not exist do nothing and return 0 / "".
  void setFont(int widget, int font);
  void setText(int widget, const std::string& text);
  std::string text(int widget) const;    // drop-down: selected item ("" when none);
                                         // folder tree: selected node's path
  void setState(int widget, int value);  // drop-down: select index (no event); progress:
                                         // position; check box: 1 ticked, 0 cleared
  int state(int widget) const;           // drop-down: index or -1; check box: 1 or 0;
                                         // progress: position
  void addItem(int widget, int position, const std::string& text);  // or at kAtEnd
  void setItemTip(int widget, int position, const std::string& tip);  // list box row's tooltip
  // Drop-down: what the closed box shows while that item is chosen, instead of its text:
  // name, then tail; where the two do not fit, the name is shortened in its middle and the
  // tail kept whole. The open list and the tooltip keep the item's whole text.
  void setClosedText(int widget, int position, const std::string& name, const std::string& tail);
  void removeItem(int widget, int position);
  void clearItems(int widget);
  void disable(int widget, bool disabled);
  // What a screen reader calls the widget ("Staging drive"). A label so named tells its text
  // as its description, and each change of it is announced.
  void setAccessibleName(int widget, const std::string& name);

  // Fonts: a number for loadFont's result, 0 on failure.
  int loadFont(const std::string& face, int points);
  int screenDpi() const;                 // logical dots per inch vertically; 0 when unknown
  std::string defaultFontFace() const;   // "" when the toolkit has none

  // Events. waitEvent(kWaitForever) waits without limit.
  int waitEvent(int ms);
  int pollEvent();
  int eventWindow() const;
  int eventWidget() const;
  std::string droppedFiles() const;      // paths of the last drop joined by "\n"
  // Fetches pending events without waiting, 1 ms after each, until none; discards them.
  // Within 15 ms of the last drain it returns at once: the window is still fresh, and a
  // command with many small steps would otherwise spend its time painting.
  void refreshWindow();
  // The same, always: ends every command, so nothing done meanwhile outlives it.
  void discardPendingEvents();

  // Message boxes: modal; scripted answers (tests, gui_test_access.h) are used in order
  // while any are left. detail, when given, is a second, smaller line under the text (a
  // path, the system's reason).
  int messageBox(const std::string& title, const std::string& text, int kind,
                 const std::string& detail = {});

  // Watchers for the desktop around a long command; an empty function ends the watch. The
  // first sees each new position of a progress bar, the second each message box's title
  // and text just before it is shown (or answered from a script).
  void watchProgress(std::function<void(int position)> watcher);
  void watchBoxes(std::function<void(const std::string& title, const std::string& text)> watcher);

  // Ends the program: throws ProgramEnd, which unwinds to the main routine.
  [[noreturn]] void endProgram();

  struct Impl;

 private:
  friend struct TestAccess;  // gui_test_access.h
  std::unique_ptr<Impl> impl_;
};

// The user's home folder, then those of its desktop's standard folders (Desktop, Documents,
// Downloads, Music, Pictures, Videos) that exist, each once and ending with "/".
std::vector<std::string> userFolders();

// Picks the toolkit's platform before it starts, where the user named none (QT_QPA_PLATFORM):
// X11 where a display answers, Xwayland included (window managers keep an X11 window above
// the others on request; Wayland has no such request), else Wayland where a compositor
// answers and Qt's Wayland plugin is installed. Returns why no window can be shown, in one
// line ("" when one can): the toolkit would abort instead.
std::string chooseDisplay();

}  // namespace platform
