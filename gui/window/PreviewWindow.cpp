#include "gui/window/PreviewWindow.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>
#include <utility>

#include <QBrush>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>

#include "engine/files/File.h"
#include "gui/controls/Controls.h"
#include "gui/window/StatusText.h"
#include "system/EntryIdentity.h"
#include "system/Exception.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// A change of the rules waits this long for its result before the rows on
// screen show their new names on their own: a small folder's whole result
// comes first, and nothing flickers.
constexpr int kPendingMs = 30;
// The pause in typing after which the folder field is taken.
constexpr int kFolderPauseMs = 400;
// Changes in the folder come in bursts: listed once they settle.
constexpr int kSettleMs = 250;
// A folder on a network raises no event for another machine's changes.
constexpr int kPollMs = 1000;

const char* const kTitles[] = {"対象", "状態", "新しい名前", "元の名前"};
const char* const kFilters[] = {"変更のみ", "すべて", "エラーのみ", "除外のみ"};

QString StateText(const PreviewPlan& p, std::uint32_t k) {
  const PlannedEntry& e = p.Plan.Entries[k];
  if (e.Excluded) return QStringLiteral("除外");
  if (e.Unchanged) return QStringLiteral("変更なし");
  if (p.Why[k]) return QString::fromStdString("Error: " + RefusalText(p.Why[k].Full()));
  // A file that came late says which recording it follows, as its line will.
  if (!p.Plan.Late.empty() && p.Plan.Late.count(k) != 0)
    return QString::fromStdString("Rename: " + FollowNote(LineOf(*p.Snapshot, p.Plan, k, {}).Follows));
  return QStringLiteral("Rename");
}

QString Shown(std::string_view name) { return QString::fromStdString(DisplayName(name)); }

}  // namespace

// The thread's side. A folder on a mount that no longer answers may hold
// the thread for good, past the watch's end: all it touches is its own,
// and it tells the watch only while the watch lives.
struct TFolderWatch::Owner {
  std::mutex Mutex;
  TFolderWatch* Watch;
};

class TFolderWatch::Core : public QObject {
 public:
  explicit Core(std::shared_ptr<Owner> owner)
      : owner_(std::move(owner)), watcher_(new QFileSystemWatcher(this)), poll_(new QTimer(this)) {
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
      // What the event told, the next look need not tell again.
      EntryId now;
      if (seen_ && IdentityOf(folder_, now) && now.Dev == id_.Dev && now.Ino == id_.Ino) id_ = now;
      Tell();
    });
  }
  void Start() { poll_->start(); }
  void Watch(const std::string& folder) {
    folder_ = folder;
    Rewatch();
  }

 private:
  void Rewatch() {
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    const bool folder = !folder_.empty() && folder_.front() == PathDelim && DirectoryExists(folder_);
    if (folder) watcher_->addPath(QString::fromStdString(folder_));
    seen_ = folder && static_cast<bool>(IdentityOf(folder_, id_));
  }
  void Poll() {
    if (folder_.empty()) return;
    EntryId now;
    const bool seen = static_cast<bool>(IdentityOf(folder_, now));
    if (seen == seen_ && (!seen || now == id_)) return;
    // Made, gone or replaced: watched anew; only changed (another machine's
    // change to a network folder raises no event here): told all the same.
    if (seen != seen_ || now.Dev != id_.Dev || now.Ino != id_.Ino)
      Rewatch();
    else
      id_ = now;
    Tell();
  }
  void Tell() {
    const std::lock_guard lock(owner_->Mutex);
    if (TFolderWatch* watch = owner_->Watch)
      QMetaObject::invokeMethod(watch, [watch] { watch->changed_(); }, Qt::QueuedConnection);
  }

  std::shared_ptr<Owner> owner_;
  QFileSystemWatcher* watcher_;
  QTimer* poll_;
  std::string folder_;
  EntryId id_;
  bool seen_ = false;
};

TFolderWatch::TFolderWatch(std::function<void()> changed, QObject* parent)
    : QObject(parent),
      changed_(std::move(changed)),
      owner_(std::make_shared<Owner>()),
      thread_(new QThread),
      core_(new Core(owner_)) {
  owner_->Watch = this;
  core_->moveToThread(thread_);
  // Its timer is stopped on its own thread, as Qt wants.
  connect(thread_, &QThread::finished, core_, &QObject::deleteLater);
  thread_->start();
  QMetaObject::invokeMethod(core_, [core = core_] { core->Start(); }, Qt::QueuedConnection);
}

