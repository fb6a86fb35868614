#include "lists/list_commands.h"

#include <strings.h>

#include <exception>
#include <memory>

#include "engine/automation/spreadsheet_automation.h"
#include "lists/path_functions.h"

namespace corvane {

namespace {

// Reads the worksheet names of workbook `path` in a new hidden application of its own:
// `each(position, name)` for every worksheet in tab order, then `done()`, then the workbook
// is closed and the application quit. The first failure on the way abandons the rest: the
// workbook is closed if it was opened, the application quit if it was created, and the user
// sees the failure's own description and then "Open excel file failed!".
template <class Each, class Done>
void ReadWorksheetNames(const std::string& path, Messages& messages, Each each, Done done) {
  std::shared_ptr<Application> app;
  Workbook* book = nullptr;
  std::string description;
  try {
    app = Application::Create();
    book = &app->Workbooks().Open(path);
    app->SetDisplayAlerts(false);
    const int32_t n = book->Worksheets().Count();
    for (int32_t i = 1; i <= n; ++i) each(i, book->Worksheets()(i).Name());
    done();
    book->Close();
    book = nullptr;
    app->Quit();
    return;
  } catch (const std::exception& e) {
    description = e.what();
  } catch (...) {
    description = "An unknown error occurred while reading \"" + path + "\".";
  }
  if (book) {
    try {
      book->Close();
    } catch (...) {
    }
  }
  if (app) {
    try {
      app->Quit();
    } catch (...) {
    }
  }
  app.reset();
  messages.Show(description, MessageIcon::Critical);
  messages.Show(kOpenExcelFileFailed, MessageIcon::Critical);
}

bool HasWorkbookExtension(const std::string& path) {
  const std::string name = FileNameOf(path);
  const auto dot = name.rfind('.');
  return dot != std::string::npos && strncasecmp(name.c_str() + dot + 1, "xl", 2) == 0;
}

// Moves the selected entry of `list` one place by `step` (-1 up, +1 down), re-creating it
// with the fields `carry` keeps. Nothing at the ends or without a selection.
template <class Carry>
void MoveSelected(ListModel& list, int step, Carry carry) {
  const int n = list.Count();
  if (n == 0) return;
  const int k = list.SelectedIndex();
  if (k == 0) return;
  if (step < 0 ? k <= 1 : k >= n) return;
  ListEntry kept = carry(list.Item(k));
  list.Remove(k);
  const int pos = list.Add(k + step, std::move(kept));
  list.Select(pos);
  list.EnsureVisible(pos);
}

ListEntry MergeFields(const ListEntry& e) { return ListEntry{e.text, e.subText, 0, e.checked}; }
ListEntry SourceFields(const ListEntry& e) { return ListEntry{e.text, "", e.icon, false}; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Workbook and sheet lists

void FillWorkbookList(MainLists& lists, const std::string& path) {
  lists.workbooks.Clear();
  if (PathKind(path) == 2) {
    lists.workbooks.Add(ListEntry{FileNameOf(path), "", 0, true});
  } else {
    for (std::string& name : ScanFolderForWorkbooks(path)) lists.workbooks.Add(ListEntry{std::move(name), "", 0, true});
  }
  lists.workbooks.Refresh();
}

void FillSheetList(MainLists& lists, Messages& messages) {
  lists.sheets.Clear();
  const std::string path = SelectedWorkbookPath(lists);
  if (path.empty()) return;
  bool read = false;
  ReadWorksheetNames(
      path, messages, [&](int32_t, const std::string& name) { lists.sheets.Add(ListEntry{name, "", 0, true}); },
      [&] { read = true; });
  if (read) lists.sheets.Refresh();
}

void SourceEntryClicked(MainLists& lists, Messages& messages, BusyPointer& busy) {
  if (lists.sources.Count() == 0) return;
  const ListEntry* source = lists.sources.SelectedItem();
  if (!source) return;
  const std::string path = source->text;
  lists.workbooks.Clear();
  lists.sheets.Clear();
  busy.SetBusy(true);
  FillWorkbookList(lists, path);
  FillSheetList(lists, messages);
  busy.SetBusy(false);
}

void WorkbookEntryClicked(MainLists& lists, Messages& messages, BusyPointer& busy) {
  busy.SetBusy(true);
  FillSheetList(lists, messages);
  busy.SetBusy(false);
}

// ---------------------------------------------------------------------------------------
// Sources

void AddSourceFile(MainLists& lists, const std::string& file, Messages& messages, BusyPointer& busy) {
  try {
    const int pos = lists.sources.Add(ListEntry{file, "", kIconWorkbook, false});
    lists.sources.Select(pos);
    lists.sources.EnsureVisible(pos);
    lists.sources.Refresh();
    FillWorkbookList(lists, file);
    busy.SetBusy(true);
    FillSheetList(lists, messages);
  } catch (...) {
    // The command ends quietly; what it added stays.
  }
  busy.SetBusy(false);
}

void AddSourceFolder(MainLists& lists, const std::string& folder, Messages& messages, BusyPointer& busy) {
  try {
    if (!folder.empty()) {
      const int pos = lists.sources.Add(ListEntry{folder, "", kIconFolder, false});
      lists.sources.Select(pos);
      FillWorkbookList(lists, folder);
      lists.sources.Refresh();
      lists.sources.EnsureVisible(pos);
      busy.SetBusy(true);
      FillSheetList(lists, messages);
    }
  } catch (...) {
    // The command ends quietly; what it added stays.
  }
  busy.SetBusy(false);
}

int AddDroppedSources(MainLists& lists, const std::vector<std::string>& paths, Messages& messages, BusyPointer& busy) {
  int added = 0;
  for (const std::string& path : paths) {
    switch (PathKind(path)) {
      case 1:
        AddSourceFolder(lists, path, messages, busy);
        ++added;
        break;
      case 2:
        if (!HasWorkbookExtension(path)) break;
        AddSourceFile(lists, path, messages, busy);
        ++added;
        break;
      default:
        break;
    }
  }
  return added;
}

void RemoveSelectedSource(MainLists& lists, Messages& messages, BusyPointer& busy) {
  try {
    const int n = lists.sources.Count();
    const int k = lists.sources.SelectedIndex();
    if (n > 0 && k > 0) {
      lists.sources.Remove(k);
      if (n - 1 > 0) {
        lists.sources.Select(k > 1 ? k - 1 : 1);
        FillWorkbookList(lists, lists.sources.SelectedItem()->text);
        busy.SetBusy(true);
        FillSheetList(lists, messages);
      } else {
        lists.workbooks.Clear();
        lists.sheets.Clear();
      }
    }
  } catch (...) {
    // The command ends quietly; what it removed stays removed.
  }
  busy.SetBusy(false);
}

void RemoveAllSources(MainLists& lists) {
  lists.sources.Clear();
  lists.workbooks.Clear();
  lists.sheets.Clear();
}

// ---------------------------------------------------------------------------------------
// Merge list

int AppendMergeEntry(MainLists& lists, const std::string& path, const std::string& sheet) {
  const int pos = lists.merges.Add(ListEntry{path, sheet, 0, true});
  lists.merges.Refresh();
  return pos;
}

void AddSheetToMergeList(MainLists& lists, Messages& messages) {
  const std::string path = SelectedWorkbookPath(lists);
  if (path.empty()) {
    messages.Show(kFileDoesNotExist, MessageIcon::Critical);
    return;
  }
  if (lists.sheets.Count() == 0) return;
  const ListEntry* sheet = lists.sheets.SelectedItem();
  if (!sheet) return;
  const int pos = AppendMergeEntry(lists, path, sheet->text);
  lists.merges.EnsureVisible(pos);
}

void RemoveMergeListEntry(MainLists& lists) {
  try {
    const int n = lists.merges.Count();
    if (n == 0) return;
    const int k = lists.merges.SelectedIndex();
    if (k == 0) return;
    lists.merges.Remove(k);
    if (n == 1) return;
    lists.merges.Select(k >= 2 ? k - 1 : 1);
  } catch (...) {
    // Ends quietly; the list stays as far as it was changed.
  }
}

void MoveMergeEntryUp(MainLists& lists) { MoveSelected(lists.merges, -1, MergeFields); }
void MoveMergeEntryDown(MainLists& lists) { MoveSelected(lists.merges, +1, MergeFields); }
void MoveSourceEntryUp(MainLists& lists) { MoveSelected(lists.sources, -1, SourceFields); }
void MoveSourceEntryDown(MainLists& lists) { MoveSelected(lists.sources, +1, SourceFields); }

void EmptyMergeList(MainLists& lists) { lists.merges.Clear(); }

// ---------------------------------------------------------------------------------------
// Bulk additions

void AddWorkbookSheets(MainLists& lists, const std::string& path, Messages& messages) {
  int last = 0;
  ReadWorksheetNames(
      path, messages, [&](int32_t, const std::string& name) { last = AppendMergeEntry(lists, path, name); },
      [&] {
        // A workbook of chart sheets only has added nothing to scroll to; it is passed over.
        if (last) lists.merges.EnsureVisible(last);
      });
}

void AddAllSheets(MainLists& lists, Messages& messages, BusyPointer& busy) {
  busy.SetBusy(true);
  const int n = lists.sheets.Count();
  for (int i = 1; i <= n && i <= lists.sheets.Count(); ++i) {
    const std::string path = SelectedWorkbookPath(lists);
    if (path.empty()) {
      messages.Show(kFileDoesNotExist, MessageIcon::Critical);
      break;
    }
    const int pos = AppendMergeEntry(lists, path, lists.sheets.Item(i).text);
    lists.merges.EnsureVisible(pos);
  }
  busy.SetBusy(false);
}

void AddAllExcelFiles(MainLists& lists, Messages& messages, BusyPointer& busy) {
  const ListEntry* selected = lists.sources.SelectedItem();
  const std::string source = selected ? selected->text : "";
  const int m = lists.workbooks.Count();
  busy.SetBusy(true);
  switch (PathKind(source)) {
    case 2:
      AddWorkbookSheets(lists, source, messages);
      break;
    case 1:
      for (int i = 1; i <= m && i <= lists.workbooks.Count(); ++i) {
        const std::string path = WorkbookPathAt(lists, i);
        if (!path.empty() && lists.workbooks.Item(i).checked) AddWorkbookSheets(lists, path, messages);
      }
      break;
    default:
      break;
  }
  busy.SetBusy(false);
}

}  // namespace corvane
