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
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QMenuBar>
#include <QProgressBar>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QStylePainter>
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

// The delegate's own layout of an item, so a click can be told to be on the check box.
class ListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  using QStyledItemDelegate::initStyleOption;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// PictureButton

PictureButton::PictureButton(const QString& caption, const QIcon& picture, QSize pictureSize, QWidget* parent)
    : QPushButton(caption, parent), pictureSize_(pictureSize) {
  setIcon(picture);
  setIconSize(pictureSize);
}

void PictureButton::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  opt.text.clear();
  opt.icon = QIcon();
  p.drawControl(QStyle::CE_PushButtonBevel, opt);

  QRect r = rect();
  if (isDown())
    r.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
  const int textHeight = text().isEmpty() ? 0 : fontMetrics().height();
  const int total = pictureSize_.height() + textHeight;
  const int top = r.top() + std::max(1, (r.height() - total) / 2);
  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  QPixmap pm = icon().pixmap(pictureSize_, devicePixelRatio(), mode);
  p.drawPixmap(QPoint(r.left() + (r.width() - pictureSize_.width()) / 2, top), pm);
  if (textHeight)
    p.drawItemText(QRect(r.left() + 2, top + pictureSize_.height(), r.width() - 4, textHeight), Qt::AlignHCenter | Qt::AlignTop,
                   palette(), isEnabled(), text(), QPalette::ButtonText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(4, 4, -4, -4);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

// ---------------------------------------------------------------------------------------
// ListView

ListView::ListView(ListModel& model, bool checkBoxes, QWidget* parent)
    : QTreeWidget(parent), model_(model), checkBoxes_(checkBoxes) {
  setItemDelegate(new ListDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  model_.SetObserver({[this] { schedule(); },
                      [this](int pos) {
                        SyncNow();
                        if (QTreeWidgetItem* item = topLevelItem(pos - 1)) scrollToItem(item);
                      }});
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { currentChanged(current); });
  connect(this, &QTreeWidget::itemChanged, this, &ListView::itemChangedByUser);
  SyncNow();
}

ListView::~ListView() { model_.SetObserver({}); }

void ListView::SetImages(std::vector<QIcon> images) {
  images_ = std::move(images);
  // Redraw every entry with the new images.
  syncing_ = true;
  for (int i = 0; i < topLevelItemCount() && i < static_cast<int>(shown_.size()); ++i) fill(topLevelItem(i), shown_[i]);
  syncing_ = false;
}

void ListView::schedule() {
  if (pending_) return;
  pending_ = true;
  QMetaObject::invokeMethod(
      this, [this] { if (pending_) SyncNow(); }, Qt::QueuedConnection);
}

void ListView::fill(QTreeWidgetItem* item, const ListEntry& e) const {
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (checkBoxes_) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  item->setText(0, QString::fromStdString(e.text));
  if (columnCount() > 1) item->setText(1, QString::fromStdString(e.subText));
  const bool hasImage = e.icon >= 1 && e.icon <= static_cast<int>(images_.size());
  item->setIcon(0, hasImage ? images_[static_cast<size_t>(e.icon - 1)] : QIcon());
  if (checkBoxes_) item->setCheckState(0, e.checked ? Qt::Checked : Qt::Unchecked);
}

void ListView::SyncNow() {
  pending_ = false;
  syncing_ = true;
  const int n = model_.Count();
  const int m = static_cast<int>(shown_.size());
  if (n == 0) {
    clear();
    shown_.clear();
  } else {
    // Only the entries between an unchanged beginning and an unchanged end are touched.
    auto same = [&](int i, int j) {
      const ListEntry& a = model_.Item(i + 1);
      const ListEntry& b = shown_[static_cast<size_t>(j)];
      return a.checked == b.checked && a.icon == b.icon && a.text == b.text && a.subText == b.subText;
    };
    int head = 0;
    while (head < n && head < m && same(head, head)) ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head && same(n - 1 - tail, m - 1 - tail)) ++tail;
    const int oldMid = m - head - tail, newMid = n - head - tail, common = std::min(oldMid, newMid);
    for (int k = 0; k < common; ++k) {
      const ListEntry& e = model_.Item(head + k + 1);
      fill(topLevelItem(head + k), e);
      shown_[static_cast<size_t>(head + k)] = e;
    }
    if (oldMid > newMid) {
      for (int k = common; k < oldMid; ++k) delete takeTopLevelItem(head + common);
      shown_.erase(shown_.begin() + head + common, shown_.begin() + head + oldMid);
    } else if (newMid > oldMid) {
      QList<QTreeWidgetItem*> items;
      std::vector<ListEntry> entries;
      for (int k = common; k < newMid; ++k) {
        const ListEntry& e = model_.Item(head + k + 1);
        auto* item = new QTreeWidgetItem;
        fill(item, e);
        items.append(item);
        entries.push_back(e);
      }
      insertTopLevelItems(head + common, items);
      shown_.insert(shown_.begin() + head + common, entries.begin(), entries.end());
    }
  }
  const int selected = model_.SelectedIndex();
  QTreeWidgetItem* want = selected ? topLevelItem(selected - 1) : nullptr;
  if (want) {
    if (currentItem() != want || !want->isSelected()) setCurrentItem(want);
  } else {
    setCurrentItem(nullptr);
    clearSelection();
  }
  syncing_ = false;
}

