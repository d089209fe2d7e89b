// The numbered window/widget/event layer carried on Qt Widgets: records behind the numbers,
// one queue that Qt's signals and handlers fill, message boxes with their test seam, and
// keep-on-top through EWMH on X11.
#include "platform/gui.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

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
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include "platform/files.h"
#include "platform/gui_test_access.h"

// The icon lives in a resource of this static library; the linker keeps it only when asked.
static void initIconResource() { Q_INIT_RESOURCE(burnshelf); }

namespace platform {
namespace {

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

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string toUtf8(const QString& text) { return text.toStdString(); }

// The status text joins its lines with "\n\r"; a label shows plain line breaks.
QString labelDisplay(const std::string& text) {
  QString shown = fromUtf8(text);
  shown.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

QApplication* ensureApplication() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
  // Qt keeps references to argc/argv for the application's lifetime.
  static int argc = 1;
  static char name[] = "burnshelf";
  static char* argv[] = {name, nullptr};
  // Lives until the process ends, so tests may build and drop several Gui objects in a row.
  auto* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  initIconResource();
  app->setWindowIcon(QIcon(QStringLiteral(":/burnshelf.png")));  // every window shows it
  return app;
}

class TopWindow;

}  // namespace

struct Gui::Impl;
// What gui_test_access.h reaches inside a Gui.
struct TestAccess {
  static Gui::Impl* impl(const Gui& gui) { return gui.impl_.get(); }
};

struct Gui::Impl {
  std::chrono::steady_clock::time_point lastDrain;  // when drainEvents last fetched events

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

namespace {

// Places the window so that its outer size (client plus frame, cut to the screen) is
// centred on the screen, in whole pixels.
void placeCentred(QWidget* window, QSize frame) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const int outerWidth = std::min(window->width() + frame.width(), area.width());
  const int outerHeight = std::min(window->height() + frame.height(), area.height());
  window->move(area.x() + (area.width() - outerWidth) / 2,
               area.y() + (area.height() - outerHeight) / 2);
}

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
};

// The folder tree: "Computer", the given roots, and subfolders listed on first opening.
class FolderTree : public QTreeWidget {
 public:
  static constexpr int kPathRole = Qt::UserRole;        // node path as raw bytes
  static constexpr int kFilledRole = Qt::UserRole + 1;  // subfolders listed already
  static constexpr int kTickedRole = Qt::UserRole + 2;  // box state last reported

