#include "ui/list_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace corvane {

namespace {

// The delegate's own layout of an item, so a click can be told to be on the check box.
class ListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  using QStyledItemDelegate::initStyleOption;
};

}  // namespace

ListView::ListView(ListModel& model, bool checkBoxes, QWidget* parent)
    : QTreeWidget(parent), model_(model), checkBoxes_(checkBoxes) {
  setItemDelegate(new ListDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  model_.SetObserver({[this] { schedule(); },
                      [this](int pos) {
                        SyncNow();
                        if (QTreeWidgetItem* item = topLevelItem(pos - 1)) scrollToItem(item);
                      }});
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { currentChanged(current); });
  connect(this, &QTreeWidget::itemChanged, this, &ListView::itemChangedByUser);
  SyncNow();
}

ListView::~ListView() { model_.SetObserver({}); }

void ListView::SetImages(std::vector<QIcon> images) {
  images_ = std::move(images);
  // Redraw every entry with the new images.
  syncing_ = true;
  for (int i = 0; i < topLevelItemCount() && i < static_cast<int>(shown_.size()); ++i) fill(topLevelItem(i), shown_[static_cast<size_t>(i)]);
  syncing_ = false;
}

void ListView::schedule() {
  if (pending_) return;
  pending_ = true;
  QMetaObject::invokeMethod(
      this, [this] { if (pending_) SyncNow(); }, Qt::QueuedConnection);
}

void ListView::fill(QTreeWidgetItem* item, const ListEntry& e) const {
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (checkBoxes_) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  item->setText(0, QString::fromStdString(e.text));
  if (columnCount() > 1) item->setText(1, QString::fromStdString(e.subText));
  const bool hasImage = e.icon >= 1 && e.icon <= static_cast<int>(images_.size());
  item->setIcon(0, hasImage ? images_[static_cast<size_t>(e.icon - 1)] : QIcon());
  if (checkBoxes_) item->setCheckState(0, e.checked ? Qt::Checked : Qt::Unchecked);
}

void ListView::SyncNow() {
  pending_ = false;
  syncing_ = true;
  const int n = model_.Count();
  const int m = static_cast<int>(shown_.size());
  if (n == 0) {
    clear();
    shown_.clear();
  } else {
    // Only the entries between an unchanged beginning and an unchanged end are touched.
    auto same = [&](int i, int j) {
      const ListEntry& a = model_.Item(i + 1);
      const ListEntry& b = shown_[static_cast<size_t>(j)];
      return a.checked == b.checked && a.icon == b.icon && a.text == b.text && a.subText == b.subText;
    };
    int head = 0;
    while (head < n && head < m && same(head, head)) ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head && same(n - 1 - tail, m - 1 - tail)) ++tail;
    const int oldMid = m - head - tail, newMid = n - head - tail, common = std::min(oldMid, newMid);
    for (int k = 0; k < common; ++k) {
      const ListEntry& e = model_.Item(head + k + 1);
      fill(topLevelItem(head + k), e);
      shown_[static_cast<size_t>(head + k)] = e;
    }
    if (oldMid > newMid) {
      for (int k = common; k < oldMid; ++k) delete takeTopLevelItem(head + common);
      shown_.erase(shown_.begin() + head + common, shown_.begin() + head + oldMid);
    } else if (newMid > oldMid) {
      QList<QTreeWidgetItem*> items;
      std::vector<ListEntry> entries;
      for (int k = common; k < newMid; ++k) {
        const ListEntry& e = model_.Item(head + k + 1);
        auto* item = new QTreeWidgetItem;
        fill(item, e);
        items.append(item);
        entries.push_back(e);
      }
      insertTopLevelItems(head + common, items);
      shown_.insert(shown_.begin() + head + common, entries.begin(), entries.end());
    }
  }
  const int selected = model_.SelectedIndex();
  QTreeWidgetItem* want = selected ? topLevelItem(selected - 1) : nullptr;
  if (want) {
    if (currentItem() != want || !want->isSelected()) setCurrentItem(want);
  } else {
    setCurrentItem(nullptr);
    clearSelection();
  }
  syncing_ = false;
}

void ListView::currentChanged(QTreeWidgetItem* current) {
  if (syncing_ || !current) return;
  const int row = indexOfTopLevelItem(current);
  if (row >= 0 && row < model_.Count() && model_.SelectedIndex() != row + 1) model_.Select(row + 1);
}

