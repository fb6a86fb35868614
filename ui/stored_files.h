// The two small text files kept in the application folder: EXCEL.txt, the saved source
// list, and set.txt, whose first line says whether shut-down saves that list. Lines end in
// CR LF; texts are stored as they are, UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane {

inline constexpr const char* kSourceListFile = "EXCEL.txt";
inline constexpr const char* kAutoSaveFile = "set.txt";

// The lines of `folder`/EXCEL.txt in order, empty lines and duplicates included. A line ends
// at CR LF (a bare LF, as an editor on this system writes, ends it as well); a last line
// without line end counts too. A missing or unreadable file gives no lines.
std::vector<std::string> LoadSourceList(const std::string& folder);

// Replaces `folder`/EXCEL.txt with one line per entry, each followed by CR LF (no entries:
// an empty file). The new contents are written beside the old file and renamed over it, so
// the old list stays whole when writing fails. Returns the reason when it could not be saved.
std::optional<std::string> SaveSourceList(const std::string& folder, const std::vector<std::string>& entries);

// The first line of `folder`/set.txt; nullopt when the file is missing, unreadable or empty.
std::optional<std::string> ReadAutoSaveLine(const std::string& folder);

// Shut-down keeps the source list unless set.txt's first line is exactly "0".
bool ShutdownSavesSourceList(const std::string& folder);

// Replaces `folder`/set.txt with "1" or "0" and CR LF, as SaveSourceList writes. Returns the
// reason when it could not be written.
std::optional<std::string> WriteAutoSave(const std::string& folder, bool on);

// Replaces the file at `path` with `bytes` through a temporary file in the same folder.
// A symbolic link is written through to its target. Returns the reason on failure.
std::optional<std::string> ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace corvane