  FolderTree(QWidget* parent, const std::vector<TreeRoot>& roots,
             std::function<void(const std::string&, bool)> onBoxChanged)
      : QTreeWidget(parent), onBoxChanged_(std::move(onBoxChanged)) {
    setColumnCount(1);
    setHeaderHidden(true);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShadow(QFrame::Sunken);

    filling_ = true;
    auto* top = node(QStringLiteral("Computer"), QByteArray());
    top->setData(0, kFilledRole, true);
    for (const TreeRoot& root : roots)
      top->addChild(node(fromUtf8(root.label), QByteArray::fromStdString(root.path)));
    addTopLevelItem(top);
    top->setExpanded(true);
    filling_ = false;

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fill(item); });
    // itemChanged also reports the tree's own data changes; only a new box state counts.
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
      const bool ticked = item->checkState(0) == Qt::Checked;
      if (filling_ || ticked == item->data(0, kTickedRole).toBool()) return;
      filling_ = true;
      item->setData(0, kTickedRole, ticked);
      filling_ = false;
      // The user changed a box: that node becomes the selected one, then the hook runs.
      setCurrentItem(item);
      if (onBoxChanged_) onBoxChanged_(item->data(0, kPathRole).toByteArray().toStdString(), ticked);
    });
  }

  std::string selectedPath() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return {};
    return selected.front()->data(0, kPathRole).toByteArray().toStdString();
  }

 protected:
  // Dotted lines join each node to its parent and its siblings, beside the expand buttons.
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override {
    QTreeWidget::drawBranches(painter, rect, index);
    const QTreeWidgetItem* item = itemFromIndex(index);
    int depth = 0;
    for (const QTreeWidgetItem* up = item->parent(); up; up = up->parent()) ++depth;
    if (depth == 0) return;  // the top node has no branch
    const int indent = indentation();
    const int left = rect.right() + 1 - depth * indent;
    const int middle = rect.center().y();
    auto hasNextSibling = [](const QTreeWidgetItem* node) {
      const QTreeWidgetItem* parent = node->parent();
      return parent && parent->indexOfChild(const_cast<QTreeWidgetItem*>(node)) < parent->childCount() - 1;
    };
    painter->save();
    painter->setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
    // The node's own cell: from above to its middle (on down when a sibling follows), then
    // across to its box; the expand button, when there is one, stays clear of the lines.
    const int x = left + (depth - 1) * indent + indent / 2;
    const auto policy = item->childIndicatorPolicy();
    const bool button = policy == QTreeWidgetItem::ShowIndicator ||
                        (policy == QTreeWidgetItem::DontShowIndicatorWhenChildless && item->childCount() > 0);
    const int gap = button ? 5 : 0;
    painter->drawLine(x, rect.top(), x, middle - gap);
    if (hasNextSibling(item)) painter->drawLine(x, middle + gap, x, rect.bottom());
    painter->drawLine(x + gap, middle, left + depth * indent - 1, middle);
    // The cells of the ancestors: a line through where an ancestor's sibling follows.
    int cell = depth - 2;
    for (const QTreeWidgetItem* up = item->parent(); up && cell >= 0; up = up->parent(), --cell)
      if (hasNextSibling(up)) {
        const int through = left + cell * indent + indent / 2;
        painter->drawLine(through, rect.top(), through, rect.bottom());
      }
    painter->restore();
  }

 private:
  static QTreeWidgetItem* node(const QString& label, const QByteArray& path) {
    auto* item = new QTreeWidgetItem(QStringList{label});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, kPathRole, path);
    item->setData(0, kFilledRole, false);
    item->setData(0, kTickedRole, false);
    // The expand button shows before the subfolders are known.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
  }

  static bool shownFolder(const FolderScan& scan) {
    return scan.type() == kEntryFolder && !scan.name().empty() && scan.name()[0] != '.';
  }
  // True when path holds a folder the tree would show: only then has it an expand button.
  static bool hasShownSubfolder(const std::string& path) {
    FolderScan scan(path);
    while (scan.ok() && scan.next())
      if (shownFolder(scan)) return true;
    return false;
  }

  // Lists the real, visible subfolders of item's folder once, in the order a file manager
  // shows them: the user's collation, numbers by value ("9" before "10"), then by bytes.
  void fill(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) return;
    filling_ = true;
    item->setData(0, kFilledRole, true);
    const std::string path = item->data(0, kPathRole).toByteArray().toStdString();
    std::vector<std::pair<QString, std::string>> names;
    FolderScan scan(path);
    while (scan.ok() && scan.next())
      if (shownFolder(scan))
        names.emplace_back(QString::fromUtf8(scan.name().data(), qsizetype(scan.name().size())),
                           scan.name());
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), [&collator](const auto& a, const auto& b) {
      const int order = collator.compare(a.first, b.first);
      return order != 0 ? order < 0 : a.second < b.second;
    });

    QList<QTreeWidgetItem*> children;
    for (const auto& [label, name] : names) {
      QTreeWidgetItem* child = node(label, QByteArray::fromStdString(path + name + "/"));
      if (!hasShownSubfolder(path + name + "/"))
        child->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
      children.append(child);
    }
    item->addChildren(children);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    filling_ = false;
  }

  std::function<void(const std::string&, bool)> onBoxChanged_;
  bool filling_ = false;
};

// Stretches tried, widest first, before a line that is still too wide is shortened.
constexpr int kStretches[] = {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed};

