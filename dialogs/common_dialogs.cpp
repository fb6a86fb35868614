#include "dialogs/common_dialogs.h"

#include <QCheckBox>
#include <QColor>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontDialog>
#include <QGroupBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>
#include <string>

namespace corvane {
namespace {

// The open dialog's one filter. Qt reads the patterns from the last parenthesised group and,
// with HideNameFilterDetails, shows only what stands before it, so the user sees the
// description while every extension beginning with "xl" is admitted.
const QString kOpenFilterText = QStringLiteral("Excel File(*.xls;*.xlsx;*.xlsm;*.xlsb)");
const QString kOpenFilterPattern = QStringLiteral("*.xl*");

// Longest initial file name the open dialog takes.
constexpr qsizetype kMaxOpenFileName = 260;

QString UpToNul(const QString& s) {
  const qsizetype nul = s.indexOf(QChar(u'\0'));
  return nul < 0 ? s : s.left(nul);
}

QString ApplicationFolder() { return QCoreApplication::applicationDirPath(); }

// The pickers' start folder and the folder of the last confirmed choice, for the whole program.
QString& StartFolderSetting() {
  static QString folder;
  return folder;
}
QString& LastFolderUsed() {
  static QString folder;
  return folder;
}

PrinterLookup gPrinterLookup = nullptr;

PrinterList InstalledPrinters() {
  if (gPrinterLookup) return gPrinterLookup();
  return {QPrinterInfo::availablePrinterNames(), QPrinterInfo::defaultPrinterName()};
}

// One Qt name filter: the description shown, the patterns (";"- or blank-separated) used.
// "*.*" means every file, also those without an extension, so it becomes Qt's "*".
QString NameFilter(const QString& description, const QString& patterns) {
  QStringList list = patterns.split(QRegularExpression(QStringLiteral("[; ]")), Qt::SkipEmptyParts);
  for (QString& pattern : list)
    if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
  return description + QStringLiteral(" (") + list.join(u' ') + u')';
}

// "description|pattern|description|pattern..." as Qt name filters, one per pair. The list
// ends at the first empty piece or at a description left without its pattern.
QStringList SaveNameFilters(const QString& filter) {
  const QString f = filter.trimmed().isEmpty() ? QStringLiteral("*.*|*.*") : filter;
  const QStringList pieces = f.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
    if (pieces[i].isEmpty() || pieces[i + 1].isEmpty()) break;
    filters << NameFilter(pieces[i], pieces[i + 1]);
  }
  return filters;
}

QColor FromColorValue(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                static_cast<int>((v >> 16) & 0xFF));
}

std::int32_t ToColorValue(const QColor& c) {
  return static_cast<std::int32_t>(c.red() + 256 * c.green() + 65536 * c.blue());
}

// The colour dialog starts every call with all sixteen custom colours black; the program's
// own custom colours are put back before the dialog goes away (Qt stores them when it does).
class BlackCustomColours {
 public:
  BlackCustomColours() {
    for (int i = 0; i < QColorDialog::customCount(); ++i) {
      saved_[static_cast<size_t>(i)] = QColorDialog::customColor(i);
      QColorDialog::setCustomColor(i, Qt::black);
    }
  }
  ~BlackCustomColours() {
    for (int i = 0; i < QColorDialog::customCount(); ++i)
      QColorDialog::setCustomColor(i, saved_[static_cast<size_t>(i)]);
  }
  BlackCustomColours(const BlackCustomColours&) = delete;
  BlackCustomColours& operator=(const BlackCustomColours&) = delete;

 private:
  std::array<QColor, 16> saved_;
};

}  // namespace

void SetPrinterLookup(PrinterLookup lookup) { gPrinterLookup = lookup; }

ChosenFile SplitChosenFile(const QString& path) {
  ChosenFile chosen;
  chosen.FileName = path;
  const qsizetype slash = path.lastIndexOf(u'/');
  chosen.FileTitle = path.mid(slash + 1);
  if (slash == 0)
    chosen.Path = QStringLiteral("/");
  else if (slash > 0)
    chosen.Path = path.left(slash);
  return chosen;
}

std::int16_t WholePoints(double pointSize) {
  const qint64 whole = qRound64(pointSize * 10) / 10;
  return static_cast<std::int16_t>(std::clamp<qint64>(whole, std::numeric_limits<std::int16_t>::min(),
                                                      std::numeric_limits<std::int16_t>::max()));
}

void CCommonDialogs::SetStartFolder(const QString& folder) {
  StartFolderSetting() = folder;
  LastFolderUsed().clear();
}

QString CCommonDialogs::StartFolder() {
  if (StartFolderSetting().isEmpty()) return {};
  const QString& last = LastFolderUsed();
  return !last.isEmpty() && QFileInfo(last).isDir() ? last : StartFolderSetting();
}

void CCommonDialogs::Init(QWidget* ownerForm) {
  owner_ = ownerForm;
  initialized_ = true;
}

QString CCommonDialogs::FileTitle() const { return UpToNul(fileTitle_); }
QString CCommonDialogs::Path() const { return UpToNul(path_); }
QString CCommonDialogs::FileName() const { return UpToNul(fileName_); }
QString CCommonDialogs::Title() const { return UpToNul(title_); }

QWidget* CCommonDialogs::RequireOwner(const char* method) const {
  if (!initialized_)
    throw std::logic_error(std::string("CCommonDialogs::") + method +
                           ": Init must be called with the owner window before a dialog is shown");
  if (!owner_)
    throw std::logic_error(std::string("CCommonDialogs::") + method +
                           ": the owner window given to Init is missing or has been closed");
  return owner_;
}

