// The four lists of the main window as plain data: ordered entries numbered from 1,
// duplicates allowed, at most one selected entry. Views observe them; nothing here
// needs a window.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvane {

// Icon indices of source entries.
inline constexpr int kIconWorkbook = 1;
inline constexpr int kIconFolder = 2;
inline constexpr int kIconNothing = 3;

struct ListEntry {
  std::string text;     // first column: a path, a file name or a sheet name
  std::string subText;  // second column (merge list: the sheet name)
  int icon = 0;         // source list: kIconWorkbook, kIconFolder or kIconNothing
  bool checked = false;
};

class ListModel {
 public:
  int Count() const { return static_cast<int>(entries_.size()); }
  // Entry `pos`, 1 to Count().
  ListEntry& Item(int pos);
  const ListEntry& Item(int pos) const;
  // Appends an entry and returns its position. An entry appended to an empty list becomes
  // the selected one.
  int Add(ListEntry entry);
  // Inserts at `pos` (1 to Count() + 1); the entries from there on move down by one.
  int Add(int pos, ListEntry entry);
  void Remove(int pos);
  // Removes every entry; no selection remains.
  void Clear();
  // Position of the selected entry, 0 when there is none.
  int SelectedIndex() const { return selected_; }
  // The selected entry, or nullptr. A list with entries but no selection reads as empty.
  const ListEntry* SelectedItem() const { return selected_ ? &entries_[static_cast<size_t>(selected_ - 1)] : nullptr; }
  void Select(int pos);
  void SetChecked(int pos, bool checked);
  // Asks the view to bring `pos` into sight.
  void EnsureVisible(int pos);
  // Asks the view to redraw.
  void Refresh();

  // What a view listens to; every change of entries or selection calls `changed`.
  struct Observer {
    std::function<void()> changed;
    std::function<void(int)> ensureVisible;
  };
  void SetObserver(Observer o) { observer_ = std::move(o); }

 private:
  void notify() {
    if (observer_.changed) observer_.changed();
  }
  std::vector<ListEntry> entries_;
  int selected_ = 0;
  Observer observer_;
};

// The four lists that lead from files on disk to a merge.
struct MainLists {
  ListModel sources;    // full paths of workbook files and folders, with icons
  ListModel workbooks;  // bare file names of the selected source's workbooks
  ListModel sheets;     // worksheet names of the selected workbook
  ListModel merges;     // workbook path + sheet name, ticked
};

}  // namespace corvane