TFolderWatch::~TFolderWatch() {
  {
    const std::lock_guard lock(owner_->Mutex);
    owner_->Watch = nullptr;
  }
  thread_->quit();
  // A folder on a mount that no longer answers may hold the thread for
  // good: then it is left to end with the process.
  if (!thread_->wait(2000)) return;
  delete thread_;
}

void TFolderWatch::Watch(const std::string& folder) {
  QMetaObject::invokeMethod(core_, [core = core_, folder] { core->Watch(folder); }, Qt::QueuedConnection);
}

TPreviewModel::TPreviewModel(QObject* parent) : TCheckModel(parent) {}

int TPreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TPreviewModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

const Listed& TPreviewModel::EntryOf(int row) const {
  return plan_->Snapshot->Entries[plan_->Plan.Entries[Position(row)].Entry];
}

const PlannedEntry& TPreviewModel::Planned(int row) const { return plan_->Plan.Entries[Position(row)]; }

QVariant TPreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const std::uint32_t k = Position(index.row());
  const PlannedEntry& e = plan_->Plan.Entries[k];
  const Listed& entry = plan_->Snapshot->Entries[e.Entry];
  const bool error = !pending_ && e.Tried() && static_cast<bool>(plan_->Why[k]);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      switch (index.column()) {
        case kState: return pending_ ? QStringLiteral("計算中…") : StateText(*plan_, k);
        case kNewName: {
          const auto it = pendingNames_.find(k);
          if (it != pendingNames_.end()) return Shown(it->second);
          return Shown(NewNameOf(*plan_, k));
        }
        case kOldName: return Shown(entry.Name);
        default: return {};
      }
    case Qt::AccessibleTextRole:
      // A box is read with the name it leaves in or out.
      return index.column() == kTick ? Shown(entry.Name) : data(index, Qt::DisplayRole);
    case Qt::CheckStateRole:
      if (index.column() != kTick || e.Main != kNoMain) return {};
      return Excluded.count(entry.Name) != 0 ? Qt::Unchecked : Qt::Checked;
    case Qt::ForegroundRole:
      if (error && index.column() == kState) return QBrush(QColor(0xB0, 0x00, 0x00));
      if (!pending_ && (e.Excluded || e.Unchanged)) return QBrush(QColor(0x80, 0x80, 0x80));
      return {};
    case Qt::BackgroundRole:
      return error ? QVariant(QBrush(QColor(0xFF, 0xE0, 0xE0))) : QVariant();
    default:
      return {};
  }
}

QVariant TPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= 4)
    return TCheckModel::headerData(section, orientation, role);
  return QString::fromUtf8(kTitles[section]);
}

Qt::ItemFlags TPreviewModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.isValid() && index.column() == kTick && index.row() < rowCount() && Planned(index.row()).Main == kNoMain)
    f |= Qt::ItemIsUserCheckable;
  return f;
}

bool TPreviewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !(flags(index) & Qt::ItemIsUserCheckable)) return false;
  SetTicks({index.row()}, value.toInt() == Qt::Checked ? Tick::On : Tick::Off);
  return true;
}

void TPreviewModel::SetTicks(const std::vector<int>& rows, Tick how) {
  int first = -1;
  int last = -1;
  for (const int row : rows) {
    if (row < 0 || row >= rowCount() || Planned(row).Main != kNoMain) continue;
    const std::string& name = EntryOf(row).Name;
    const bool out = Excluded.count(name) != 0;
    const bool leaveOut = how == Tick::Off || (how == Tick::Invert && !out);
    if (leaveOut == out) continue;
    if (leaveOut)
      Excluded.insert(name);
    else
      Excluded.erase(name);
    if (first < 0) first = row;
    last = row;
  }
  if (first < 0) return;
  emit dataChanged(index(first, kTick), index(last, kTick), {Qt::CheckStateRole});
  if (TicksChanged) TicksChanged();
}

bool TPreviewModel::SameRows(const PreviewResult& result) const {
  // By the key the worker made: comparing a million rows here would hold
  // the window up.
  return plan_ && result.Plan && plan_->Snapshot == result.Plan->Snapshot && rows_.size() == result.Rows.size() &&
         rowsKey_ == result.RowsKey;
}

