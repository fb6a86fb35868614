#include "lists/list_model.h"

#include <stdexcept>

namespace corvane {

ListEntry& ListModel::Item(int pos) {
  if (pos < 1 || pos > Count()) throw std::out_of_range("list position " + std::to_string(pos));
  return entries_[static_cast<size_t>(pos - 1)];
}

const ListEntry& ListModel::Item(int pos) const { return const_cast<ListModel*>(this)->Item(pos); }

int ListModel::Add(ListEntry entry) { return Add(Count() + 1, std::move(entry)); }

int ListModel::Add(int pos, ListEntry entry) {
  if (pos < 1 || pos > Count() + 1) throw std::out_of_range("list position " + std::to_string(pos));
  entries_.insert(entries_.begin() + (pos - 1), std::move(entry));
  if (entries_.size() == 1) selected_ = 1;
  else if (selected_ >= pos) ++selected_;
  notify();
  return pos;
}

void ListModel::Remove(int pos) {
  if (pos < 1 || pos > Count()) throw std::out_of_range("list position " + std::to_string(pos));
  entries_.erase(entries_.begin() + (pos - 1));
  if (selected_ == pos) selected_ = 0;
  else if (selected_ > pos) --selected_;
  notify();
}

void ListModel::Clear() {
  entries_.clear();
  selected_ = 0;
  notify();
}

void ListModel::Select(int pos) {
  if (pos < 1 || pos > Count()) throw std::out_of_range("list position " + std::to_string(pos));
  selected_ = pos;
  notify();
}

void ListModel::SetChecked(int pos, bool checked) {
  Item(pos).checked = checked;
  notify();
}

void ListModel::EnsureVisible(int pos) {
  if (observer_.ensureVisible) observer_.ensureVisible(pos);
}

void ListModel::Refresh() { notify(); }

}  // namespace corvane
