// The path functions the list commands and the merges share.
#pragma once

#include <string>
#include <vector>

#include "lists/list_model.h"

namespace corvane {

// 2 for an existing file, 1 for an existing folder, 0 for anything else: a missing path,
// the empty text, a path holding a wildcard (* or ?), a hidden (dot) file or folder, a
// file written with a trailing "/", or any failure while looking.
int PathKind(const std::string& path);

// The full path of the selected workbook: the selected source itself when it is a file,
// else the selected source folder joined with the selected workbook entry when that names
// an existing file; the empty text otherwise.
std::string SelectedWorkbookPath(const MainLists& lists);

// As SelectedWorkbookPath, for workbook entry `pos` instead of the selected one.
std::string WorkbookPathAt(const MainLists& lists, int pos);

// Joins a folder and a file name with exactly one "/" between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// The bare file names of the workbooks in `folder`: regular, not hidden files whose
// extension is "xls" or begins with "xls", without regard to case, sorted without regard
// to case. Sub-folders are not searched. A folder that cannot be read gives what was found.
std::vector<std::string> ScanFolderForWorkbooks(const std::string& folder);

// The file name without its folder.
std::string FileNameOf(const std::string& path);

}  // namespace corvane