// The font of the widest stretch in which text fits into width pixels; the narrowest when
// none does. Condensed faces of the desktop's family keep every letter of a long line.
QFont fittingFont(const QFont& base, const QString& text, int width) {
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
  void setShownText(const QString& text) {
    setText(text);
    setToolTip(cut() ? text : QString());
  }

 protected:
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
    const QFont fitting = fittingFont(this->font(), option.currentText, width);
    if (font) *font = fitting;
    return QFontMetrics(fitting).elidedText(option.currentText, Qt::ElideLeft, width);
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

// Asks the window manager to keep window above others (or not) without re-showing it.
void setAboveX11(QWidget* window, bool on) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection()) return;
  xcb_connection_t* connection = x11->connection();
  auto atom = [connection](const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return value;
  };
  const xcb_atom_t state = atom("_NET_WM_STATE");
  const xcb_atom_t above = atom("_NET_WM_STATE_ABOVE");
  if (state == XCB_ATOM_NONE || above == XCB_ATOM_NONE) return;
  const auto id = xcb_window_t(window->winId());

  if (!window->isVisible()) {
    // Not mapped yet: the window manager reads the property when the window appears.
    if (on)
      xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &above);
    else
      xcb_delete_property(connection, id, state);
  } else {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = state;
    message.data.data32[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
    message.data.data32[1] = above;
    message.data.data32[2] = 0;
    message.data.data32[3] = 1;           // request from a normal application
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
  }
  xcb_flush(connection);
}

}  // namespace

int Gui::Impl::windowNumberOf(const QWidget* window) const {
  for (const auto& [number, record] : windows)
    if (record.widget == window) return number;
  return kNoNumber;
}

// The program's window that has the keyboard; a drop-down's open (or just closed) list
// counts as the window that holds the drop-down.
int Gui::Impl::windowWithKeyboard() const {
  for (const QWidget* window = QApplication::activeWindow(); window;
       window = window->parentWidget() ? window->parentWidget()->window() : nullptr) {
    const int number = windowNumberOf(window);
    if (number != kNoNumber) return number;
  }
  return kNoNumber;
}

void Gui::Impl::forgetWidget(int number) {
  auto found = widgets.find(number);
  if (found == widgets.end()) return;
  QWidget* old = found->second.widget;
  widgets.erase(found);
  delete old;
}

void Gui::Impl::closeWindow(int number) {
  auto found = windows.find(number);
  if (found == windows.end()) return;
  for (auto it = widgets.begin(); it != widgets.end();)
    it = it->second.window == number ? widgets.erase(it) : std::next(it);
  TopWindow* window = found->second.widget;
  const int owner = found->second.owner;
  windows.erase(found);
  if (parent == number) parent = kNoNumber;
  delete window;  // its widgets go with it
  auto ownerRecord = windows.find(owner);
  if (ownerRecord != windows.end()) ownerRecord->second.widget->activateWindow();
}

QWidget* Gui::Impl::parentWidget() const {
  auto found = windows.find(parent);
  return found == windows.end() ? nullptr : found->second.widget;
}

int Gui::Impl::addWidget(int number, Kind kind, QWidget* created, int x, int y, int width,
                         int height, const std::string& text) {
  if (number == kAnyNumber) number = freeNumber(widgets);
  forgetWidget(number);
  created->setGeometry(x, y, width, height);
  created->show();
  // The first widget that takes the keyboard has it when its window becomes active.
  QWidget* window = created->window();
  if (!window->focusWidget() && created->focusPolicy() != Qt::NoFocus) created->setFocus();
  widgets[number] = WidgetRecord{kind, created, parent, text};
  return number == 0 ? 1 : number;
}

bool Gui::Impl::anyOnTop() const {
  return std::any_of(windows.begin(), windows.end(),
                     [](const auto& entry) { return entry.second.onTop; });
}

// The box belongs to the program's window in the foreground, else to one kept on top.
QWidget* Gui::Impl::boxOwner() const {
  QWidget* active = QApplication::activeWindow();
  if (active && windowNumberOf(active) != kNoNumber) return active;
  for (const auto& [number, record] : windows)
    if (record.onTop) return record.widget;
  return nullptr;
}

Gui::Gui() : impl_(std::make_unique<Impl>()) { ensureApplication(); }

Gui::~Gui() {
  while (!impl_->windows.empty()) impl_->closeWindow(impl_->windows.begin()->first);
}

