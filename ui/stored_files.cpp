#include "ui/stored_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

namespace corvane {

namespace {

std::string InFolder(const std::string& folder, const char* name) { return folder + "/" + name; }

// Splits at CR LF or LF; the line end itself is dropped, and a text ending in a line end
// has no empty line after it.
std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    size_t end = lf > start && bytes[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back(bytes.substr(start, end - start));
    start = lf + 1;
  }
  return lines;
}

std::string Reason(int err) { return std::strerror(err); }

// The bytes of a stored file; nothing for a file that is missing or cannot be read (a folder
// of that name, a file without read permission).
std::optional<std::string> ReadStoredFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  try {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// The folder with symbolic links and "." and ".." resolved, as far as it exists.
std::filesystem::path Resolved(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
  return ec ? std::filesystem::path(folder).lexically_normal() : p;
}

bool InGroup(gid_t gid) {
  if (gid == ::getegid()) return true;
  int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  n = ::getgroups(n, groups.data());
  for (int i = 0; i < n; ++i)
    if (groups[static_cast<size_t>(i)] == gid) return true;
  return false;
}

// Whether the permission bits of `folder` let this user write in it, read as they apply to
// anyone but root; a read-only file system or an access list that forbids it counts too.
bool WritableByItsBits(const std::filesystem::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (::access(folder.c_str(), W_OK) != 0) return false;
  const mode_t bit = st.st_uid == ::geteuid() ? S_IWUSR : InGroup(st.st_gid) ? S_IWGRP : S_IWOTH;
  return (st.st_mode & bit) != 0;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

}  // namespace

bool RunsInstalled(const std::string& programFolder, const std::string& installBinFolder) {
  const std::filesystem::path folder = Resolved(programFolder);
  if (!installBinFolder.empty() && folder == Resolved(installBinFolder)) return true;
  const std::string text = folder.string();
  for (const char* system : {"/usr", "/bin", "/sbin", "/opt", "/snap", "/app"}) {
    const size_t n = std::strlen(system);
    if (text.compare(0, n, system) == 0 && (text.size() == n || text[n] == '/')) return true;
  }
  return !WritableByItsBits(folder);
}

std::string InstallBinFolder() { return CORVANE_INSTALL_BINDIR; }

std::string PrepareUserSettingsFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : HomeFolder() + "/.config";
  const std::string folder = base + "/corvane";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::exists(InFolder(folder, kAutoSaveFile), ec)) WriteAutoSave(folder, true);
  return folder;
}

std::vector<std::string> LoadSourceList(const std::string& folder) {
  std::optional<std::string> bytes = ReadStoredFile(InFolder(folder, kSourceListFile));
  return bytes ? SplitLines(*bytes) : std::vector<std::string>{};
}

std::optional<std::string> SaveSourceList(const std::string& folder, const std::vector<std::string>& entries) {
  std::string bytes;
  for (const std::string& e : entries) {
    bytes += e;
    bytes += "\r\n";
  }
  return ReplaceFile(InFolder(folder, kSourceListFile), bytes);
}

std::optional<std::string> ReadAutoSaveLine(const std::string& folder) {
  std::ifstream in(InFolder(folder, kAutoSaveFile), std::ios::binary);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool ShutdownSavesSourceList(const std::string& folder) { return ReadAutoSaveLine(folder) != "0"; }

std::optional<std::string> WriteAutoSave(const std::string& folder, bool on) {
  return ReplaceFile(InFolder(folder, kAutoSaveFile), on ? "1\r\n" : "0\r\n");
}

namespace {

// The names of the lines of options.txt.
constexpr std::string_view kHeaderRows = "header-rows", kMatchHeaders = "match-headers", kSourceColumn = "source-column",
                           kSheetPerEntry = "sheet-per-entry", kWidths = "widths";

}  // namespace

MergeOptions LoadMergeOptions(const std::string& folder) {
  MergeOptions o;
  std::optional<std::string> bytes = ReadStoredFile(InFolder(folder, kMergeOptionsFile));
  if (!bytes) return o;
  for (const std::string& line : SplitLines(*bytes)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string_view name = std::string_view(line).substr(0, eq), value = std::string_view(line).substr(eq + 1);
    if (name == kHeaderRows) {
      int32_t n = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec == std::errc() && end == value.data() + value.size() && n >= 0 && n <= kMaxHeaderRows) o.headerRows = n;
      continue;
    }
    bool* flag = name == kMatchHeaders    ? &o.matchHeaders
                 : name == kSourceColumn  ? &o.sourceColumn
                 : name == kSheetPerEntry ? &o.sheetPerEntry
                 : name == kWidths        ? &o.sizes
                                          : nullptr;
    if (flag && (value == "0" || value == "1")) *flag = value == "1";
  }
  return o;
}

std::optional<std::string> SaveMergeOptions(const std::string& folder, const MergeOptions& o) {
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, o.headerRows).ptr;
  std::string bytes;
  auto line = [&](std::string_view name, std::string_view value) {
    bytes.append(name);
    bytes += '=';
    bytes.append(value);
    bytes += "\r\n";
  };
  line(kHeaderRows, std::string_view(digits, static_cast<size_t>(end - digits)));
  line(kMatchHeaders, o.matchHeaders ? "1" : "0");
  line(kSourceColumn, o.sourceColumn ? "1" : "0");
  line(kSheetPerEntry, o.sheetPerEntry ? "1" : "0");
  line(kWidths, o.sizes ? "1" : "0");
  return ReplaceFile(InFolder(folder, kMergeOptionsFile), bytes);
}

std::optional<std::string> ReplaceFile(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = path;
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  // The new file takes the old one's permissions; a first file gets the usual ones.
  struct stat old {};
  mode_t mode;
  if (::stat(target.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }

  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return Reason(errno);
  auto fail = [&](int err) -> std::optional<std::string> {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return Reason(err);
  };
  if (::fchmod(fd, mode) != 0) return fail(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) return fail(errno);
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  return std::nullopt;
}

}  // namespace corvane
