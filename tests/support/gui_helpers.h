// Drives numbered windows and widgets the way a user does (clicks, keys, drops, the close
// box), through the Qt objects behind the numbers. Header-only; needs Qt Test.
#pragma once
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "platform/gui.h"
#include "platform/gui_test_access.h"

namespace testing_support {

// A left click in the middle of the widget (on a check box: on its box); false when the
// number does not exist.
inline bool clickWidget(platform::Gui& gui, int widget) {
  QWidget* target = platform::qtWidget(gui, widget);
  if (!target) return false;
  QPoint at = target->rect().center();
  if (qobject_cast<QCheckBox*>(target))
    at.setX(target->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, target) / 2 + 1);
  QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
  return true;
}

// Opens the drop-down's list, moves to item index and presses Return, as a user picks an
// item (also the one already shown). False when the widget is no drop-down or index is out.
inline bool chooseComboItem(platform::Gui& gui, int widget, int index) {
  auto* combo = qobject_cast<QComboBox*>(platform::qtWidget(gui, widget));
  if (!combo || index < 0 || index >= combo->count()) return false;
  combo->showPopup();
  QAbstractItemView* list = combo->view();
  list->setCurrentIndex(combo->model()->index(index, combo->modelColumn()));
  QTest::keyClick(list, Qt::Key_Return);
  return true;
}

// The window's close box: a close request delivered to the window.
inline bool requestClose(platform::Gui& gui, int window) {
  QWidget* target = platform::qtWindow(gui, window);
  return target && (target->close(), true);
}

// Drops local files onto the window at its centre, in the given order.
inline bool dropFiles(platform::Gui& gui, int window, const std::vector<std::string>& paths) {
  QWidget* target = platform::qtWindow(gui, window);
  if (!target) return false;
  QMimeData data;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

// The folder tree behind a widget number, or nullptr.
inline QTreeWidget* folderTree(platform::Gui& gui, int tree) {
  return qobject_cast<QTreeWidget*>(platform::qtWidget(gui, tree));
}

// The node whose path is path ("" is the top node), searching only nodes listed so far.
inline QTreeWidgetItem* treeNode(platform::Gui& gui, int tree, const std::string& path) {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view) return nullptr;
  for (QTreeWidgetItemIterator it(view); *it; ++it)
    if ((*it)->data(0, Qt::UserRole).toByteArray().toStdString() == path) return *it;
  return nullptr;
}

// The labels of a node's children as listed now (opening the node first lists them).
inline std::vector<std::string> treeChildren(QTreeWidgetItem* node) {
  std::vector<std::string> labels;
  for (int i = 0; node && i < node->childCount(); ++i)
    labels.push_back(node->child(i)->text(0).toStdString());
  return labels;
}

// Opens a node as a click on its expand button would.
inline void openTreeNode(platform::Gui& gui, int tree, QTreeWidgetItem* node) {
  if (QTreeWidget* view = folderTree(gui, tree)) view->expandItem(node);
}

// A left click on the node's check box.
inline bool clickTreeBox(platform::Gui& gui, int tree, QTreeWidgetItem* node) {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view || !node) return false;
  view->scrollToItem(node);
  QStyleOptionViewItem option;
  option.initFrom(view->viewport());
  option.rect = view->visualItemRect(node);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  return true;
}

// A left click on the node's label (selects it, leaves its box as it is).
inline bool clickTreeLabel(platform::Gui& gui, int tree, QTreeWidgetItem* node) {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view || !node) return false;
  view->scrollToItem(node);
  const QRect row = view->visualItemRect(node);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(row.right() - 2, row.center().y()));
  return true;
}

// The space key in the tree (acts on the selected node).
inline bool pressSpaceInTree(platform::Gui& gui, int tree) {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view) return false;
  view->setFocus();
  QTest::keyClick(view, Qt::Key_Space);
  return true;
}

}  // namespace testing_support
