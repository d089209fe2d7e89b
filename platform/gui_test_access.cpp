// What tests and the benchmark reach inside the widget layer (gui_test_access.h).
#include "platform/gui_test_access.h"

#include "platform/gui_qt_internal.h"

namespace platform {

void scriptAnswers(Gui& gui, std::vector<int> answers) {
  Gui::Impl* impl = TestAccess::impl(gui);
  impl->answers.assign(answers.begin(), answers.end());
}

const std::vector<MessageRecord>& shownBoxes(const Gui& gui) { return TestAccess::impl(gui)->shown; }

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
  if (auto* tree = qobject_cast<QTreeWidget*>(target)) {
    if (tree->textElideMode() != Qt::ElideNone) return false;
    const int reach = tree->horizontalScrollBar()->maximum() + tree->viewport()->width();
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
      const QRect row = tree->visualItemRect(*it);
      const int textEnd = row.left() + tree->horizontalScrollBar()->value() +
                          tree->fontMetrics().horizontalAdvance((*it)->text(0));
      if (!row.isEmpty() && textEnd > reach) return false;
    }
    return true;
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
