// The numbered window/widget/event layer carried on Qt Widgets: records behind the numbers,
// one queue that Qt's signals and handlers fill, and message boxes with their test seam.
#include "platform/gui.h"

#include "platform/files.h"
#include "platform/gui_qt_internal.h"

// The icon lives in a resource of this static library; the linker keeps it only when asked.
static void initIconResource() { Q_INIT_RESOURCE(burnshelf); }

namespace platform {

// The status text joins its lines with "\n\r"; a label shows plain line breaks.
QString labelDisplay(const std::string& text) {
  QString shown = fromUtf8(text);
  shown.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

namespace {

// A drop-down as a screen reader meets it: its own name ("Staging drive") and its choice as
// value. On Linux Qt names a drop-down by its choice and leaves its name to a label that
// points at it, which the fixed layout has none of.
class ComboAccessible : public QAccessibleWidget {
 public:
  explicit ComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && !box()->accessibleName().isEmpty()) return box()->accessibleName();
    if (t == QAccessible::Name || t == QAccessible::Value) return box()->currentText();
    return QAccessibleWidget::text(t);
  }
  // The open list, whose chosen row a screen reader reads as the choice.
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child->object() == box()->view() ? 0 : -1;
  }
  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  void doAction(const QString& action) override {
    if (action == showMenuAction() || action == pressAction()) box()->showPopup();
  }

 private:
  QComboBox* box() const { return static_cast<QComboBox*>(object()); }
};

// Screen readers meet the program's windows as what they are, the main window a window and
// the folder window a dialog (a plain QWidget would be a "filler"), and its drop-downs named.
QAccessibleInterface* accessibleOf(const QString&, QObject* object) {
  if (auto* window = dynamic_cast<TopWindow*>(object))
    return new QAccessibleWidget(window, window->accessibleRole());
  if (auto* box = dynamic_cast<FittingComboBox*>(object)) return new ComboAccessible(box);
  return nullptr;
}

}  // namespace

QApplication* ensureApplication() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
  // Qt keeps references to argc/argv for the application's lifetime.
  static int argc = 1;
  static char name[] = "burnshelf";
  static char* argv[] = {name, nullptr};
  // Lives until the process ends, so tests may build and drop several Gui objects in a row.
  auto* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  QAccessible::installFactory(accessibleOf);
  initIconResource();
  app->setWindowIcon(QIcon(QStringLiteral(":/burnshelf.png")));  // every window shows it
  return app;
}

void placeCentred(QWidget* window, QSize frame) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const int outerWidth = std::min(window->width() + frame.width(), area.width());
  const int outerHeight = std::min(window->height() + frame.height(), area.height());
  window->move(area.x() + (area.width() - outerWidth) / 2,
               area.y() + (area.height() - outerHeight) / 2);
}

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
  window->setAccessibleRole(style == kStyleToolWindow ? QAccessible::Dialog : QAccessible::Window);
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

bool Gui::isActive(int window) const { return impl_->windowWithKeyboard() == window; }

void Gui::watchProgress(std::function<void(int)> watcher) { impl_->progressWatcher = std::move(watcher); }

void Gui::watchBoxes(std::function<void(const std::string&, const std::string&)> watcher) {
  impl_->boxWatcher = std::move(watcher);
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
  auto* button = new ReturnButton(fromUtf8(caption), parent);
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
  auto* tree = newFolderTree(parent, roots, std::move(onBoxChanged));
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
      return selectedTreePath(record->widget);
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
    case Kind::ProgressBar: {
      auto* bar = static_cast<QProgressBar*>(record->widget);
      if (bar->value() == value) break;
      bar->setValue(value);
      if (impl_->progressWatcher) impl_->progressWatcher(bar->value());
      break;
    }
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

void Gui::setClosedText(int widget, int position, const std::string& name, const std::string& tail) {
  auto* box = impl_->as<QComboBox>(widget, Kind::ComboBox);
  if (!box || position < 0 || position >= box->count()) return;
  box->setItemData(position, fromUtf8(name), FittingComboBox::kClosedNameRole);
  box->setItemData(position, fromUtf8(tail), FittingComboBox::kClosedTailRole);
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

void Gui::setAccessibleName(int widget, const std::string& name) {
  Impl::WidgetRecord* record = impl_->widget(widget);
  if (!record) return;
  record->widget->setAccessibleName(fromUtf8(name));
  // The tree's header is hidden, yet a screen reader meets it: it says what the tree shows.
  if (record->kind == Kind::FolderTree)
    static_cast<QTreeWidget*>(record->widget)->setHeaderLabel(fromUtf8(name));
  if (record->kind == Kind::Label)
    static_cast<FittingLabel*>(record->widget)->setShownText(labelDisplay(record->text));
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

void Gui::refreshWindow() {
  const auto now = std::chrono::steady_clock::now();
  if (now - impl_->lastDrain < std::chrono::milliseconds(15)) return;
  discardPendingEvents();
}

void Gui::discardPendingEvents() {
  while (pollEvent() != kEventNone) pause(1);
  impl_->lastDrain = std::chrono::steady_clock::now();
}

void Gui::endProgram() { throw ProgramEnd{}; }

std::vector<std::string> userFolders() {
  std::vector<std::string> folders;
  auto add = [&folders](const QString& folder) {
    if (folder.isEmpty() || !QDir(folder).exists()) return;
    std::string path = QFile::encodeName(QDir::cleanPath(folder)).toStdString();
    if (path.back() != '/') path += '/';
    // A standard folder set to the home folder itself (as user-dirs.dirs allows) is shown once.
    if (std::find(folders.begin(), folders.end(), path) == folders.end()) folders.push_back(path);
  };
  add(QDir::homePath());
  for (auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                        QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation,
                        QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation})
    add(QStandardPaths::writableLocation(location));
  return folders;
}

}  // namespace platform