int Gui::openWindow(int number, int width, int height, const std::string& title, int style) {
  if (width <= 0 || height <= 0) return 0;
  if (number == kAnyNumber) number = Impl::freeNumber(impl_->windows);
  impl_->closeWindow(number);

  Qt::WindowFlags flags = style == kStyleToolWindow
                              ? Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowCloseButtonHint
                              : Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  auto* window = new TopWindow(*impl_, number, flags);
  window->setWindowTitle(fromUtf8(title));
  window->setFixedSize(width, height);
  window->setBackgroundRole(QPalette::Button);
  window->setAutoFillBackground(true);
  window->setCursor(Qt::ArrowCursor);

  // The window manager adds the frame only once a window is shown, so the frame of a
  // window already open stands for this one's until its own is known.
  QSize frame(0, 0);
  for (const auto& [other, record] : impl_->windows)
    if (record.widget->isVisible()) {
      frame = record.widget->frameGeometry().size() - record.widget->size();
      break;
    }
  placeCentred(window, frame);
  window->centreWhenFramed();

  const int owner = impl_->windowWithKeyboard();
  impl_->windows[number] = Impl::WindowRecord{window, owner, false};
  // A tool window is a choice the user makes before anything else: it takes the keyboard,
  // and the program's other windows take no input until it closes.
  if (style == kStyleToolWindow) window->setWindowModality(Qt::ApplicationModal);
  window->show();
  window->raise();
  window->activateWindow();
  // The activation is handled now, before the widgets are built and the caller's loop runs.
  QCoreApplication::processEvents();
  return number == 0 ? 1 : number;
}

void Gui::useAsParent(int window) { impl_->parent = window; }

void Gui::closeWindow(int window) { impl_->closeWindow(window); }

void Gui::keepOnTop(int window, bool on) {
  auto found = impl_->windows.find(window);
  if (found == impl_->windows.end()) return;
  found->second.onTop = on;
  // Changing Qt's stays-on-top flag would hide and re-create the window, so on X11 the
  // window manager is asked directly; elsewhere (offscreen) only the state is kept.
  if (QGuiApplication::platformName() == QLatin1String("xcb"))
    setAboveX11(found->second.widget, on);
}

void Gui::enableDrop(int window) {
  auto found = impl_->windows.find(window);
  if (found != impl_->windows.end()) found->second.widget->enableDrop();
}

int Gui::addComboBox(int number, int x, int y, int width, int height) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* box = new FittingComboBox(parent);
  box->setEditable(false);
  const int result = impl_->addWidget(number, Kind::ComboBox, box, x, y, width, height);
  const int reported = number == kAnyNumber ? result : number;
  // Only a choice the user makes is an event; the program's setCurrentIndex is not.
  QObject::connect(box, &QComboBox::activated, box, [impl = impl_.get(), reported, box](int) {
    auto record = impl->widgets.find(reported);
    if (record == impl->widgets.end() || record->second.widget != box) return;
    impl->push({kEventWidget, record->second.window, reported, {}});
  });
  return result;
}

int Gui::addLabel(int number, int x, int y, int width, int height, const std::string& text) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* label = new FittingLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setShownText(labelDisplay(text));
  return impl_->addWidget(number, Kind::Label, label, x, y, width, height, text);
}

int Gui::addProgressBar(int number, int x, int y, int width, int height, int minimum,
                        int maximum) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* bar = new QProgressBar(parent);
  bar->setRange(minimum, maximum);
  bar->setValue(minimum);
  bar->setTextVisible(false);
  return impl_->addWidget(number, Kind::ProgressBar, bar, x, y, width, height);
}

namespace {
// Clicks on buttons and check boxes become widget events of their number.
void queueClicks(Gui::Impl* impl, QAbstractButton* button, int number) {
  QObject::connect(button, &QAbstractButton::clicked, button, [impl, number, button] {
    auto record = impl->widgets.find(number);
    if (record == impl->widgets.end() || record->second.widget != button) return;
    impl->push({kEventWidget, record->second.window, number, {}});
  });
}
int numberOf(int requested, int result) { return requested == kAnyNumber ? result : requested; }
}  // namespace

int Gui::addButton(int number, int x, int y, int width, int height, const std::string& caption) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* button = new QPushButton(fromUtf8(caption), parent);
  const int result = impl_->addWidget(number, Kind::Button, button, x, y, width, height, caption);
  queueClicks(impl_.get(), button, numberOf(number, result));
  return result;
}

int Gui::addCheckBox(int number, int x, int y, int width, int height, const std::string& caption) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* box = new QCheckBox(fromUtf8(caption), parent);
  const int result = impl_->addWidget(number, Kind::CheckBox, box, x, y, width, height, caption);
  queueClicks(impl_.get(), box, numberOf(number, result));
  return result;
}

