// The main window's lists: a detail list that shows a ListModel and hands the user's clicks,
// ticks and drops back to it.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "lists/list_model.h"

namespace corvane {

// A detail list showing one ListModel. The model is the truth: the view follows its
// changes (gathered and applied once control returns to the event loop, or at once with
// SyncNow), and the user's clicks and ticks go back into it. A click on an entry's check
// box only ticks it; it does not select the entry.
class ListView : public QTreeWidget {
  Q_OBJECT
 public:
  ListView(ListModel& model, bool checkBoxes, QWidget* parent = nullptr);
  ~ListView() override;
  ListModel& model() const { return model_; }
  // Small icons for the icon indices 1, 2, ... of the entries.
  void SetImages(std::vector<QIcon> images);
  // Brings the view up to date with the model now.
  void SyncNow();
  bool SyncPending() const { return pending_; }
  // Lets files and folders be dropped on the list from the desktop's file manager.
  void SetAcceptFileDrops(bool accept);

 signals:
  // The user chose an entry by pressing on it (the selected one too) or by moving to it with
  // the keyboard; the model has it selected.
  void ItemClick();
  // A double click anywhere in the list except on a check box.
  void DblClick();
  // Local files and folders were dropped on the list, in the order the drag gave them.
  // Sent once the drop itself has ended, so the drag source is not kept waiting.
  void OLEDragDrop(const QStringList& paths);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void schedule();
  bool onCheckBox(const QPoint& pos, QTreeWidgetItem** item) const;
  void fill(QTreeWidgetItem* item, const ListEntry& e) const;
  void currentChanged(QTreeWidgetItem* current);
  void itemChangedByUser(QTreeWidgetItem* item, int column);

  ListModel& model_;
  bool checkBoxes_;
  std::vector<QIcon> images_;
  std::vector<ListEntry> shown_;  // what the items show, entry by entry
  bool pending_ = false;
  bool syncing_ = false;
  bool swallowRelease_ = false;
  bool fileDrops_ = false;
};

}  // namespace corvane
