#include "lists/path_functions.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

namespace corvane {

namespace {

// The last name of a path, trailing "/" ignored.
std::string LastName(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return "";
  size_t start = path.rfind('/', end);
  return path.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

bool IsHiddenName(const std::string& name) { return name.size() > 1 && name[0] == '.' && name != ".."; }

}  // namespace

int PathKind(const std::string& path) {
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return 0;
  if (IsHiddenName(LastName(path))) return 0;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;  // also a file written with a trailing "/"
  if (S_ISDIR(st.st_mode)) return 1;
  if (S_ISREG(st.st_mode)) return path.back() == '/' ? 0 : 2;
  return 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FileNameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string WorkbookPathFor(const MainLists& lists, const ListEntry* workbook) {
  const ListEntry* source = lists.sources.SelectedItem();
  std::string s = source ? source->text : "";
  switch (PathKind(s)) {
    case 2:
      return s;
    case 1: {
      std::string p = JoinPath(s, workbook ? workbook->text : "");
      return PathKind(p) == 2 ? p : "";
    }
    default:
      return "";
  }
}

std::string SelectedWorkbookPath(const MainLists& lists) {
  return WorkbookPathFor(lists, lists.workbooks.SelectedItem());
}

std::string WorkbookPathAt(const MainLists& lists, int pos) {
  const ListEntry* w = pos >= 1 && pos <= lists.workbooks.Count() ? &lists.workbooks.Item(pos) : nullptr;
  return WorkbookPathFor(lists, w);
}

std::vector<std::string> ScanFolderForWorkbooks(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty() || folder.find_first_of("*?") != std::string::npos) return names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    auto dot = name.rfind('.');
    if (dot == std::string::npos || strncasecmp(name.c_str() + dot + 1, "xls", 3) != 0) continue;
    struct stat st;
    if (::stat(JoinPath(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int c = strcasecmp(a.c_str(), b.c_str());
    return c != 0 ? c < 0 : a < b;
  });
  return names;
}

}  // namespace corvane