int Gui::addListBox(int number, int x, int y, int width, int height) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* list = new QListWidget(parent);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // A long row is scrolled to, never shortened: its end names the folder.
  list->setTextElideMode(Qt::ElideNone);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return impl_->addWidget(number, Kind::ListBox, list, x, y, width, height);
}

int Gui::addFrame(int number, int x, int y, int width, int height, const std::string& caption) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* frame = new QGroupBox(fromUtf8(caption), parent);
  // Drawn around widgets created before it: it must neither cover them nor take their clicks.
  frame->setAttribute(Qt::WA_TransparentForMouseEvents);
  const int result = impl_->addWidget(number, Kind::Frame, frame, x, y, width, height, caption);
  frame->lower();
  return result;
}

int Gui::addFolderTree(int number, int x, int y, int width, int height,
                       const std::vector<TreeRoot>& roots,
                       std::function<void(const std::string& path, bool ticked)> onBoxChanged) {
  QWidget* parent = impl_->parentWidget();
  if (!parent) return 0;
  auto* tree = new FolderTree(parent, roots, std::move(onBoxChanged));
  return impl_->addWidget(number, Kind::FolderTree, tree, x, y, width, height);
}

void Gui::setFont(int widget, int font) {
  Impl::WidgetRecord* record = impl_->widget(widget);
  auto found = impl_->fonts.find(font);
  if (!record || found == impl_->fonts.end()) return;
  record->widget->setFont(found->second);
}

void Gui::setText(int widget, const std::string& text) {
  Impl::WidgetRecord* record = impl_->widget(widget);
  if (!record) return;
  switch (record->kind) {
    case Kind::Label:
      static_cast<FittingLabel*>(record->widget)->setShownText(labelDisplay(text));
      break;
    case Kind::Button:
    case Kind::CheckBox:
      static_cast<QAbstractButton*>(record->widget)->setText(fromUtf8(text));
      break;
    case Kind::Frame:
      static_cast<QGroupBox*>(record->widget)->setTitle(fromUtf8(text));
      break;
    default:
      return;
  }
  record->text = text;
}

std::string Gui::text(int widget) const {
  const Impl::WidgetRecord* record = impl_->widget(widget);
  if (!record) return {};
  switch (record->kind) {
    case Kind::ComboBox: {
      auto* box = static_cast<QComboBox*>(record->widget);
      return box->currentIndex() < 0 ? std::string() : toUtf8(box->currentText());
    }
    case Kind::FolderTree:
      return static_cast<FolderTree*>(record->widget)->selectedPath();
    case Kind::ListBox: {
      QListWidgetItem* item = static_cast<QListWidget*>(record->widget)->currentItem();
      return item ? toUtf8(item->text()) : std::string();
    }
    default:
      return record->text;
  }
}

void Gui::setState(int widget, int value) {
  Impl::WidgetRecord* record = impl_->widget(widget);
  if (!record) return;
  switch (record->kind) {
    case Kind::ComboBox:
      static_cast<QComboBox*>(record->widget)->setCurrentIndex(value);
      break;
    case Kind::ProgressBar:
      static_cast<QProgressBar*>(record->widget)->setValue(value);
      break;
    case Kind::CheckBox:
      static_cast<QCheckBox*>(record->widget)->setChecked(value != 0);
      break;
    case Kind::ListBox:
      static_cast<QListWidget*>(record->widget)->setCurrentRow(value);
      break;
    default:
      break;
  }
}

int Gui::state(int widget) const {
  const Impl::WidgetRecord* record = impl_->widget(widget);
  if (!record) return 0;
  switch (record->kind) {
    case Kind::ComboBox:
      return static_cast<QComboBox*>(record->widget)->currentIndex();
    case Kind::ProgressBar:
      return static_cast<QProgressBar*>(record->widget)->value();
    case Kind::CheckBox:
      return static_cast<QCheckBox*>(record->widget)->isChecked() ? 1 : 0;
    case Kind::ListBox:
      return static_cast<QListWidget*>(record->widget)->currentRow();
    default:
      return 0;
  }
}

