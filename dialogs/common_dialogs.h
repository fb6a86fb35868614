// CCommonDialogs: the file, folder, colour, font and printer pickers behind a property-style
// interface. Make an instance, hand it the owner window with Init, set the input properties,
// call one Show method (true when the user confirmed), then read the result properties.
// The dialogs are Qt's own (non-native) ones, so they look and behave the same everywhere.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>

namespace corvane {

// A chosen file's full path split the way the pickers report it: FileName the full path,
// FileTitle the name and extension, Path the folder up to (not including) the last "/",
// the root folder being "/".
struct ChosenFile {
  QString FileName;
  QString FileTitle;
  QString Path;
};
ChosenFile SplitChosenFile(const QString& path);

// A font size in whole points, the fraction dropped (10.5 gives 10). The size is first taken
// to tenths of a point, so that 11.99999 still counts as 12.
std::int16_t WholePoints(double pointSize);

// The printers the printer dialogs know of: every installed printer's name and the default
// one's (empty when none is set).
struct PrinterList {
  QStringList names;
  QString defaultName;
};
// Where the printer dialogs learn of the printers: QPrinterInfo, unless a test puts its own
// in (nullptr puts QPrinterInfo back).
using PrinterLookup = PrinterList (*)();
void SetPrinterLookup(PrinterLookup lookup);

class CCommonDialogs {
 public:
  CCommonDialogs() = default;

  // Stores the window the dialogs belong to. Every Show method needs it first.
  void Init(QWidget* ownerForm);
  QWidget* owner() const { return owner_; }

  // Setters store the value unchanged. The getters of FileName, FileTitle, Path and Title
  // yield the text up to, not including, its first NUL character.
  QString FileTitle() const;
  void setFileTitle(const QString& vData) { fileTitle_ = vData; }
  QString Path() const;
  void setPath(const QString& vData) { path_ = vData; }
  QString Filter() const { return filter_; }
  void setFilter(const QString& vNewValue) { filter_ = vNewValue; }
  QString FileName() const;
  void setFileName(const QString& sNewVal) { fileName_ = sNewVal; }
  std::int32_t Color() const { return color_; }  // red + 256 green + 65536 blue
  void setColor(std::int32_t nNew) { color_ = nNew; }
  QString Title() const;
  void setTitle(const QString& vData) { title_ = vData; }
  QString DefExt() const { return defExt_; }
  void setDefExt(const QString& vData) { defExt_ = vData; }
  QString FontName() const { return fontName_; }
  void setFontName(const QString& vData) { fontName_ = vData; }
  std::int16_t FontSize() const { return fontSize_; }  // whole points
  void setFontSize(std::int16_t vData) { fontSize_ = vData; }
  bool FontBold() const { return fontBold_; }
  void setFontBold(bool vData) { fontBold_ = vData; }
  bool FontItalic() const { return fontItalic_; }
  void setFontItalic(bool vData) { fontItalic_ = vData; }
  bool FontUnderline() const { return fontUnderline_; }
  void setFontUnderline(bool vData) { fontUnderline_ = vData; }

  // Where the pickers open when they are told no place: ShowOpen when FileName is empty,
  // ShowFolder always, ShowSave instead of the application folder. With a start folder set,
  // that is the folder of the last choice any picker confirmed (while it exists), else the
  // start folder; an installed program sets the user's home folder. Without one (empty, the
  // default) ShowOpen and ShowFolder open in Qt's default folder and ShowSave in the
  // application folder.
  static void SetStartFolder(const QString& folder);
  static QString StartFolder();

  // Each Show method is modal and returns true when the user confirmed. Called before Init
  // (or after the owner window is gone) ShowOpen, ShowSave, ShowFolder, ShowColor and
  // ShowPrinter throw std::logic_error; ShowFont and ShowPrinterProperties never throw.

  // Picks an existing workbook file (any extension beginning with "xl"), starting from
  // FileName. Sets FileName, FileTitle and Path. Throws std::length_error when FileName is
  // longer than 260 characters.
  bool ShowOpen();
  // Picks a file name to save under, starting in Path (the application folder when Path is
  // blank or not an existing folder, in which case Path is set to it) and offering Filter
  // ("description|pattern|..."; "*.*|*.*" when blank). Sets FileName, FileTitle and Path.
  bool ShowSave();
  // Picks a folder, Title as the window title. Sets Path to the folder as chosen and empties
  // FileName and FileTitle.
  bool ShowFolder();
  // Picks a colour starting from Color and stores the choice in Color.
  bool ShowColor(bool fullOpen);
  // Picks a font starting from FontName, FontSize, FontBold, FontItalic and FontUnderline;
  // stores family, bold, italic and the whole points of the size. Underline and Color stay.
  // Without an owner the dialog is shown on its own.
  bool ShowFont();
  // The print dialog, starting on the default printer, without a selection choice, a page
  // range or print-to-file. True when the user confirmed; nothing chosen is stored. False,
  // showing nothing, when no printer is installed.
  bool ShowPrinter();
  // The default printer's page set-up. True when the user confirmed; false, showing nothing,
  // when there is no default printer. Without an owner the dialog is shown on its own.
  bool ShowPrinterProperties();

 private:
  QWidget* RequireOwner(const char* method) const;
  // FileName, FileTitle and Path from the file the user chose; its folder is the last used.
  void RememberChosen(const QString& path);

  QString fileTitle_;
  QString path_;
  QString filter_;
  QString fileName_;
  std::int32_t color_ = 0;
  QString title_;
  QPointer<QWidget> owner_;
  bool initialized_ = false;
  QString defExt_;
  QString fontName_;
  std::int16_t fontSize_ = 0;
  bool fontBold_ = false;
  bool fontItalic_ = false;
  bool fontUnderline_ = false;
};

}  // namespace corvane