bool CCommonDialogs::ShowOpen() {
  QWidget* owner = RequireOwner("ShowOpen");
  if (fileName_.size() > kMaxOpenFileName)
    throw std::length_error("CCommonDialogs::ShowOpen: FileName is longer than 260 characters");

  QFileDialog dlg(owner, Title());
  dlg.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(kOpenFilterText + QStringLiteral(" (") + kOpenFilterPattern + u')');
  dlg.setDefaultSuffix(defExt_);
  // It opens where the previous choice (FileName) lies, else in the start folder, or where Qt
  // opens by default.
  if (!FileName().isEmpty())
    dlg.selectFile(FileName());
  else if (const QString start = StartFolder(); !start.isEmpty())
    dlg.setDirectory(start);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;

  RememberChosen(dlg.selectedFiles().constFirst());
  return true;
}

void CCommonDialogs::RememberChosen(const QString& path) {
  const ChosenFile chosen = SplitChosenFile(path);
  fileTitle_ = chosen.FileTitle;
  fileName_ = chosen.FileName;
  path_ = chosen.Path;
  LastFolderUsed() = chosen.Path;
}

bool CCommonDialogs::ShowSave() {
  QWidget* owner = RequireOwner("ShowSave");

  // Starting folder: Path when it names an existing folder (with a "/" added), else the
  // start folder or the application folder. Path keeps this choice even when the user cancels.
  const QString start = StartFolder();
  const QString fallback = start.isEmpty() ? ApplicationFolder() : start;
  if (path_.trimmed().isEmpty()) {
    path_ = fallback;
  } else {
    if (!path_.endsWith(u'/')) path_ += u'/';
    if (!QFileInfo(path_).isDir()) path_ = fallback;
  }

  QFileDialog dlg(owner, QStringLiteral("Save"), path_);
  dlg.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails |
                 QFileDialog::DontConfirmOverwrite);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilters(SaveNameFilters(filter_));  // the first filter is chosen
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;

  // Qt's dialog has no length limit on the returned path, so it is kept whole.
  RememberChosen(dlg.selectedFiles().constFirst());
  return true;
}

bool CCommonDialogs::ShowFolder() {
  QWidget* owner = RequireOwner("ShowFolder");

  // Qt's folder dialog has no instruction line; Title becomes its window title.
  QFileDialog dlg(owner, Title(), StartFolder());
  dlg.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
  dlg.setFileMode(QFileDialog::Directory);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;

  // The folder exactly as Qt gives it: no trailing "/" except for the root folder "/".
  path_ = dlg.selectedFiles().constFirst();
  LastFolderUsed() = path_;
  fileName_.clear();
  fileTitle_.clear();
  return true;
}

bool CCommonDialogs::ShowColor(bool fullOpen) {
  QWidget* owner = RequireOwner("ShowColor");
  // Qt's colour dialog always shows its custom-colour part, so fullOpen changes nothing
  // here; it is kept so callers need not care which dialog they get.
  (void)fullOpen;

  QColorDialog dlg(FromColorValue(color_), owner);
  dlg.setOptions(QColorDialog::DontUseNativeDialog);
  const BlackCustomColours custom;  // destroyed before the dialog
  if (dlg.exec() != QDialog::Accepted) return false;
  color_ = ToColorValue(dlg.selectedColor());
  return true;
}

bool CCommonDialogs::ShowFont() {
  // The font picker never fails towards its caller: without an owner it is shown on its own.
  QWidget* owner = initialized_ ? owner_.data() : nullptr;

  QFont initial(fontName_);
  if (fontSize_ > 0) initial.setPointSize(fontSize_);
  initial.setWeight(fontBold_ ? QFont::Bold : QFont::Normal);
  initial.setItalic(fontItalic_);
  initial.setUnderline(fontUnderline_);

  // Screen fonts only: there is no printer whose fonts could be offered.
  QFontDialog dlg(initial, owner);
  dlg.setOptions(QFontDialog::DontUseNativeDialog);
  // Underline, strike-out and colour are not chosen here: hide Qt's "Effects" box, the group
  // that holds its check boxes.
  for (QCheckBox* box : dlg.findChildren<QCheckBox*>()) {
    if (auto* group = qobject_cast<QGroupBox*>(box->parentWidget())) group->hide();
  }
  if (dlg.exec() != QDialog::Accepted) return false;

  const QFont chosen = dlg.selectedFont();
  fontName_ = chosen.family();
  fontBold_ = chosen.weight() >= QFont::Bold;
  fontItalic_ = chosen.italic();
  // Qt's dialog offers whole point sizes only, but a font sized in pixels has no point size:
  // FontSize is then kept.
  if (chosen.pointSizeF() > 0) fontSize_ = WholePoints(chosen.pointSizeF());
  return true;
}

bool CCommonDialogs::ShowPrinter() {
  QWidget* owner = RequireOwner("ShowPrinter");
  const PrinterList printers = InstalledPrinters();
  if (printers.names.isEmpty()) return false;
  // A printer of its own for the dialog, dropped afterwards: nothing the user chose stays.
  QPrinter printer;
  if (!printers.defaultName.isEmpty()) printer.setPrinterName(printers.defaultName);
  QPrintDialog dlg(&printer, owner);
  dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dlg.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dlg.setOption(QAbstractPrintDialog::PrintToFile, false);
  return dlg.exec() == QDialog::Accepted;
}

// Like the font picker this never fails towards its caller.
bool CCommonDialogs::ShowPrinterProperties() {
  const PrinterList printers = InstalledPrinters();
  if (printers.defaultName.isEmpty()) return false;
  QPrinter printer;
  printer.setPrinterName(printers.defaultName);
  QPageSetupDialog dlg(&printer, initialized_ ? owner_.data() : nullptr);
  return dlg.exec() == QDialog::Accepted;
}

}  // namespace corvane