void Gui::addItem(int widget, int position, const std::string& text) {
  if (auto* box = impl_->as<QComboBox>(widget, Kind::ComboBox)) {
    // Qt selects the first item added to an empty box; this layer starts with no choice.
    const bool noChoice = box->currentIndex() < 0;
    const int at = position < 0 || position > box->count() ? box->count() : position;
    box->insertItem(at, fromUtf8(text));
    box->setItemData(at, fromUtf8(text), Qt::ToolTipRole);
    if (noChoice) box->setCurrentIndex(-1);
  } else if (auto* list = impl_->as<QListWidget>(widget, Kind::ListBox)) {
    const int at = position < 0 || position > list->count() ? list->count() : position;
    list->insertItem(at, fromUtf8(text));
  }
}

void Gui::setItemTip(int widget, int position, const std::string& tip) {
  auto* list = impl_->as<QListWidget>(widget, Kind::ListBox);
  if (list && position >= 0 && position < list->count()) list->item(position)->setToolTip(fromUtf8(tip));
}

void Gui::removeItem(int widget, int position) {
  if (auto* box = impl_->as<QComboBox>(widget, Kind::ComboBox)) {
    if (position >= 0 && position < box->count()) box->removeItem(position);
  } else if (auto* list = impl_->as<QListWidget>(widget, Kind::ListBox)) {
    if (position >= 0 && position < list->count()) delete list->takeItem(position);
  }
}

void Gui::clearItems(int widget) {
  if (auto* box = impl_->as<QComboBox>(widget, Kind::ComboBox)) box->clear();
  else if (auto* list = impl_->as<QListWidget>(widget, Kind::ListBox)) list->clear();
}

void Gui::disable(int widget, bool disabled) {
  if (Impl::WidgetRecord* record = impl_->widget(widget)) record->widget->setEnabled(!disabled);
}

int Gui::loadFont(const std::string& face, int points) {
  if (points <= 0) return 0;
  QFont font(fromUtf8(face));
  font.setPointSize(points);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  const int number = impl_->fonts.empty() ? 1 : impl_->fonts.rbegin()->first + 1;
  impl_->fonts[number] = font;
  return number;
}

int Gui::screenDpi() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? qRound(screen->logicalDotsPerInchY()) : 0;
}

std::string Gui::defaultFontFace() const { return toUtf8(QApplication::font().family()); }

int Gui::waitEvent(int ms) {
  impl_->last = Event{};
  if (impl_->queue.empty()) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (ms >= 0) timer.start(ms);
    impl_->waiting.push_back(&loop);
    loop.exec();
    impl_->waiting.erase(std::find(impl_->waiting.begin(), impl_->waiting.end(), &loop));
  }
  return impl_->pop();
}

int Gui::pollEvent() {
  impl_->last = Event{};
  QCoreApplication::processEvents();
  return impl_->pop();
}

int Gui::eventWindow() const { return impl_->last.window; }
int Gui::eventWidget() const { return impl_->last.widget; }
std::string Gui::droppedFiles() const { return impl_->last.dropped; }

void Gui::drainEvents() {
  const auto now = std::chrono::steady_clock::now();
  if (now - impl_->lastDrain < std::chrono::milliseconds(15)) return;
  discardPendingEvents();
}

void Gui::discardPendingEvents() {
  while (pollEvent() != kEventNone) pause(1);
  impl_->lastDrain = std::chrono::steady_clock::now();
}

namespace {
// Room for the window manager's icon and buttons beside a title, pixels.
constexpr int kTitleBarExtras = 150;

// A window manager cuts a title wider than the box: the box is made wide enough for it,
// measured in a bold face of the box's font as title bars draw it.
void keepTitleWhole(QMessageBox& box) {
  QFont bold = box.font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kTitleBarExtras;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}
}  // namespace

int Gui::messageBox(const std::string& title, const std::string& text, int kind,
                    const std::string& detail) {
  impl_->shown.push_back({title, text, kind, detail});
  if (!impl_->answers.empty()) {
    const int answer = impl_->answers.front();
    impl_->answers.pop_front();
    return answer;
  }

  const bool retryCancel = kind == kBoxWarningRetryCancel;
  QMessageBox box(retryCancel ? QMessageBox::Warning : QMessageBox::Critical, fromUtf8(title),
                  fromUtf8(text), QMessageBox::NoButton, impl_->boxOwner());
  // A box must not hide behind a window that stays above the others.
  if (impl_->anyOnTop()) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  box.setInformativeText(fromUtf8(detail));
  keepTitleWhole(box);
  if (retryCancel) {
    QPushButton* retry = box.addButton(QMessageBox::Retry);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(retry);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == retry ? kAnswerRetry : kAnswerCancel;
  }
  box.setEscapeButton(box.addButton(QMessageBox::Ok));
  box.exec();
  return kAnswerOk;
}

