#include "ui/stored_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

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

}  // namespace

std::vector<std::string> LoadSourceList(const std::string& folder) {
  std::ifstream in(InFolder(folder, kSourceListFile), std::ios::binary);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return SplitLines(bytes);
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
