// Shared helpers of the engine tests: the corpus of real workbooks, temporary folders,
// file fingerprints and the independent reader.
#pragma once

#include <locale.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::test {

// The C locale as an object, for references the C library computes (strtod_l, uselocale)
// while the tests run under the user's locale.
inline locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  return c;
}

// The process's locale, every category, set for as long as this lives (as QApplication sets
// the user's); the one before comes back afterwards. ok() is false for a locale that is not
// generated on this machine.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(setlocale(LC_ALL, nullptr)) {
    ok_ = setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { setlocale(LC_ALL, previous_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};
inline constexpr const char* kGermanLocale = "de_DE.UTF-8";

inline std::filesystem::path Corpus() { return std::filesystem::path(CORVANE_CORPUS); }
inline std::filesystem::path Scripts() { return std::filesystem::path(CORVANE_TEST_SCRIPTS); }
inline const char* Python() { return "/usr/bin/python3"; }

struct CorpusSheet {
  int index = 0;           // tab position among every sheet
  std::string name, type;  // type: worksheet, chartsheet, macrosheet, dialogsheet, ...
  std::string visibility;  // visible, hidden, veryHidden
  std::string cellsBox;    // "A1:B5", or a note such as "(no content)"
  int cellCount = 0;
  std::string dateSystem;  // "1900", "1904", or an .ods null-date note
};

// SHEETS.tsv: every sheet of every corpus file, by file path relative to the corpus.
inline std::map<std::string, std::vector<CorpusSheet>> CorpusSheets() {
  std::map<std::string, std::vector<CorpusSheet>> out;
  std::ifstream in(Corpus() / "SHEETS.tsv");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    if (f.size() < 4) continue;
    f.resize(10);
    out[f[0]].push_back(CorpusSheet{std::stoi(f[1]), f[2], f[3], f[4], f[7],
                                    f[8].empty() || f[8] == "-" ? 0 : std::atoi(f[8].c_str()), f[9]});
  }
  return out;
}

inline std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder of its own under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    auto base = std::filesystem::temp_directory_path();
    for (int i = 0;; ++i) {
      path_ = base / ("corvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(i));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs a command; its output comes back, its exit status in `status`.
inline std::string Run(const std::string& command, int& status) {
  std::string out;
  FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) {
    status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `script` of tests/scripts with the independent reader on `args` (each quoted); its
// output comes back, its exit status in `status`.
inline std::string RunScript(const char* script, const std::vector<std::string>& args, int& status) {
  std::string command = std::string(Python()) + " " + ShellQuote((Scripts() / script).string());
  for (const std::string& a : args) command += " " + ShellQuote(a);
  return Run(command, status);
}

// The description of the `Error` that `act` throws; "(no failure)" when it throws nothing.
template <class Error, class Act>
std::string FailureOf(Act&& act) {
  try {
    act();
  } catch (const Error& e) {
    return e.description();
  }
  return "(no failure)";
}

}  // namespace corvane::test

#include <zip.h>

namespace corvane::test {

// Writes a zip package with the given parts, for readers fed by hand-made XML.
inline void WriteZip(const std::filesystem::path& path, const std::map<std::string, std::string>& parts) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) throw std::runtime_error("cannot create " + path.string());
  for (auto& [name, body] : parts) {
    zip_source_t* src = zip_source_buffer(z, body.data(), body.size(), 0);
    zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
  }
  if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path.string());
}

// Every part of a zip package, by name.
inline std::map<std::string, std::string> ReadZip(const std::filesystem::path& path) {
  std::map<std::string, std::string> parts;
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (!z) throw std::runtime_error("cannot open " + path.string());
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    std::string body(st.size, '\0');
    zip_file_t* zf = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    zip_fread(zf, body.data(), st.size);
    zip_fclose(zf);
    parts[st.name] = std::move(body);
  }
  zip_discard(z);
  return parts;
}

// A minimal workbook package around the given sheet XML bodies (the part inside <worksheet>).
inline void WriteWorkbook(const std::filesystem::path& path, const std::vector<std::pair<std::string, std::string>>& sheets,
                          const std::string& sharedStrings = "", const std::string& styles = "",
                          const std::string& workbookPr = "",
                          // added as they are: a sheet's relationships and the parts they name
                          const std::map<std::string, std::string>& extraParts = {}) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  std::map<std::string, std::string> parts;
  parts["_rels/.rels"] =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
  std::string wb = "<workbook " + ns + ">" + workbookPr + "<sheets>";
  std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (size_t i = 0; i < sheets.size(); ++i) {
    std::string n = std::to_string(i + 1);
    wb += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts["xl/worksheets/sheet" + n + ".xml"] = "<worksheet " + ns + ">" + sheets[i].second + "</worksheet>";
  }
  if (!sharedStrings.empty()) {
    rels += "<Relationship Id=\"rIdS\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    parts["xl/sharedStrings.xml"] = "<sst " + ns + ">" + sharedStrings + "</sst>";
  }
  if (!styles.empty()) {
    rels += "<Relationship Id=\"rIdY\" Type=\"" + rel + "styles\" Target=\"styles.xml\"/>";
    parts["xl/styles.xml"] = "<styleSheet " + ns + ">" + styles + "</styleSheet>";
  }
  parts["xl/workbook.xml"] = wb + "</sheets></workbook>";
  parts["xl/_rels/workbook.xml.rels"] = rels + "</Relationships>";
  for (auto& [name, body] : extraParts) parts[name] = body;
  WriteZip(path, parts);
}

}  // namespace corvane::test
