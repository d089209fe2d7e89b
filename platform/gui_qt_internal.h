// What the files carrying the widget layer on Qt share: the records behind the numbers
// (Gui::Impl), the queued events, the top-level window, the labels and drop-downs that fit
// their texts, and what the folder tree and the X11 keep-on-top offer the rest. Nothing
// outside platform/ includes it.
#pragma once
#include "platform/gui.h"
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

namespace platform {

constexpr int kFirstFreeNumber = 1000;  // kAnyNumber picks from here, clear of 0..9
constexpr int kComboReach = 350;        // closed box plus open list, pixels
constexpr int kNoNumber = -1;           // last event concerned no window / no widget

enum class Kind { ComboBox, Label, ProgressBar, Button, CheckBox, ListBox, Frame, FolderTree };

struct Event {
  int kind = kEventNone;
  int window = kNoNumber;
  int widget = kNoNumber;
  std::string dropped;
};

inline QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
inline std::string toUtf8(const QString& text) { return text.toStdString(); }

// The status text joins its lines with "\n\r"; a label shows plain line breaks.
QString labelDisplay(const std::string& text);
// The one application object, made at the first Gui and kept until the process ends.
QApplication* ensureApplication();

class TopWindow;

// What gui_test_access.h reaches inside a Gui.
struct TestAccess {
  static Gui::Impl* impl(const Gui& gui) { return gui.impl_.get(); }
};

struct Gui::Impl {
  std::chrono::steady_clock::time_point lastDrain;  // when refreshWindow last fetched events

  struct WindowRecord {
    TopWindow* widget = nullptr;
    int owner = kNoNumber;   // window active when this one opened; active again at close
    bool onTop = false;
  };
  struct WidgetRecord {
    Kind kind;
    QWidget* widget = nullptr;
    int window = kNoNumber;
    std::string text;        // as last set, returned unchanged by text()
  };

  std::map<int, WindowRecord> windows;
  std::map<int, WidgetRecord> widgets;
  std::map<int, QFont> fonts;
  int parent = kNoNumber;

  std::deque<Event> queue;
  Event last;
  std::vector<QEventLoop*> waiting;  // loops of waitEvent calls to wake on a new event

  std::deque<int> answers;
  std::vector<MessageRecord> shown;
  std::function<void(int)> progressWatcher;
  std::function<void(const std::string&, const std::string&)> boxWatcher;

  void push(Event event) {
    queue.push_back(std::move(event));
    for (QEventLoop* loop : waiting) loop->quit();
  }
  int pop() {
    if (queue.empty()) return kEventNone;
    last = std::move(queue.front());
    queue.pop_front();
    return last.kind;
  }

  WidgetRecord* widget(int number) {
    auto found = widgets.find(number);
    return found == widgets.end() ? nullptr : &found->second;
  }
  const WidgetRecord* widget(int number) const {
    auto found = widgets.find(number);
    return found == widgets.end() ? nullptr : &found->second;
  }
  template <typename T>
  T* as(int number, Kind kind) const {
    const WidgetRecord* record = widget(number);
    return record && record->kind == kind ? static_cast<T*>(record->widget) : nullptr;
  }
  int windowNumberOf(const QWidget* window) const;
  int windowWithKeyboard() const;  // kNoNumber when another program has it

  template <typename Map>
  static int freeNumber(const Map& map) {
    int number = kFirstFreeNumber;
    while (map.count(number)) ++number;
    return number;
  }

