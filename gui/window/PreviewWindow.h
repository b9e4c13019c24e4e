#pragma once

// The preview: a window beside the main one that shows, live, what リネーム
// would do now, and lets entries be left out. Every change of the rules, of
// the folder field or of what the folder holds shows without a button; the
// listing and the planning run off the GUI thread (PreviewWorker.h), and
// the table reads only the rows on screen, so that a folder of 100,000
// entries never holds the window up.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QTimer>
#include <QWidget>

#include "engine/settings/Settings.h"
#include "gui/controls/CheckTable.h"
#include "gui/window/PreviewWorker.h"

class QComboBox;
class QLabel;
class QPushButton;
class QThread;

namespace quor {

// Follows what one folder holds, from a thread of its own: the system
// tells of a change (inotify), and the folder is asked every second too,
// since a folder on a network raises no event for another machine's
// changes. On that thread, a folder on a mount that no longer answers holds
// nothing up, and neither does the watch put on a folder, for which the
// system visits every entry of it that it holds in memory (a tenth of a
// second for a million).
class TFolderWatch : public QObject {
 public:
  // `changed` runs on the thread of the caller when the folder's entries
  // may have changed, or the folder came or went.
  explicit TFolderWatch(std::function<void()> changed, QObject* parent = nullptr);
  ~TFolderWatch() override;
  // Follows `folder` instead ("" for none).
  void Watch(const std::string& folder);

 private:
  class Core;   // what lives on the watch's thread
  struct Owner;  // where the thread tells a change, while this lives
  std::function<void()> changed_;
  std::shared_ptr<Owner> owner_;
  QThread* thread_;
  Core* core_;
};

// One row per planned entry that the filter shows: 対象 (a box, except for
// a companion, which follows its recording), 状態, 新しい名前, 元の名前.
class TPreviewModel : public TCheckModel {
 public:
  enum Column { kTick, kState, kNewName, kOldName };

  explicit TPreviewModel(QObject* parent = nullptr);

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void SetTicks(const std::vector<int>& rows, Tick how) override;

  // Whether `result` shows the same entries in the same rows as now, so
  // that only their texts change.
  [[nodiscard]] bool SameRows(const PreviewResult& result) const;
  // Shows a finished result (by SameRows, a change of every row's texts or
  // new rows); the result shown before, for the caller to let go of where
  // its freeing holds nothing up.
  [[nodiscard]] PreviewResult Show(PreviewResult result);
  // While newer work goes on: the new names that the rows on screen will
  // have (by position in the plan), and every state as not known yet.
  void ShowPending(std::unordered_map<std::uint32_t, std::string> names);
  [[nodiscard]] bool Pending() const { return pending_; }
  // Shows nothing; the result shown before, as Show.
  [[nodiscard]] PreviewResult Clear();

  [[nodiscard]] const std::shared_ptr<const PreviewPlan>& Plan() const { return plan_; }
  // The plan's position of a row.
  [[nodiscard]] std::uint32_t Position(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The listed entry of a row.
  [[nodiscard]] const Listed& EntryOf(int row) const;

  // The names of the entries left out; the boxes show a change at once.
  NameSet Excluded;
  // Told after the user ticked or unticked boxes.
  std::function<void()> TicksChanged;

 private:
  // The row's entry's own box: its recording's for a companion.
  [[nodiscard]] const PlannedEntry& Planned(int row) const;

  std::shared_ptr<const PreviewPlan> plan_;
  std::vector<std::uint32_t> rows_;
  std::uint64_t rowsKey_ = 0;
  std::unordered_map<std::uint32_t, std::string> pendingNames_;
  bool pending_ = false;
};

// "変更 1,234 件 / エラー 3 件 / 除外 2 件"
[[nodiscard]] QString PreviewSummary(std::size_t renames, std::size_t errors, std::size_t excluded);

class TPreviewWindow : public QWidget {
 public:
  // A window of `owner`'s, not modal: the owner stays usable beside it.
  explicit TPreviewWindow(QWidget* owner);
  ~TPreviewWindow() override;

  // What the preview reads from the main window: its folder text, and the
  // rules as its controls show them now (a cell being edited included).
  std::function<std::string()> FolderProc;
  std::function<RenameOptions()> OptionsProc;
  // The renames of earlier runs that files coming late follow, as a run asks for them.
  EarlierRenamesFn Earlier;
  // The リネーム button: the main window's run, which leaves Exclusions() out.
  std::function<void()> RenameProc;
  // Told when the count of entries left out changes (0 when the window closes).
  std::function<void(std::size_t left)> ExclusionsChanged;

  // Where the window opens: `b`, or beside the owner while `placed` is false.
  void SetPlace(const WindowBounds& b, bool placed);
  // Where it is (or was when it closed); false while it never opened and
  // no place was set.
  [[nodiscard]] bool Place(WindowBounds& b) const;

  // Shows the window and what the folder and the rules give now; raises it
  // when it is open.
  void Open();
  // The main window's rules changed: shown at once.
  void RulesChanged();
  // Its folder field changed: shown after a short pause in typing.
  void FolderTextChanged();

  // The names left out while the window is open: empty otherwise.
  [[nodiscard]] const NameSet& Exclusions() const { return Model->Excluded; }
  // Whether a newer state than the one shown is still being worked on.
  [[nodiscard]] bool Busy() const;
  // The generation of the result shown, for tests.
  [[nodiscard]] std::uint64_t ShownGeneration() const { return shown_; }
  [[nodiscard]] TPreviewWorker& Worker() { return *worker_; }

  TCheckTable* Table;
  TPreviewModel* Model;
  QLabel* Summary;
  QComboBox* Filter;
  QPushButton* BtnRename;
  QPushButton* BtnClose;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Request(bool relist, bool replan);
  void Deliver(PreviewResult result);
  void ShowPendingNames();
  void TakeFolderText();
  void SetSummary(const QString& text);
  void TellExclusions(std::size_t left);

  std::unique_ptr<TPreviewWorker> worker_;
  TFolderWatch* watch_;
  std::shared_ptr<const NameSet> exclude_;  // what the worker is asked to leave out; none after a change
  QTimer rulesTimer_;    // gathers the changes of one event into one request
  QTimer folderTimer_;   // the pause after typing in the folder field
  QTimer relistTimer_;   // the settling of changes in the folder
  QTimer pendingTimer_;  // when to show the names of the rows on screen first
  std::string folderText_;  // what the shown listing is of
  std::string folder_;      // its folder: the exclusions are names in it
  std::uint64_t shown_ = 0;
  std::size_t toldLeft_ = 0;
  PreviewFilter filter_ = PreviewFilter::Changed;
  PreviewSort sort_ = PreviewSort::RunOrder;
  bool descending_ = false;
  WindowBounds place_ = kPreviewFirstBounds;
  bool placed_ = false;
  bool opened_ = false;
};

}  // namespace quor