void ListView::itemChangedByUser(QTreeWidgetItem* item, int column) {
  if (syncing_ || !checkBoxes_ || column != 0) return;
  const int row = indexOfTopLevelItem(item);
  if (row < 0 || row >= static_cast<int>(shown_.size()) || row >= model_.Count()) return;
  const bool checked = item->checkState(0) == Qt::Checked;
  if (shown_[static_cast<size_t>(row)].checked == checked) return;
  shown_[static_cast<size_t>(row)].checked = checked;
  model_.SetChecked(row + 1, checked);
}

bool ListView::onCheckBox(const QPoint& pos, QTreeWidgetItem** item) const {
  if (!checkBoxes_) return false;
  const QModelIndex index = indexAt(pos);
  if (!index.isValid() || index.column() != 0) return false;
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  static_cast<ListDelegate*>(itemDelegate())->initStyleOption(&opt, index);
  const QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
  if (!box.contains(pos)) return false;
  *item = itemFromIndex(index);
  return *item != nullptr;
}

void ListView::mousePressEvent(QMouseEvent* e) {
  if (pending_) SyncNow();
  swallowRelease_ = false;
  const QPoint pos = e->position().toPoint();
  QTreeWidgetItem* item = nullptr;
  if (e->button() == Qt::LeftButton && onCheckBox(pos, &item)) {
    // Ticking leaves the selection where it is.
    setFocus(Qt::MouseFocusReason);
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    swallowRelease_ = true;
    e->accept();
    return;
  }
  // Only a left click on an entry chooses it; elsewhere the selection stays.
  if (e->button() != Qt::LeftButton || !indexAt(pos).isValid()) {
    setFocus(Qt::MouseFocusReason);
    swallowRelease_ = true;
    e->accept();
    return;
  }
  // The press chooses the entry, so the choice is reported at once: a release elsewhere
  // cannot leave an entry selected whose click was never reported.
  QTreeWidget::mousePressEvent(e);
  if (currentItem()) emit ItemClick();
}

void ListView::mouseMoveEvent(QMouseEvent* e) {
  // Dragging with the button held does not carry the selection along.
  if (e->buttons() & Qt::LeftButton) {
    e->accept();
    return;
  }
  QTreeWidget::mouseMoveEvent(e);
}

void ListView::mouseReleaseEvent(QMouseEvent* e) {
  if (swallowRelease_) {
    swallowRelease_ = false;
    e->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(e);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* e) {
  swallowRelease_ = true;
  e->accept();
  if (e->button() != Qt::LeftButton) return;
  QTreeWidgetItem* item = nullptr;
  if (onCheckBox(e->position().toPoint(), &item)) {
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    return;
  }
  emit DblClick();
}

void ListView::keyPressEvent(QKeyEvent* e) {
  if (pending_) SyncNow();
  QTreeWidgetItem* before = currentItem();
  QTreeWidget::keyPressEvent(e);
  QTreeWidgetItem* after = currentItem();
  if (after && after != before) emit ItemClick();
}

namespace {

// The local files and folders a drag carries, in its order.
QStringList DroppedPaths(const QMimeData* mime) {
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths << url.toLocalFile();
  return paths;
}

}  // namespace

void ListView::SetAcceptFileDrops(bool accept) {
  fileDrops_ = accept;
  setAcceptDrops(accept);
  viewport()->setAcceptDrops(accept);
}

void ListView::dragEnterEvent(QDragEnterEvent* e) {
  if (!fileDrops_) return QTreeWidget::dragEnterEvent(e);
  if (DroppedPaths(e->mimeData()).isEmpty()) return e->ignore();
  // Always a copy: a file manager told "move" would take the files away.
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void ListView::dragMoveEvent(QDragMoveEvent* e) {
  if (!fileDrops_) return QTreeWidget::dragMoveEvent(e);
  if (DroppedPaths(e->mimeData()).isEmpty()) return e->ignore();
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void ListView::dropEvent(QDropEvent* e) {
  if (!fileDrops_) return QTreeWidget::dropEvent(e);
  const QStringList paths = DroppedPaths(e->mimeData());
  if (paths.isEmpty()) return e->ignore();
  e->setDropAction(Qt::CopyAction);
  e->accept();
  // Reading the workbooks may show messages; that waits until the drag has ended.
  QMetaObject::invokeMethod(this, [this, paths] { emit OLEDragDrop(paths); }, Qt::QueuedConnection);
}

}  // namespace corvane