PreviewResult TPreviewModel::Show(PreviewResult result) {
  const bool same = SameRows(result);
  if (!same) beginResetModel();
  PreviewResult old;
  old.Plan = std::exchange(plan_, std::move(result.Plan));
  old.Rows = std::exchange(rows_, std::move(result.Rows));
  rowsKey_ = result.RowsKey;
  pendingNames_.clear();
  pending_ = false;
  if (!same)
    endResetModel();
  else if (!rows_.empty())
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));  // one change for every row
  return old;
}

void TPreviewModel::ShowPending(std::unordered_map<std::uint32_t, std::string> names) {
  pendingNames_ = std::move(names);
  pending_ = true;
  if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

PreviewResult TPreviewModel::Clear() {
  beginResetModel();
  PreviewResult old;
  old.Plan = std::move(plan_);
  old.Rows = std::move(rows_);
  rows_ = {};
  pendingNames_.clear();
  pending_ = false;
  endResetModel();
  return old;
}

QString PreviewSummary(std::size_t renames, std::size_t errors, std::size_t excluded) {
  return QStringLiteral("変更 %1 件 / エラー %2 件 / 除外 %3 件")
      .arg(CountText(renames), CountText(errors), CountText(excluded));
}

TPreviewWindow::TPreviewWindow(QWidget* owner)
    : QWidget(owner, Qt::Window),
      worker_(std::make_unique<TPreviewWorker>(this, [this](PreviewResult r) { Deliver(std::move(r)); })),
      watch_(new TFolderWatch([this] { relistTimer_.start(); }, this)) {
  setWindowTitle(QStringLiteral("プレビュー"));
  resize(kPreviewFirstBounds.Width, kPreviewFirstBounds.Height);
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout();
  Summary = new QLabel(this);
  Summary->setObjectName(QStringLiteral("summary"));
  Summary->setAccessibleName(QStringLiteral("集計"));
  Summary->setTextFormat(Qt::PlainText);
  top->addWidget(Summary, 1);
  auto* shows = new QLabel(QStringLiteral("表示"), this);
  Filter = new QComboBox(this);
  Filter->setObjectName(QStringLiteral("filter"));
  for (const char* item : kFilters) Filter->addItem(QString::fromUtf8(item));
  shows->setBuddy(Filter);  // so that a screen reader names the box
  top->addWidget(shows);
  top->addWidget(Filter);
  layout->addLayout(top);

  Table = new TCheckTable(this);
  Table->setObjectName(QStringLiteral("table"));
  Table->setAccessibleName(QStringLiteral("プレビュー"));
  Model = new TPreviewModel(Table);
  Table->setModel(Model);
  // Fixed widths: sizing columns to their contents would read every row.
  QHeaderView* header = Table->horizontalHeader();
  header->resizeSection(TPreviewModel::kTick, 44);
  header->resizeSection(TPreviewModel::kState, 190);
  header->resizeSection(TPreviewModel::kNewName, 260);
  header->setStretchLastSection(true);
  header->setSectionsClickable(true);
  layout->addWidget(Table, 1);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  BtnRename = new QPushButton(QStringLiteral("リネーム"), this);
  BtnRename->setObjectName(QStringLiteral("rename"));
  BtnRename->setEnabled(false);
  BtnClose = new QPushButton(QStringLiteral("閉じる"), this);
  BtnClose->setObjectName(QStringLiteral("close"));
  buttons->addWidget(BtnRename);
  buttons->addWidget(BtnClose);
  layout->addLayout(buttons);

  for (QTimer* timer : {&rulesTimer_, &folderTimer_, &relistTimer_, &pendingTimer_}) timer->setSingleShot(true);
  rulesTimer_.setInterval(0);
  folderTimer_.setInterval(kFolderPauseMs);
  relistTimer_.setInterval(kSettleMs);
  pendingTimer_.setInterval(kPendingMs);
  connect(&rulesTimer_, &QTimer::timeout, this, [this] { Request(false, true); });
  connect(&folderTimer_, &QTimer::timeout, this, [this] { TakeFolderText(); });
  connect(&relistTimer_, &QTimer::timeout, this, [this] { Request(true, true); });
  connect(&pendingTimer_, &QTimer::timeout, this, [this] { ShowPendingNames(); });

  Model->TicksChanged = [this] {
    exclude_.reset();
    rulesTimer_.start();
  };
  connect(Filter, &QComboBox::currentIndexChanged, this, [this](int i) {
    filter_ = static_cast<PreviewFilter>(i);
    Request(false, false);
  });
  connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
    const auto sort = static_cast<PreviewSort>(column + 1);
    descending_ = sort == sort_ && !descending_;
    sort_ = sort;
    header->setSortIndicator(column, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    Request(false, false);
  });
  connect(BtnRename, &QPushButton::clicked, this, [this] {
    if (RenameProc) RenameProc();
  });
  connect(BtnClose, &QPushButton::clicked, this, &QWidget::close);
  // As a dialog would.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

TPreviewWindow::~TPreviewWindow() = default;

void TPreviewWindow::SetPlace(const WindowBounds& b, bool placed) {
  place_ = b;
  placed_ = placed;
}

bool TPreviewWindow::Place(WindowBounds& b) const {
  if (isVisible())
    b = {x(), y(), width(), height()};
  else
    b = place_;
  return placed_ || opened_;
}

void TPreviewWindow::Open() {
  if (isVisible()) {
    raise();
    activateWindow();
    return;
  }
  if (!placed_ && !opened_) {
    // The first time beside the main window, on its screen, where it fits.
    const QWidget* owner = parentWidget();
    const QRect area = owner->screen()->availableGeometry();
    const QRect frame = owner->frameGeometry();
    int left = frame.right() + 1;
    if (left + place_.Width > area.right() + 1) left = frame.left() - place_.Width;
    if (left < area.left()) left = std::max(area.left(), area.right() + 1 - place_.Width);
    place_ = {left, std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - place_.Height)),
              place_.Width, place_.Height};
  }
  resize(place_.Width, place_.Height);
  move(place_.Left, place_.Top);
  opened_ = true;
  show();
  SetSummary(QStringLiteral("計算中…"));
  folderText_ = FolderProc ? FolderProc() : std::string();
  folder_ = WithoutTrailingSeparators(FolderOfText(folderText_));
  watch_->Watch(folder_);
  Request(true, true);
}

