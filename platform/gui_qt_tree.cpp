// The folder tree: a node per folder with a check box, filled with its subfolders when first
// opened, in the order the desktop's file manager uses.
#include "platform/files.h"
#include "platform/gui_qt_internal.h"

namespace platform {
namespace {

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
    // A name wider than the tree is scrolled to, never shortened; its node's tooltip is the
    // whole path.
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

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
    if (!path.isEmpty()) item->setToolTip(0, QString::fromUtf8(path));
    // The expand button shows before the subfolders are known.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
  }

  static bool shownFolder(const FolderListing& scan) {
    return scan.type() == EntryType::kFolder && !scan.name().empty() && scan.name()[0] != '.';
  }
  // True when path holds a folder the tree would show: only then has it an expand button.
  static bool hasShownSubfolder(const std::string& path) {
    FolderListing scan(path);
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
    FolderListing scan(path);
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

}  // namespace

QWidget* newFolderTree(QWidget* parent, const std::vector<TreeRoot>& roots,
                       std::function<void(const std::string&, bool)> onBoxChanged) {
  return new FolderTree(parent, roots, std::move(onBoxChanged));
}

std::string selectedTreePath(QWidget* tree) { return static_cast<FolderTree*>(tree)->selectedPath(); }

}  // namespace platform