void ListView::currentChanged(QTreeWidgetItem* current) {
  if (syncing_ || !current) return;
  const int row = indexOfTopLevelItem(current);
  if (row >= 0 && row < model_.Count() && model_.SelectedIndex() != row + 1) model_.Select(row + 1);
}

void ListView::itemChangedByUser(QTreeWidgetItem* item, int column) {
  if (syncing_ || !checkBoxes_ || column != 0) return;
  const int row = indexOfTopLevelItem(item);
  if (row < 0 || row >= static_cast<int>(shown_.size()) || row >= model_.Count()) return;
  const bool checked = item->checkState(0) == Qt::Checked;
  if (shown_[static_cast<size_t>(row)].checked == checked) return;
  shown_[static_cast<size_t>(row)].checked = checked;
  model_.SetChecked(row + 1, checked);
}

bool ListView::onCheckBox(const QPoint& pos, QTreeWidgetItem** item) const {
  if (!checkBoxes_) return false;
  const QModelIndex index = indexAt(pos);
  if (!index.isValid() || index.column() != 0) return false;
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  static_cast<ListDelegate*>(itemDelegate())->initStyleOption(&opt, index);
  const QRect box = style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, this);
  if (!box.contains(pos)) return false;
  *item = itemFromIndex(index);
  return *item != nullptr;
}

void ListView::mousePressEvent(QMouseEvent* e) {
  if (pending_) SyncNow();
  swallowRelease_ = false;
  const QPoint pos = e->position().toPoint();
  QTreeWidgetItem* item = nullptr;
  if (e->button() == Qt::LeftButton && onCheckBox(pos, &item)) {
    // Ticking leaves the selection where it is.
    setFocus(Qt::MouseFocusReason);
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    swallowRelease_ = true;
    e->accept();
    return;
  }
  // Only a left click on an entry chooses it; elsewhere the selection stays.
  if (e->button() != Qt::LeftButton || !indexAt(pos).isValid()) {
    setFocus(Qt::MouseFocusReason);
    swallowRelease_ = true;
    e->accept();
    return;
  }
  // The press chooses the entry, so the choice is reported at once: a release elsewhere
  // cannot leave an entry selected whose click was never reported.
  QTreeWidget::mousePressEvent(e);
  if (currentItem()) emit ItemClick();
}

void ListView::mouseMoveEvent(QMouseEvent* e) {
  // Dragging with the button held does not carry the selection along.
  if (e->buttons() & Qt::LeftButton) {
    e->accept();
    return;
  }
  QTreeWidget::mouseMoveEvent(e);
}

void ListView::mouseReleaseEvent(QMouseEvent* e) {
  if (swallowRelease_) {
    swallowRelease_ = false;
    e->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(e);
}

void ListView::mouseDoubleClickEvent(QMouseEvent* e) {
  swallowRelease_ = true;
  e->accept();
  if (e->button() != Qt::LeftButton) return;
  QTreeWidgetItem* item = nullptr;
  if (onCheckBox(e->position().toPoint(), &item)) {
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    return;
  }
  emit DblClick();
}

void ListView::keyPressEvent(QKeyEvent* e) {
  if (pending_) SyncNow();
  QTreeWidgetItem* before = currentItem();
  QTreeWidget::keyPressEvent(e);
  QTreeWidgetItem* after = currentItem();
  if (after && after != before) emit ItemClick();
}

namespace {

// The local files and folders a drag carries, in its order.
QStringList DroppedPaths(const QMimeData* mime) {
  QStringList paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths << url.toLocalFile();
  return paths;
}

}  // namespace

void ListView::SetAcceptFileDrops(bool accept) {
  fileDrops_ = accept;
  setAcceptDrops(accept);
  viewport()->setAcceptDrops(accept);
}

void ListView::dragEnterEvent(QDragEnterEvent* e) {
  if (!fileDrops_) return QTreeWidget::dragEnterEvent(e);
  if (DroppedPaths(e->mimeData()).isEmpty()) return e->ignore();
  // Always a copy: a file manager told "move" would take the files away.
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void ListView::dragMoveEvent(QDragMoveEvent* e) {
  if (!fileDrops_) return QTreeWidget::dragMoveEvent(e);
  if (DroppedPaths(e->mimeData()).isEmpty()) return e->ignore();
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void ListView::dropEvent(QDropEvent* e) {
  if (!fileDrops_) return QTreeWidget::dropEvent(e);
  const QStringList paths = DroppedPaths(e->mimeData());
  if (paths.isEmpty()) return e->ignore();
  e->setDropAction(Qt::CopyAction);
  e->accept();
  // Reading the workbooks may show messages; that waits until the drag has ended.
  QMetaObject::invokeMethod(this, [this, paths] { emit OLEDragDrop(paths); }, Qt::QueuedConnection);
}

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