void TPreviewWindow::RulesChanged() {
  if (isVisible()) rulesTimer_.start();
}

void TPreviewWindow::FolderTextChanged() {
  if (isVisible()) folderTimer_.start();
}

bool TPreviewWindow::Busy() const {
  return rulesTimer_.isActive() || folderTimer_.isActive() || relistTimer_.isActive() || worker_->Latest() != shown_;
}

void TPreviewWindow::TakeFolderText() {
  const std::string text = FolderProc ? FolderProc() : std::string();
  if (text == folderText_) return;
  const std::string folder(WithoutTrailingSeparators(FolderOfText(text)));
  // Another folder: what was left out were names of the old one.
  if (folder != folder_ && !Model->Excluded.empty()) {
    Model->Excluded.clear();
    exclude_.reset();
  }
  folderText_ = text;
  folder_ = folder;
  // The rows of another folder text are no preview of this one.
  worker_->Dispose(Model->Clear());
  SetSummary(QStringLiteral("計算中…"));
  watch_->Watch(folder_);
  Request(true, true);
}

void TPreviewWindow::Request(bool relist, bool replan) {
  if (!isVisible()) return;
  PreviewRequest request;
  request.FolderText = folderText_;
  if (OptionsProc) request.Options = OptionsProc();
  request.Earlier = Earlier;
  if (!exclude_) exclude_ = std::make_shared<const NameSet>(Model->Excluded);
  request.Exclude = exclude_;
  request.Relist = relist;
  request.Replan = replan;
  request.Filter = filter_;
  request.Sort = sort_;
  request.Descending = descending_;
  request.FirstRowsFirst = relist && Model->rowCount() == 0;
  worker_->Request(std::move(request));
  if (replan && !pendingTimer_.isActive()) pendingTimer_.start();
}

