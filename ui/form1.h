// The main window: the four lists, the merge options, the command buttons and the menus.
// Controls keep their designer names as member names and object names; each command is a
// public slot named after its control and event.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/merge/merge_options.h"
#include "lists/list_model.h"
#include "lists/ui_ports.h"
#include "ui/list_view.h"
#include "ui/picture_button.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QUrl;

namespace corvane {

class QtMessages;
class QtProgress;
class QtBusyPointer;

// Asks the user for the workbook file or the folder to add to the source list. The window's
// own picker shows the common file and folder dialogs; another may take its place.
class SourcePicker {
 public:
  virtual ~SourcePicker() = default;
  // Each returns true when the user confirmed, with the chosen path in `path`.
  virtual bool PickFile(QWidget* owner, const QString& title, QString& path) = 0;
  virtual bool PickFolder(QWidget* owner, const QString& title, QString& path) = 0;
};

class Form1 : public QMainWindow {
  Q_OBJECT
 public:
  // `applicationFolder` is the folder of the program (empty: the running program's own): it
  // holds help.chm, and the user manual beside it or in the prefix it is installed into.
  // EXCEL.txt and set.txt lie there too, unless the program runs installed (RunsInstalled):
  // then they are in the user's settings folder. Messages go to `messages` when given, else
  // to message boxes.
  explicit Form1(QString applicationFolder = QString(), Messages* messages = nullptr, QWidget* parent = nullptr);
  ~Form1() override;

  // Where messages go from now on; nullptr returns to message boxes.
  void SetMessages(Messages* messages);
  Messages& messages();
  Progress& progress();
  BusyPointer& busyPointer();
  const QString& applicationFolder() const { return folder_; }
  bool runsInstalled() const { return installed_; }
  // The folder of EXCEL.txt and set.txt.
  const std::string& storedFilesFolder() const { return storedFolder_; }
  // How Help and HomePage open a document or address; true when it was handed on. The
  // desktop's own way by default (nullptr returns to it).
  void SetUrlOpener(std::function<bool(const QUrl&)> opener);
  // Brings every list view up to date with its model now.
  void SyncLists();
  // Who asks for the files and folders to add from now on; nullptr returns to the common
  // dialogs. Not owned.
  void SetSourcePicker(SourcePicker* picker);

  // The four lists and the program-wide gap count.
  MainLists lists;
  int32_t gapCount = 0;
  // The merge options: read from options.txt at start-up, changed by the Merge Options dialog.
  corvane::MergeOptions mergeOptions;

  PictureButton* Command8;   // Add Excel
  PictureButton* Command6;   // Add Folder
  PictureButton* Command7;   // Remove File
  PictureButton* Command18;  // Merge
  PictureButton* Command12;  // Help
  PictureButton* Command13;  // HomePage
  PictureButton* Command9;   // Exit
  ListView* ListView1;       // source list
  PictureButton* Command5;   // source entry up
  PictureButton* Command4;   // source entry down
  QLabel* Label2;
  QComboBox* Combo1;         // merge mode
  QLabel* Label1;
  QLineEdit* Text1;          // gap count
  ListView* ListView2;       // workbook list
  ListView* ListView3;       // sheet list
  PictureButton* Command10;  // sheet to merge list
  PictureButton* Command11;  // merge entry out
  ListView* ListView4;       // merge list
  PictureButton* Command14;  // merge entry up
  PictureButton* Command15;  // merge entry down
  QPushButton* Command20;    // Add All Excel Files
  QPushButton* Command16;    // Add All Sheets
  QPushButton* Command17;    // Remove All
  QProgressBar* ProgressBar1;
  // The source list's small icons: workbook, folder, question mark.
  std::array<QIcon, 3> ImageList1;

  QMenu* FileMenu;
  QMenu* EditMenu;
  QMenu* ActionsMenu;
  QMenu* HelpMenu;
  QAction* Addexcel;
  QAction* AddFolder;
  QAction* RemoveItem;
  QAction* RemoveAll;
  QAction* Merge;
  QAction* MergeOptions;
  QAction* Settings;
  QAction* Help;
  QAction* HomePage;
  QAction* About;

 public slots:
  void Command8_Click();
  void Addexcel_Click();
  void Command6_Click();
  void AddFolder_Click();
  void Command7_Click();
  void RemoveItem_Click();
  void RemoveAll_Click();
  void ListView1_ItemClick();
  void ListView2_ItemClick();
  // Files and folders dropped on the source list are added as "Add Excel" and "Add Folder" add them.
  void ListView1_OLEDragDrop(const QStringList& paths);
  void Command10_Click();
  void ListView3_DblClick();
  void Command11_Click();
  void ListView4_DblClick();
  void Command5_Click();
  void Command4_Click();
  void Command14_Click();
  void Command15_Click();
  void Command17_Click();
  void Command16_Click();
  void Command20_Click();
  void Command18_Click();
  void Merge_Click();
  // Shows the Merge Options dialog Dialog3, modal; its OK keeps the options for the next merges.
  void MergeOptions_Click();
  void Text1_LostFocus();
  void Settings_Click();
  void Command12_Click();
  void Help_Click();
  void Command13_Click();
  void HomePage_Click();
  void About_Click();
  void Command9_Click();
  void Form_Load();
  void Form_Unload();

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildControls();
  void buildMenus();
  QString folder_;
  bool installed_;
  std::string storedFolder_;
  std::function<bool(const QUrl&)> openUrl_;
  QPointer<QMainWindow> helpWindow_;
  std::unique_ptr<QtMessages> ownMessages_;
  Messages* messages_ = nullptr;
  std::unique_ptr<QtProgress> progress_;
  std::unique_ptr<QtBusyPointer> busy_;
  std::unique_ptr<SourcePicker> ownPicker_;
  SourcePicker* picker_ = nullptr;
};

}  // namespace corvane
