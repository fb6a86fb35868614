// The two small text files of the window: EXCEL.txt, the saved source list, and set.txt, whose
// first line says whether shut-down saves that list. Lines end in CR LF; texts are stored as
// they are, UTF-8. A program run from a folder of its own (a build folder, a portable copy)
// keeps them beside itself; an installed one in the user's configuration folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/merge/merge_options.h"

namespace corvane {

inline constexpr const char* kSourceListFile = "EXCEL.txt";
inline constexpr const char* kAutoSaveFile = "set.txt";
inline constexpr const char* kMergeOptionsFile = "options.txt";

// Whether the program in `programFolder` runs installed rather than from a folder of its own.
// Installed means: the folder is `installBinFolder` (the bin folder of the prefix this build
// installs into), or lies in a system folder (/usr, /bin, /sbin, /opt, /snap, /app), or the
// user may not write to it by its permission bits. The bits are read as they apply to an
// ordinary user, so root, who may write anywhere, counts as installed where others would.
bool RunsInstalled(const std::string& programFolder, const std::string& installBinFolder);
// The bin folder this build installs into.
std::string InstallBinFolder();

// The user's folder for Corvane's stored files: $XDG_CONFIG_HOME/corvane when that is an
// absolute path, else ~/.config/corvane. Made when missing, with set.txt holding "1" (the
// list is saved from the first run on); an existing set.txt is kept as it is.
std::string PrepareUserSettingsFolder();

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

// The merge options kept in `folder`/options.txt, one "name=value" line each (header-rows=N,
// match-headers=0|1, source-column=0|1, sheet-per-entry=0|1, widths=0|1), read without
// regard to the locale. A missing file, a line that is missing or whose value is damaged
// gives that option's default; lines of other names are passed over.
MergeOptions LoadMergeOptions(const std::string& folder);

// Replaces `folder`/options.txt with every option, CR LF after each line, as SaveSourceList
// writes. Returns the reason when it could not be written.
std::optional<std::string> SaveMergeOptions(const std::string& folder, const MergeOptions& options);

// Replaces the file at `path` with `bytes` through a temporary file in the same folder.
// A symbolic link is written through to its target. Returns the reason on failure.
std::optional<std::string> ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace corvane
