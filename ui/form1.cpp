#include "ui/form1.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QUrl>
#include <algorithm>

#include "dialogs/common_dialogs.h"
#include "engine/merge/merge.h"
#include "lists/list_commands.h"
#include "lists/path_functions.h"
#include "ui/addresses.h"
#include "ui/dialog1.h"
#include "ui/dialog2.h"
#include "ui/dialog3.h"
#include "ui/help_window.h"
#include "ui/icons.h"
#include "ui/qt_ports.h"
#include "ui/stored_files.h"

namespace corvane {

namespace {

// The window's own source picker: a fresh CCommonDialogs for every question.
class CommonDialogsPicker : public SourcePicker {
 public:
  bool PickFile(QWidget* owner, const QString& title, QString& path) override {
    CCommonDialogs dialogs;
    dialogs.Init(owner);
    dialogs.setTitle(title);
    if (!dialogs.ShowOpen()) return false;
    path = dialogs.FileName();
    return true;
  }
  bool PickFolder(QWidget* owner, const QString& title, QString& path) override {
    CCommonDialogs dialogs;
    dialogs.Init(owner);
    dialogs.setTitle(title);
    if (!dialogs.ShowFolder()) return false;
    path = dialogs.Path();
    return true;
  }
};

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QFont ArialFont(qreal points) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  return font;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Form1

Form1::Form1(QString applicationFolder, Messages* messages, QWidget* parent)
    : QMainWindow(parent),
      folder_(applicationFolder.isEmpty() ? QCoreApplication::applicationDirPath() : std::move(applicationFolder)),
      installed_(RunsInstalled(LocalPath(folder_), InstallBinFolder())),
      storedFolder_(installed_ ? PrepareUserSettingsFolder() : LocalPath(folder_)) {
  setObjectName(QStringLiteral("Form1"));
  // An installed program's pickers start in the user's home folder, not in the program's.
  CCommonDialogs::SetStartFolder(installed_ ? QDir::homePath() : QString());
  setWindowTitle(QStringLiteral("Corvane"));
  setWindowIcon(ProgramIcon());
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  ownMessages_ = std::make_unique<QtMessages>(this);
  messages_ = messages ? messages : ownMessages_.get();
  buildControls();
  buildMenus();
  progress_ = std::make_unique<QtProgress>(ProgressBar1);
  busy_ = std::make_unique<QtBusyPointer>();
  ownPicker_ = std::make_unique<CommonDialogsPicker>();
  picker_ = ownPicker_.get();
  SetUrlOpener(nullptr);
  // The client area keeps its size; the window is as large as it and the menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  Form_Load();
}

Form1::~Form1() {
  // The list views go first: they observe `lists`, which dies before the child widgets.
  for (ListView* view : {ListView1, ListView2, ListView3, ListView4}) delete view;
}

void Form1::SetMessages(Messages* messages) { messages_ = messages ? messages : ownMessages_.get(); }
Messages& Form1::messages() { return *messages_; }
Progress& Form1::progress() { return *progress_; }
BusyPointer& Form1::busyPointer() { return *busy_; }

void Form1::SetSourcePicker(SourcePicker* picker) { picker_ = picker ? picker : ownPicker_.get(); }

void Form1::SyncLists() {
  for (ListView* view : {ListView1, ListView2, ListView3, ListView4}) view->SyncNow();
}

void Form1::SetUrlOpener(std::function<bool(const QUrl&)> opener) {
  openUrl_ = opener ? std::move(opener) : [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void Form1::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(Twips(11235), Twips(7410));
  client->setFont(ArialFont(8.25));
  setCentralWidget(client);

  const QFont large = ArialFont(9.75);
  auto topButton = [&](const char* name, const char* caption, Picture picture, int side, QRect where) {
    QIcon icon = picture == Picture::Program ? ProgramIcon() : PictureIcon(picture, QSize(side, side));
    auto* b = new PictureButton(QString::fromLatin1(caption), icon, QSize(side, side), client);
    b->setObjectName(QString::fromLatin1(name));
    b->setFont(large);
    b->setGeometry(where);
    return b;
  };
  Command8 = topButton("Command8", "Add Excel", Picture::Spreadsheet, 48, TwipsRect(120, 0, 1210, 975));
  Command6 = topButton("Command6", "Add Folder", Picture::Folder, 48, TwipsRect(1440, 0, 1210, 975));
  Command7 = topButton("Command7", "Remove File", Picture::RemoveCross, 32, TwipsRect(2760, 0, 1330, 975));
  Command18 = topButton("Command18", "Merge", Picture::Program, 32, TwipsRect(5400, 0, 1575, 970));
  Command12 = topButton("Command12", "Help", Picture::Help, 32, TwipsRect(7080, 0, 1095, 975));
  Command13 = topButton("Command13", "HomePage", Picture::Globe, 48, TwipsRect(8280, 0, 1335, 975));
  Command9 = topButton("Command9", "Exit", Picture::Exit, 32, TwipsRect(9720, 0, 1095, 975));

  auto arrowButton = [&](const char* name, Picture picture, QRect where) {
    const bool vertical = picture == Picture::ArrowUp || picture == Picture::ArrowDown;
    const QSize side = vertical ? QSize(16, 32) : QSize(32, 16);
    auto* b = new PictureButton(QString(), PictureIcon(picture, side), side, client);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(where);
    return b;
  };
  auto list = [&](const char* name, ListModel& model, bool checkBoxes, QRect where) {
    auto* v = new ListView(model, checkBoxes, client);
    v->setObjectName(QString::fromLatin1(name));
    v->setGeometry(where);
    // Column headers show in the list's own font, whatever the style gives headers.
    v->header()->setFont(client->font());
    return v;
  };
  auto label = [&](const char* name, const char* text, QRect where) {
    auto* l = new QLabel(QString::fromLatin1(text), client);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(where);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
  };
  auto plainButton = [&](const char* name, const char* caption, QRect where) {
    auto* b = new QPushButton(QString::fromLatin1(caption), client);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(where);
    return b;
  };

  ListView1 = list("ListView1", lists.sources, false, TwipsRect(120, 1080, 10695, 2175));
  Command5 = arrowButton("Command5", Picture::ArrowUp, TwipsRect(10800, 1320, 375, 735));
  Command4 = arrowButton("Command4", Picture::ArrowDown, TwipsRect(10800, 2280, 375, 735));
  Label2 = label("Label2", "Merge Option:", TwipsRect(120, 3360, 1095, 255));
  Combo1 = new QComboBox(client);
  Combo1->setObjectName(QStringLiteral("Combo1"));
  Combo1->setEditable(false);
  Combo1->setGeometry(TwipsRect(1320, 3360, 3495, 330));
  Label1 = label("Label1", "Insert the number of row or column between the sheets:", TwipsRect(5400, 3360, 4095, 255));
  Text1 = new QLineEdit(QStringLiteral("0"), client);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(TwipsRect(9600, 3360, 1215, 300));
  ListView2 = list("ListView2", lists.workbooks, true, TwipsRect(120, 3720, 2295, 2895));
  ListView3 = list("ListView3", lists.sheets, true, TwipsRect(2520, 3720, 2295, 2895));
  Command10 = arrowButton("Command10", Picture::ArrowRight, TwipsRect(4800, 4560, 610, 375));
  Command11 = arrowButton("Command11", Picture::ArrowLeft, TwipsRect(4800, 5400, 610, 375));
  ListView4 = list("ListView4", lists.merges, true, TwipsRect(5400, 3720, 5415, 2895));
  Command14 = arrowButton("Command14", Picture::ArrowUp, TwipsRect(10800, 4320, 375, 735));
  Command15 = arrowButton("Command15", Picture::ArrowDown, TwipsRect(10800, 5280, 375, 735));
  Command20 = plainButton("Command20", "Add All Excel Files", TwipsRect(120, 6720, 2175, 250));
  Command16 = plainButton("Command16", "Add All Sheets", TwipsRect(2400, 6720, 2295, 250));
  Command17 = plainButton("Command17", "Remove All", TwipsRect(5400, 6720, 1335, 255));
  ProgressBar1 = new QProgressBar(client);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(TwipsRect(120, 7080, 10985, 255));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);

  // The keyboard order of the designer's tab indices.
  const std::vector<QWidget*> order{Command8,  Command6,  Command7,  ListView1, Combo1,    ListView2,   ListView3,
                                    Command16, Command10, Command11, ListView4, Command14, Command15,   Command17,
                                    Text1,     Command20, Command4,  Command5,  Command18, Command12,   Command13,
                                    Command9,  ProgressBar1, Label2, Label1};
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
  connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
  connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
  connect(Command18, &QPushButton::clicked, this, &Form1::Command18_Click);
  connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
  connect(Command13, &QPushButton::clicked, this, &Form1::Command13_Click);
  connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
  connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
  connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
  connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
  connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
  connect(Command14, &QPushButton::clicked, this, &Form1::Command14_Click);
  connect(Command15, &QPushButton::clicked, this, &Form1::Command15_Click);
  connect(Command20, &QPushButton::clicked, this, &Form1::Command20_Click);
  connect(Command16, &QPushButton::clicked, this, &Form1::Command16_Click);
  connect(Command17, &QPushButton::clicked, this, &Form1::Command17_Click);
  connect(ListView1, &ListView::ItemClick, this, &Form1::ListView1_ItemClick);
  connect(ListView2, &ListView::ItemClick, this, &Form1::ListView2_ItemClick);
  connect(ListView3, &ListView::DblClick, this, &Form1::ListView3_DblClick);
  connect(ListView4, &ListView::DblClick, this, &Form1::ListView4_DblClick);
  ListView1->SetAcceptFileDrops(true);
  connect(ListView1, &ListView::OLEDragDrop, this, &Form1::ListView1_OLEDragDrop);
  Text1->installEventFilter(this);
}

void Form1::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  auto entry = [&](QMenu* menu, const char* name, const char* caption, void (Form1::*handler)()) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  FileMenu = bar->addMenu(QStringLiteral("File"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  Addexcel = entry(FileMenu, "Addexcel", "Add Excel File", &Form1::Addexcel_Click);
  AddFolder = entry(FileMenu, "AddFolder", "Add All Excel Files in Folder", &Form1::AddFolder_Click);
  EditMenu = bar->addMenu(QStringLiteral("Edit"));
  EditMenu->setObjectName(QStringLiteral("EditMenu"));
  RemoveItem = entry(EditMenu, "RemoveItem", "Remove List Item", &Form1::RemoveItem_Click);
  RemoveAll = entry(EditMenu, "RemoveAll", "Remove All List Items", &Form1::RemoveAll_Click);
  ActionsMenu = bar->addMenu(QStringLiteral("Actions"));
  ActionsMenu->setObjectName(QStringLiteral("ActionsMenu"));
  Merge = entry(ActionsMenu, "Merge", "Merge", &Form1::Merge_Click);
  MergeOptions = entry(ActionsMenu, "MergeOptions", "Merge Options...", &Form1::MergeOptions_Click);
  // Settings is a command of the menu bar itself, with nothing dropping down under it.
  Settings = bar->addAction(QStringLiteral("Settings"));
  Settings->setObjectName(QStringLiteral("Settings"));
  connect(Settings, &QAction::triggered, this, &Form1::Settings_Click);
  HelpMenu = bar->addMenu(QStringLiteral("Help"));
  HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
  Help = entry(HelpMenu, "Help", "Help", &Form1::Help_Click);
  HomePage = entry(HelpMenu, "HomePage", "HomePage", &Form1::HomePage_Click);
  About = entry(HelpMenu, "About", "About", &Form1::About_Click);
}

bool Form1::eventFilter(QObject* watched, QEvent* e) {
  if (watched == Text1 && e->type() == QEvent::FocusOut) Text1_LostFocus();
  return QMainWindow::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------------------
// Start-up and shut-down

void Form1::Form_Load() {
  ImageList1 = {PictureIcon(Picture::SmallWorkbook, QSize(16, 16)), PictureIcon(Picture::SmallFolder, QSize(16, 16)),
                PictureIcon(Picture::SmallQuestion, QSize(16, 16))};
  ListView1->setIconSize(QSize(16, 16));
  ListView1->SetImages({ImageList1.begin(), ImageList1.end()});

  auto columns = [](ListView* view, std::initializer_list<std::pair<const char*, int>> headers) {
    QStringList texts;
    for (auto& h : headers) texts << QString::fromLatin1(h.first);
    view->setHeaderLabels(texts);
    int i = 0;
    for (auto& h : headers) view->header()->resizeSection(i++, Twips(h.second));
  };
  columns(ListView1, {{"Please Select the Excel File or Folder to Merge", 10200}});
  columns(ListView2, {{"WorkBooks", 1900}});
  columns(ListView3, {{"WorkSheets", 1900}});
  columns(ListView4, {{"Excel File", 3100}, {"Sheets be Merged", 1900}});

  for (std::string& line : LoadSourceList(storedFolder_)) {
    const int kind = PathKind(line);
    const int icon = kind == 2 ? kIconWorkbook : kind == 1 ? kIconFolder : kIconNothing;
    lists.sources.Add(ListEntry{std::move(line), {}, icon, false});
  }
  lists.sources.Refresh();

  mergeOptions = LoadMergeOptions(storedFolder_);
  gapCount = 0;
  Combo1->addItem(QStringLiteral("Vertical Merger"));
  Combo1->addItem(QStringLiteral("Horizontal Merger"));
  Combo1->setCurrentIndex(0);
}

void Form1::Form_Unload() {
  const std::string& folder = storedFolder_;
  if (!ShutdownSavesSourceList(folder)) return;
  std::vector<std::string> entries;
  entries.reserve(static_cast<size_t>(lists.sources.Count()));
  for (int i = 1; i <= lists.sources.Count(); ++i) entries.push_back(lists.sources.Item(i).text);
  if (auto error = SaveSourceList(folder, entries))
    messages().Show("The list of files and folders could not be saved in \"" + folder + "/" + kSourceListFile +
                        "\": " + *error + ".",
                    MessageIcon::Critical);
}

void Form1::closeEvent(QCloseEvent* e) {
  Form_Unload();
  e->accept();
}

// ---------------------------------------------------------------------------------------
// Sources

void Form1::Command8_Click() {
  try {
    QString file;
    if (picker_->PickFile(this, QStringLiteral("Select Excel File"), file))
      AddSourceFile(lists, LocalPath(file), messages(), busyPointer());
  } catch (...) {
    // A failure anywhere ends the command quietly; what was added stays.
  }
  busyPointer().SetBusy(false);
}
void Form1::Addexcel_Click() { Command8_Click(); }

void Form1::Command6_Click() {
  try {
    QString folder;
    if (picker_->PickFolder(this, QStringLiteral("Add all excel files in folder"), folder))
      AddSourceFolder(lists, LocalPath(folder), messages(), busyPointer());
  } catch (...) {
    // A failure anywhere ends the command quietly; what was added stays.
  }
  busyPointer().SetBusy(false);
}
void Form1::AddFolder_Click() { Command6_Click(); }

void Form1::Command7_Click() { RemoveSelectedSource(lists, messages(), busyPointer()); }
void Form1::RemoveItem_Click() { Command7_Click(); }

void Form1::RemoveAll_Click() {
  // The merge list keeps its entries.
  RemoveAllSources(lists);
}

void Form1::ListView1_ItemClick() { SourceEntryClicked(lists, messages(), busyPointer()); }

void Form1::ListView2_ItemClick() { WorkbookEntryClicked(lists, messages(), busyPointer()); }

void Form1::ListView1_OLEDragDrop(const QStringList& paths) {
  std::vector<std::string> local;
  local.reserve(static_cast<size_t>(paths.size()));
  for (const QString& p : paths) local.push_back(LocalPath(p));
  AddDroppedSources(lists, local, messages(), busyPointer());
}

// ---------------------------------------------------------------------------------------
// Merge list

void Form1::Command10_Click() { AddSheetToMergeList(lists, messages()); }
void Form1::ListView3_DblClick() { Command10_Click(); }

void Form1::Command11_Click() { RemoveMergeListEntry(lists); }
void Form1::ListView4_DblClick() { Command11_Click(); }

void Form1::Command5_Click() { MoveSourceEntryUp(lists); }

void Form1::Command4_Click() { MoveSourceEntryDown(lists); }

void Form1::Command14_Click() { MoveMergeEntryUp(lists); }

void Form1::Command15_Click() { MoveMergeEntryDown(lists); }

void Form1::Command17_Click() { EmptyMergeList(lists); }

void Form1::Command16_Click() { AddAllSheets(lists, messages(), busyPointer()); }

void Form1::Command20_Click() { AddAllExcelFiles(lists, messages(), busyPointer()); }

// ---------------------------------------------------------------------------------------
// Merging

void Form1::Command18_Click() {
  std::string gapText = Text1->text().toStdString();
  const std::string typed = gapText;
  MergeCommand(lists.merges, gapText, Combo1->currentIndex(), gapCount, messages(), progress(), nullptr, mergeOptions);
  if (gapText != typed) Text1->setText(QString::fromStdString(gapText));
}
void Form1::Merge_Click() { Command18_Click(); }

void Form1::MergeOptions_Click() {
  Dialog3 dialog(storedFolder_, messages());
  if (dialog.exec() == QDialog::Accepted) mergeOptions = dialog.Options();
}

void Form1::Text1_LostFocus() {
  // The gap count is read only when a merge starts.
}

// ---------------------------------------------------------------------------------------
// Settings, help, home page, About, Exit

void Form1::Settings_Click() {
  Dialog2 dialog(storedFolder_, messages());
  dialog.exec();
}

void Form1::Command12_Click() {
  // help.chm beside the program when there is one; else the manual Corvane ships, in the
  // browser, or in a window of our own when no browser could be started. With neither file
  // nothing happens and nothing is said.
  const QString chm = folder_ + QStringLiteral("/help.chm");
  if (QFileInfo::exists(chm)) {
    openUrl_(QUrl::fromLocalFile(chm));
    return;
  }
  const QString manual = ManualPath(folder_);
  if (manual.isEmpty() || openUrl_(QUrl::fromLocalFile(manual))) return;
  if (!helpWindow_) helpWindow_ = new HelpWindow(manual, this);
  helpWindow_->show();
  helpWindow_->raise();
  helpWindow_->activateWindow();
}
void Form1::Help_Click() { Command12_Click(); }

void Form1::Command13_Click() { openUrl_(QUrl(QString::fromLatin1(kHomePage))); }
void Form1::HomePage_Click() { Command13_Click(); }

void Form1::About_Click() {
  Dialog1 dialog(this);
  dialog.exec();
}

void Form1::Command9_Click() { close(); }

}  // namespace corvane
