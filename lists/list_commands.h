// The list commands of the main window, without the window: filling the workbook and sheet
// lists, adding and removing sources, editing the merge list and the bulk additions. Each
// works on the four lists and reaches the user only through the message and busy-pointer
// interfaces, so the window's handlers are thin and the commands can be run without one.
#pragma once

#include <string>
#include <vector>

#include "lists/list_model.h"
#include "lists/ui_ports.h"

namespace corvane {

inline constexpr const char* kOpenExcelFileFailed = "Open excel file failed!";
inline constexpr const char* kFileDoesNotExist = "File does not exist!";

// ---------------------------------------------------------------------------------------
// Workbook and sheet lists

// Lists the workbooks of source path `path`: the file's own name when it is a file, else
// every workbook the folder holds (nothing for a path that names nothing), each ticked.
void FillWorkbookList(MainLists& lists, const std::string& path);

// Lists the worksheet names of SelectedWorkbookPath, each ticked, read in an application of
// its own that is quit again before returning. A workbook that cannot be read shows its
// failure and then "Open excel file failed!"; nothing stays alive either way.
void FillSheetList(MainLists& lists, Messages& messages);

// A source entry was clicked: its workbooks, then the sheets of the first of them.
void SourceEntryClicked(MainLists& lists, Messages& messages, BusyPointer& busy);
// A workbook entry was clicked: its sheets.
void WorkbookEntryClicked(MainLists& lists, Messages& messages, BusyPointer& busy);

// ---------------------------------------------------------------------------------------
// Sources

// Appends workbook file `file` as a selected source entry with the workbook icon and fills
// the lower lists for it; the pointer is the default one afterwards. A failure on the way
// ends the command quietly; what was added stays.
void AddSourceFile(MainLists& lists, const std::string& file, Messages& messages, BusyPointer& busy);
// The same for a folder, with the folder icon. An empty path adds nothing.
void AddSourceFolder(MainLists& lists, const std::string& folder, Messages& messages, BusyPointer& busy);

// Adds paths dropped on the source list, in their order: a folder as AddSourceFolder does, a
// file whose extension begins with "xl" (without regard to case) as AddSourceFile does;
// anything else is passed over. Returns how many sources were added.
int AddDroppedSources(MainLists& lists, const std::vector<std::string>& paths, Messages& messages, BusyPointer& busy);

// Removes the selected source entry and selects the one above it (the new first entry when
// the first was removed), refilling the lower lists for it; removing the last entry empties
// them. The merge list stays as it is.
void RemoveSelectedSource(MainLists& lists, Messages& messages, BusyPointer& busy);

// Empties the source, workbook and sheet lists; the merge list stays as it is.
void RemoveAllSources(MainLists& lists);

// ---------------------------------------------------------------------------------------
// Merge list

// Appends a ticked merge entry (workbook path, sheet name) at the end and returns its
// position. It neither selects nor scrolls.
int AppendMergeEntry(MainLists& lists, const std::string& path, const std::string& sheet);

// Queues the selected sheet of the selected workbook; "File does not exist!" when no
// workbook can be named.
void AddSheetToMergeList(MainLists& lists, Messages& messages);

// Removes the selected merge entry and selects the one above it (or the new first entry).
void RemoveMergeListEntry(MainLists& lists);

// One-step moves of the selected entry; nothing at the ends. A merge entry carries its path,
// sheet and tick, a source entry its text and icon; the workbook and sheet lists are not refilled.
void MoveMergeEntryUp(MainLists& lists);
void MoveMergeEntryDown(MainLists& lists);
void MoveSourceEntryUp(MainLists& lists);
void MoveSourceEntryDown(MainLists& lists);

// Empties the merge list; the other lists stay as they are.
void EmptyMergeList(MainLists& lists);

// ---------------------------------------------------------------------------------------
// Bulk additions

// Queues every worksheet of workbook `path`, read afresh in an application of its own. A
// workbook that cannot be read shows its failure and "Open excel file failed!"; entries
// queued before the failure stay. A workbook without worksheets adds nothing and says nothing.
void AddWorkbookSheets(MainLists& lists, const std::string& path, Messages& messages);

// "Add All Sheets": every sheet-list entry, ticked or not, with the selected workbook.
void AddAllSheets(MainLists& lists, Messages& messages, BusyPointer& busy);

// "Add All Excel Files": the worksheets of the selected source file, or of every ticked
// workbook of the selected source folder, one workbook after another.
void AddAllExcelFiles(MainLists& lists, Messages& messages, BusyPointer& busy);

}  // namespace corvane