void TPreviewWindow::Deliver(PreviewResult result) {
  // Overtaken on its way here: never shown.
  if (result.Generation != worker_->Latest() || !isVisible()) {
    worker_->Dispose(std::move(result));
    return;
  }
  const bool partial = result.Partial;
  if (!partial) pendingTimer_.stop();
  const std::shared_ptr<const PreviewPlan> plan = result.Plan;
  const bool same = Model->SameRows(result);
  // A new set of rows: the selection, the current row and the place
  // scrolled to stay with their entries.
  std::unordered_set<std::string_view> selected;
  std::string current;
  const int scrolled = Table->verticalScrollBar()->value();
  if (!same && Model->Plan()) {
    for (const int row : Table->SelectedRows()) selected.insert(Model->EntryOf(row).Name);
    if (Table->currentIndex().isValid()) current = Model->EntryOf(Table->currentIndex().row()).Name;
  }
  const int column = Table->currentIndex().isValid() ? Table->currentIndex().column() : 0;
  // The names selected point into the rows shown until now: they are let go
  // only once the selection has found its entries again.
  PreviewResult shownBefore = Model->Show(std::move(result));
  if (!same) {
    std::vector<int> rows;
    if (!selected.empty() || !current.empty())
      for (int r = 0; r < Model->rowCount(); ++r) {
        const std::string& name = Model->EntryOf(r).Name;
        if (selected.count(name) != 0) rows.push_back(r);
        if (!current.empty() && name == current)
          Table->selectionModel()->setCurrentIndex(Model->index(r, column), QItemSelectionModel::NoUpdate);
      }
    if (!rows.empty()) Table->SelectRows(rows);
    Table->ScrollAfterReset(scrolled);
  }
  // A million entries take 100 ms to free: not on this thread, which never
  // frees what the worker made.
  worker_->Dispose(std::move(shownBefore));
  if (partial) return;  // the whole, with its counts, follows
  shown_ = worker_->Latest();
  if (!plan->Problem.empty()) {
    SetSummary(QString::fromStdString(plan->Problem));
  } else if (plan->Snapshot->Folder != FolderState::Listed) {
    SetSummary(QString::fromStdString(
        FolderProblemText(plan->Snapshot->Folder, plan->Snapshot->FolderText, plan->Snapshot->FolderError)));
  } else {
    SetSummary(PreviewSummary(plan->Renames, plan->Errors, plan->Plan.Excluded));
  }
  BtnRename->setEnabled(plan->Problem.empty() && plan->Renames + plan->Errors > 0);
  TellExclusions(plan->Plan.Excluded);
}

void TPreviewWindow::ShowPendingNames() {
  if (!Busy() || !Model->Plan() || Model->rowCount() == 0) return;
  const PreviewPlan& plan = *Model->Plan();
  std::unordered_map<std::uint32_t, std::string> names;
  try {
    const Planner planner(OptionsProc ? OptionsProc() : RenameOptions());
    const int first = std::max(0, Table->rowAt(0));
    int last = Table->rowAt(Table->viewport()->height() - 1);
    if (last < 0) last = Model->rowCount() - 1;
    // The rows on screen only: a few dozen names through the rules.
    for (int r = first; r <= last; ++r) {
      const std::uint32_t k = Model->Position(r);
      names[k] = PlannedName(planner, *plan.Snapshot, plan.Plan, k);
    }
  } catch (const Exception&) {
    names.clear();  // a row that does not compile: the result will say so
  }
  Model->ShowPending(std::move(names));
}

void TPreviewWindow::SetSummary(const QString& text) {
  Summary->setText(text);
  // Qt reads a label's accessible name, not its text, once it has a name.
  Summary->setAccessibleDescription(text);
}

void TPreviewWindow::TellExclusions(std::size_t left) {
  if (left == toldLeft_) return;
  toldLeft_ = left;
  if (ExclusionsChanged) ExclusionsChanged(left);
}

void TPreviewWindow::closeEvent(QCloseEvent* event) {
  place_ = {x(), y(), width(), height()};
  // Closing ends the exclusions, and lets go of the listing and the plan.
  Model->Excluded.clear();
  exclude_.reset();
  for (QTimer* timer : {&rulesTimer_, &folderTimer_, &relistTimer_, &pendingTimer_}) timer->stop();
  watch_->Watch({});
  worker_->Dispose(Model->Clear());
  worker_->Forget();
  Summary->clear();
  BtnRename->setEnabled(false);
  TellExclusions(0);
  event->accept();
}

}  // namespace quor