void scriptAnswers(Gui& gui, std::vector<int> answers) {
  Gui::Impl* impl = TestAccess::impl(gui);
  impl->answers.assign(answers.begin(), answers.end());
}

const std::vector<MessageRecord>& shownBoxes(const Gui& gui) { return TestAccess::impl(gui)->shown; }

void Gui::endProgram() { throw ProgramEnd{}; }

std::string documentsFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  std::string path = QFile::encodeName(folder).toStdString();
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string displayProblem() {
  const char* platformName = std::getenv("QT_QPA_PLATFORM");
  if (platformName && *platformName && std::strncmp(platformName, "xcb", 3) != 0) return {};
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (!platformName && wayland && *wayland) return {};
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return "no display: DISPLAY is not set (start it in a desktop session)";
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool reached = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return reached ? std::string() : std::string("cannot open the display ") + display;
}

bool isKeptOnTop(const Gui& gui, int window) {
  const Gui::Impl* impl = TestAccess::impl(gui);
  auto found = impl->windows.find(window);
  return found != impl->windows.end() && found->second.onTop;
}

int itemCount(const Gui& gui, int widget) {
  const Gui::Impl* impl = TestAccess::impl(gui);
  if (auto* box = impl->as<QComboBox>(widget, Kind::ComboBox)) return box->count();
  if (auto* list = impl->as<QListWidget>(widget, Kind::ListBox)) return list->count();
  return 0;
}

std::string itemText(const Gui& gui, int widget, int position) {
  const Gui::Impl* impl = TestAccess::impl(gui);
  if (auto* box = impl->as<QComboBox>(widget, Kind::ComboBox)) {
    if (position >= 0 && position < box->count()) return toUtf8(box->itemText(position));
  } else if (auto* list = impl->as<QListWidget>(widget, Kind::ListBox)) {
    if (position >= 0 && position < list->count()) return toUtf8(list->item(position)->text());
  }
  return {};
}

bool isDisabled(const Gui& gui, int widget) {
  const Gui::Impl* impl = TestAccess::impl(gui);
  const Gui::Impl::WidgetRecord* record = impl->widget(widget);
  return record && !record->widget->isEnabled();
}

QWidget* qtWindow(Gui& gui, int window) {
  auto found = TestAccess::impl(gui)->windows.find(window);
  return found == TestAccess::impl(gui)->windows.end() ? nullptr : found->second.widget;
}

QWidget* qtWidget(Gui& gui, int widget) {
  Gui::Impl::WidgetRecord* record = TestAccess::impl(gui)->widget(widget);
  return record ? record->widget : nullptr;
}

bool shownWhole(Gui& gui, int widget) {
  QWidget* target = qtWidget(gui, widget);
  if (auto* label = dynamic_cast<FittingLabel*>(target)) return !label->cut();
  QCoreApplication::processEvents();  // lays out the rows
  if (auto* box = qobject_cast<QComboBox*>(target)) {
    const QFontMetrics metrics = box->view()->fontMetrics();
    for (int i = 0; i < box->count(); ++i)
      if (metrics.horizontalAdvance(box->itemText(i)) > box->view()->viewport()->width()) return false;
    return box->view()->textElideMode() == Qt::ElideNone;
  }
  if (auto* list = qobject_cast<QListWidget*>(target)) {
    if (list->textElideMode() != Qt::ElideNone) return false;
    const int reach = list->horizontalScrollBar()->maximum() + list->viewport()->width();
    for (int i = 0; i < list->count(); ++i)
      if (list->fontMetrics().horizontalAdvance(list->item(i)->text()) > reach) return false;
    return true;
  }
  return false;
}

std::string shownText(Gui& gui, int widget) {
  auto* box = dynamic_cast<FittingComboBox*>(qtWidget(gui, widget));
  return box ? toUtf8(box->shownText()) : std::string();
}

}  // namespace platform