  void forgetWidget(int number);
  void closeWindow(int number);
  int addWidget(int number, Kind kind, QWidget* widget, int x, int y, int width, int height,
                const std::string& text = {});
  QWidget* parentWidget() const;
  QWidget* boxOwner() const;
  bool anyOnTop() const;
};

// Places the window so that its outer size (client plus frame, cut to the screen) is
// centred on the screen, in whole pixels.
void placeCentred(QWidget* window, QSize frame);

// A top-level window whose close requests and file drops become queued events.
class TopWindow : public QWidget {
 public:
  TopWindow(Gui::Impl& impl, int number, Qt::WindowFlags flags)
      : QWidget(nullptr, flags), impl_(impl), number_(number) {}
  void enableDrop() {
    dropEnabled_ = true;
    setAcceptDrops(true);
  }
  // Centres the window again, once, when the window manager has put its frame around it.
  void centreWhenFramed() { centring_ = true; }
  void setAccessibleRole(QAccessible::Role role) { role_ = role; }
  QAccessible::Role accessibleRole() const { return role_; }

 protected:
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    const QSize frame = frameGeometry().size() - size();
    if (!centring_ || frame.isEmpty()) return;
    centring_ = false;
    placeCentred(this, frame);
  }
  void closeEvent(QCloseEvent* event) override {
    // The program decides whether a window closes; the request only becomes an event.
    event->ignore();
    impl_.push({kEventClose, number_, kNoNumber, {}});
  }
  void dragEnterEvent(QDragEnterEvent* event) override { offer(event); }
  void dragMoveEvent(QDragMoveEvent* event) override { offer(event); }
  void dropEvent(QDropEvent* event) override {
    if (!dropEnabled_) return event->ignore();
    std::string paths = localFiles(event->mimeData());
    event->setDropAction(Qt::CopyAction);
    event->accept();
    impl_.push({kEventDrop, number_, kNoNumber, std::move(paths)});
  }

 private:
  static std::string localFiles(const QMimeData* data) {
    std::string paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
      if (!url.isLocalFile()) continue;
      if (!paths.empty()) paths += '\n';
      paths += QFile::encodeName(url.toLocalFile()).toStdString();
    }
    return paths;
  }
  void offer(QDropEvent* event) {
    if (dropEnabled_ && !localFiles(event->mimeData()).empty()) {
      event->setDropAction(Qt::CopyAction);
      event->accept();
    } else {
      event->ignore();
    }
  }

  Gui::Impl& impl_;
  int number_;
  bool dropEnabled_ = false;
  bool centring_ = false;
  QAccessible::Role role_ = QAccessible::Window;
};

// A push button that Return and Enter press too, as Space does, wherever it stands.
class ReturnButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return click();
    QPushButton::keyPressEvent(event);
  }
};

// The folder tree: "Computer", the given roots, and subfolders listed on first opening.

// Stretches tried, widest first, before a line that is still too wide is shortened.
constexpr int kStretches[] = {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed};

// The font of the widest stretch in which text fits into width pixels; the narrowest when
// none does. Condensed faces of the desktop's family keep every letter of a long line.
inline QFont fittingFont(const QFont& base, const QString& text, int width) {
  QFont font = base;
  for (int stretch : kStretches) {
    font.setStretch(stretch);
    if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
  }
  return font;
}

// A label that never wraps: each line is drawn whole, condensed when it is too wide. A line
// that does not fit even so keeps its end (a folder's own name), its whole text the tooltip.
class FittingLabel : public QLabel {
 public:
  using QLabel::QLabel;
  // True when some line of the text cannot be shown whole.
  bool cut() const {
    bool anyCut = false;
    layOut([&](const QString&, const QString& line, const QFont& font, int) {
      anyCut = anyCut || QFontMetrics(font).horizontalAdvance(line) > contentsRect().width();
    });
    return anyCut || lineCount() * fontMetrics().lineSpacing() > contentsRect().height();
  }
  // The lines are measured only when painted or hovered: a command that changes the status
  // for every small file must not lay out texts no one sees (painting is at most every 15 ms).
  // A label with a name of its own for screen readers ("Status") tells its text as its
  // description, and Qt announces each change of that; its text would otherwise go unsaid.
  void setShownText(const QString& text) {
    setText(text);
    if (!accessibleName().isEmpty()) setAccessibleDescription(text);
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ToolTip) setToolTip(cut() ? text() : QString());
    return QLabel::event(event);
  }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    layOut([&](const QString& shown, const QString&, const QFont& font, int top) {
      painter.setFont(font);
      const QRect row(contentsRect().left(), top, contentsRect().width(), fontMetrics().lineSpacing());
      style()->drawItemText(&painter, row, Qt::AlignLeft | Qt::AlignTop, palette(), isEnabled(),
                            shown, foregroundRole());
    });
  }

 private:
  int lineCount() const { return int(text().split(QLatin1Char('\n')).size()); }
  // Calls draw(shown text, whole line, font, top) for every line, top to bottom.
  template <typename Draw>
  void layOut(Draw draw) const {
    const int width = contentsRect().width();
    int top = contentsRect().top();
    for (const QString& line : text().split(QLatin1Char('\n'))) {
      const QFont font = fittingFont(this->font(), line, width);
      draw(QFontMetrics(font).elidedText(line, Qt::ElideLeft, width), line, font, top);
      top += fontMetrics().lineSpacing();
    }
  }
};

// A drop-down whose closed box shows the end of its choice (which volume, how much room),
// condensed before it is shortened, and whose open list shows every item whole, below the
// box, the two together within kComboReach pixels. Every item has its text as tooltip.
class FittingComboBox : public QComboBox {
 public:
  static constexpr int kClosedNameRole = Qt::UserRole;      // the closed box's text: a name
  static constexpr int kClosedTailRole = Qt::UserRole + 1;  // and what follows it, kept whole
  explicit FittingComboBox(QWidget* parent) : QComboBox(parent) {
    // Fusion would open the list over the box, every item at once, whatever its length.
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    connect(this, &QComboBox::currentIndexChanged, this,
            [this](int index) { setToolTip(index < 0 ? QString() : itemText(index)); });
  }
  // The text of the closed box as drawn, and its font.
  QString shownText(QFont* font = nullptr) const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const int width = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                              QStyle::SC_ComboBoxEditField, this).width();
    const QVariant name = itemData(currentIndex(), kClosedNameRole);
    const QString tail = itemData(currentIndex(), kClosedTailRole).toString();
    if (name.isValid()) option.currentText = name.toString() + tail;
    const QFont fitting = fittingFont(this->font(), option.currentText, width);
    if (font) *font = fitting;
    const QFontMetrics metrics(fitting);
    if (!name.isValid()) return metrics.elidedText(option.currentText, Qt::ElideLeft, width);
    // The name's start and end tell two disks apart ("Seagate...5TB", "BACKUP...2024").
    return metrics.elidedText(name.toString(), Qt::ElideMiddle, width - metrics.horizontalAdvance(tail)) + tail;
  }
  void showPopup() override {
    view()->setTextElideMode(Qt::ElideNone);
    const int row = std::max(1, view()->sizeHintForRow(0));
    setMaxVisibleItems(std::max(1, (kComboReach - height() - 8) / row));
    const int frame = 2 * view()->frameWidth() + 8;
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + frame +
                            (count() > maxVisibleItems() ? view()->verticalScrollBar()->sizeHint().width() : 0));
    QComboBox::showPopup();
    // The list belongs below the box and never reaches past kComboReach.
    QWidget* list = view()->window();
    const QPoint below = mapToGlobal(QPoint(0, height()));
    list->setGeometry(below.x(), below.y(), list->width(),
                      std::min(list->height(), kComboReach - height()));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    QFont font;
    option.currentText = shownText(&font);
    painter.setFont(font);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
  }
};

// The folder tree (gui_qt_tree.cpp) and the path of its selected node.
QWidget* newFolderTree(QWidget* parent, const std::vector<TreeRoot>& roots,
                       std::function<void(const std::string&, bool)> onBoxChanged);
std::string selectedTreePath(QWidget* tree);

// Asks the window manager to keep window above others (or not) without re-showing it
// (gui_qt_x11.cpp).
void setAboveX11(QWidget* window, bool on);

}  // namespace platform
