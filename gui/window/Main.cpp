#include "gui/window/Main.h"

#include <algorithm>
#include <cstdio>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QSessionManager>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/files/File.h"
#include "engine/files/FileList.h"
#include "engine/history/FolderHistory.h"
#include "engine/record/Retention.h"
#include "gui/controls/Application.h"
#include "gui/controls/DropFiles.h"
#include "gui/controls/Progress.h"
#include "gui/controls/Screen.h"
#include "gui/support/Waitcursor.h"
#include "gui/window/HistoryDialog.h"
#include "gui/window/PreviewWindow.h"
#include "gui/window/StatusText.h"
#include "system/SystemOps.h"
#include "system/RecordFile.h"
#include "text/Codepage.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

// The resources live in a static library: make sure the linker keeps them.
static void InitQuorResources() { Q_INIT_RESOURCE(quor); }

namespace quor {

namespace {

// The log of a command whose lines come as it goes. It is emptied at the
// first line, or once the command is over, so that a command that never
// started leaves the last one's log alone; the repairs made under the
// command's lock come first.
class LogAsItComes {
 public:
  LogAsItComes(TMemo& memo, const RecoveryReport& repaired) : memo_(memo), repaired_(repaired) {}
  void Start() {
    if (started_) return;
    started_ = true;
    memo_.Clear();
    for (const Repair& repair : repaired_.Repairs) memo_.Lines().Add(FormatLine(repair));
  }
  template <typename Line>
  void Add(const Line& line) {
    Start();
    memo_.Lines().Add(FormatLine(line));
  }

 private:
  TMemo& memo_;
  const RecoveryReport& repaired_;
  bool started_ = false;
};

std::string VersionedCaption() {
  char caption[64];
  std::snprintf(caption, sizeof caption, "Quor Renamer Ver.%d.%.02d.%d", ProgramVersion / 1000,
                ProgramVersion % 1000 / 10, ProgramVersion % 10);
  return caption;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addFile(QStringLiteral(":/icons/quor-renamer-%1.png").arg(size), QSize(size, size));
  return icon;
}

std::string Count(std::size_t n) { return CountText(n).toStdString(); }

// The status line's start when キャンセル ended a wait for another run.
constexpr const char* kWaitGivenUp = "別の実行が終わるのを待つのをやめました。";

// The status line after a rename.
std::string RenameSummary(const std::string& command, const RenameOutcome& outcome, const std::string& folder) {
  if (outcome.Folder == FolderState::NotAbsolute)
    return FolderProblemText(outcome.Folder, folder, 0) + "。何もリネームしていません";
  if (outcome.Folder != FolderState::Listed) return FolderProblemText(outcome.Folder, folder, outcome.FolderError);
  std::string text = command + " " + Count(outcome.Renamed) + " 件、エラー " + Count(outcome.Errors) + " 件";
  if (outcome.Excluded > 0) text += "、除外 " + Count(outcome.Excluded) + " 件";
  if (outcome.Cancelled) text += "（キャンセル）";
  if (outcome.Failure) text += "（中断）";
  return text;
}

// The status line after an undo.
std::string UndoSummary(const UndoOutcome& outcome, std::size_t left) {
  std::string status = "元に戻す " + Count(outcome.GivenBack) + " 件、エラー " + Count(outcome.Errors) + " 件";
  if (outcome.Cancelled) status += "（キャンセル）";
  if (left > 0) status += "。残りの " + Count(left) + " 件は、原因を取り除いてからもう一度「元に戻す」で戻せます";
  return status;
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setAccessibleName(QString::fromUtf8(name));
  return widget;
}

TButton* CommandButton(const char* caption, QWidget* parent) {
  auto* button = Named(new TButton(QString::fromUtf8(caption), parent), caption);
  button->setMinimumSize(75, 25);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TFormRenamer::TFormRenamer(std::string settingsPath, QWidget* parent)
    : QWidget(parent), settingsPath_(std::move(settingsPath)) {
  HelpFile = ChangeFileExt(Application.ExeName(), ".chm", NativeCodepage());
  BuildLayout();

  setWindowTitle(QString::fromStdString(VersionedCaption()));
  UndoOldPaths.clear();
  UndoNewPaths.clear();
  UndoIdentities.clear();
  undoSeqs_.clear();

  FormSettings s = ReadControls();
  try {
    LoadSettings(SettingsFilePath(), s);
  } catch (const Exception& e) {
    // Start with the defaults all the same, and say so once the window is up.
    LoadDefaultSettings(s);
    unreadSettings_ = SettingsFilePath();
    const std::string message = "設定ファイルを読み込めませんでした。既定の設定で起動します。\n"
                                "このファイルは閉じるときにも書き換えません。\n\n" + e.Message();
    QTimer::singleShot(0, this, [message] { Application.ShowException(Exception(message)); });
  }
  WriteControls(s);

  StringGridReplace->Rows(0).SetText(kGridHeader);
  // A broken row read from the file shows at once, not at the first run.
  MarkBrokenPatterns();
  setAcceptDrops(true);
  RecoverInterruptedRuns();
}

TFormRenamer::~TFormRenamer() = default;

void TFormRenamer::BuildLayout() {
  InitQuorResources();
  setWindowTitle(QStringLiteral("Quor Renamer"));
  setWindowIcon(AppIcon());

  PageControl = new TPageControl(this);
  TabSheetRename = new TTabSheet(PageControl);
  TabSheetLog = new TTabSheet(PageControl);
  PageControl->addTab(Named(TabSheetRename, "Rename"), QStringLiteral("Rename"));
  PageControl->addTab(Named(TabSheetLog, "Log"), QStringLiteral("Log"));
  PageControl->setCurrentIndex(0);

  // Rename page: folder row, the two option frames, the replace frame. The
  // tab order is the order of creation, which follows the layout.
  QLayout* folderRow = BuildFolderRow();
  BuildOptionGroup();
  BuildFileListGroup();
  BuildReplaceGroup();
  auto* frames = new QHBoxLayout();
  frames->addWidget(GroupBoxOption);
  frames->addWidget(GroupBoxFileList, 1);
  auto* page = new QVBoxLayout(TabSheetRename);
  page->setContentsMargins(8, 6, 6, 6);
  page->addLayout(folderRow);
  page->addLayout(frames);
  page->addWidget(GroupBoxReplace, 1);

  BuildLogPage();
  BuildCommandStrip();

  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(0, 4, 0, 0);
  form->setSpacing(0);
  form->addWidget(PageControl, 1);
  form->addWidget(Panel1);
  StatusBar = Named(new TStatusBar(this), "状態");
  form->addWidget(StatusBar);
  // Beside what the last command said, for as long as it holds.
  ExclusionNote = new QLabel(StatusBar);
  ExclusionNote->setToolTip(QStringLiteral("プレビューで外した項目は、リネームしません"));
  ExclusionNote->hide();
  StatusBar->addPermanentWidget(ExclusionNote);

  ConnectHandlers();
  resize(kDesignBounds.Width, kDesignBounds.Height);
  move(kDesignBounds.Left, kDesignBounds.Top);
}

QLayout* TFormRenamer::BuildFolderRow() {
  BitBtnFolder = Named(new TBitBtn(TabSheetRename), "フォルダー選択");
  QIcon folderGlyph;
  for (int size : {16, 32})
    folderGlyph.addFile(QStringLiteral(":/icons/folder-%1.png").arg(size), QSize(size, size));
  BitBtnFolder->setIcon(folderGlyph);
  BitBtnFolder->setToolTip(QString::fromUtf8("フォルダー選択"));
  BitBtnFolder->setFixedSize(26, 26);
  BitBtnFolder->setAutoDefault(false);
  EditFolder = Named(new TEdit(TabSheetRename), "フォルダー");
  EditFolder->setAcceptDrops(false);  // a drop anywhere goes to the window
  // Which entries a run takes: the folder and, with it, whether a
  // recording's companion files follow it.
  CheckBoxCompanions = MakeCheckBox(Option::Companions, TabSheetRename);
  auto* row = new QHBoxLayout();
  row->addWidget(BitBtnFolder);
  row->addWidget(EditFolder, 1);
  row->addWidget(CheckBoxCompanions);
  return row;
}

TCheckBox* TFormRenamer::MakeCheckBox(Option id, QWidget* parent) {
  const OptionBox& design = BoxOf(id);
  auto* box = Named(new TCheckBox(QString::fromUtf8(design.Caption), parent), design.Caption);
  box->setObjectName(QString::fromLatin1(design.Control));
  box->setChecked(DefaultOf(id));
  checkBoxes_[static_cast<std::size_t>(id)] = box;
  return box;
}

TCheckBox* TFormRenamer::CheckBoxOf(Option id) const { return checkBoxes_[static_cast<std::size_t>(id)]; }

void TFormRenamer::BuildOptionGroup() {
  GroupBoxOption = Named(new TGroupBox(QString::fromUtf8("オプション"), TabSheetRename), "オプション");
  // Two columns of three.
  CheckBoxZenkakuKakko = MakeCheckBox(Option::KakkoHanToZen, GroupBoxOption);
  CheckBoxWaSpKakko = MakeCheckBox(Option::WaSpaceKakko, GroupBoxOption);
  CheckBoxWaKakko = MakeCheckBox(Option::WaKakko, GroupBoxOption);
  CheckBoxLowerExt = MakeCheckBox(Option::LowerExt, GroupBoxOption);
  CheckBoxDelAfterKakko = MakeCheckBox(Option::DeleteAfterKakko, GroupBoxOption);
  CheckBoxDeleteKakko = MakeCheckBox(Option::DeleteKakko, GroupBoxOption);
  auto* options = new QGridLayout(GroupBoxOption);
  options->setHorizontalSpacing(20);
  options->setVerticalSpacing(2);
  TCheckBox* const columns[2][3] = {{CheckBoxZenkakuKakko, CheckBoxWaSpKakko, CheckBoxWaKakko},
                                    {CheckBoxLowerExt, CheckBoxDelAfterKakko, CheckBoxDeleteKakko}};
  for (int c = 0; c < 2; ++c)
    for (int r = 0; r < 3; ++r) options->addWidget(columns[c][r], r, c);
  GroupBoxOption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void TFormRenamer::BuildFileListGroup() {
  GroupBoxFileList =
      Named(new TGroupBox(QString::fromUtf8("ファイルリスト"), TabSheetRename), "ファイルリスト");
  CheckBoxWithDir = MakeCheckBox(Option::WithDir, GroupBoxFileList);
  CheckBoxWithExt = MakeCheckBox(Option::WithExt, GroupBoxFileList);
  BtnCopyFileList = CommandButton("クリップボードにコピー", GroupBoxFileList);
  auto* fileList = new QGridLayout(GroupBoxFileList);
  fileList->setVerticalSpacing(4);
  fileList->addWidget(CheckBoxWithDir, 0, 0);
  fileList->addWidget(CheckBoxWithExt, 0, 1);
  fileList->addWidget(BtnCopyFileList, 1, 0, 1, 2);
}

void TFormRenamer::BuildReplaceGroup() {
  GroupBoxReplace = Named(new TGroupBox(QString::fromUtf8("置換"), TabSheetRename), "置換");
  StringGridReplace = Named(new TStringGrid(kGridDesign.Cols, kGridDesign.Rows, kGridDesign.FixedRows,
                                            kGridDesign.ColWidth, kGridDesign.RowHeight, GroupBoxReplace),
                            "置換リスト");
  StringGridReplace->SetCheckColumn(kRegexColumn);
  StringGridReplace->setColumnWidth(kRegexColumn, kRegexColWidth);
  CheckBoxIgnoreCase = MakeCheckBox(Option::IgnoreCase, GroupBoxReplace);
  // The width rule runs right before the list, so that its rows see ASCII
  // letters and digits: it sits with the list's own switch, where the
  // window's height has room for it.
  CheckBoxAlnumZenToHan = MakeCheckBox(Option::AlnumZenToHan, GroupBoxReplace);
  BtnClearReplaceList = CommandButton("クリア", GroupBoxReplace);
  BtnAddLine = CommandButton("追加", GroupBoxReplace);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(CheckBoxIgnoreCase);
  buttons->addWidget(CheckBoxAlnumZenToHan);
  buttons->addStretch(1);
  buttons->addWidget(BtnClearReplaceList);
  buttons->addWidget(BtnAddLine);
  auto* replace = new QVBoxLayout(GroupBoxReplace);
  replace->addWidget(StringGridReplace, 1);
  replace->addLayout(buttons);
}

void TFormRenamer::BuildLogPage() {
  Memo = Named(new TMemo(TabSheetLog), "ログ");
  auto* log = new QVBoxLayout(TabSheetLog);
  log->setContentsMargins(0, 0, 0, 0);
  log->addWidget(Memo);
}

void TFormRenamer::BuildCommandStrip() {
  // The commands keep to the right edge.
  Panel1 = new TPanel(this);
  Panel1->setFrameShape(QFrame::NoFrame);
  Panel1->setFixedHeight(35);
  BtnPreview = CommandButton("プレビュー", Panel1);
  BtnRename = CommandButton("リネーム", Panel1);
  BtnUndo = CommandButton("元に戻す", Panel1);
  BtnUndo->setEnabled(false);
  BtnHistory = CommandButton("履歴", Panel1);
  BtnHelp = CommandButton("ヘルプ", Panel1);
  BtnClose = CommandButton("閉じる", Panel1);
  auto* commands = new QHBoxLayout(Panel1);
  commands->setContentsMargins(6, 4, 6, 6);
  commands->addStretch(1);
  for (TButton* button : {BtnPreview, BtnRename, BtnUndo, BtnHistory, BtnHelp, BtnClose}) commands->addWidget(button);
}

void TFormRenamer::ConnectHandlers() {
  const auto bind = [this](QAbstractButton* button, void (TFormRenamer::*handler)(QObject*)) {
    connect(button, &QAbstractButton::clicked, this, Guarded([this, button, handler] { (this->*handler)(button); }));
  };
  bind(BitBtnFolder, &TFormRenamer::BitBtnFolderClick);
  bind(BtnRename, &TFormRenamer::BtnRenameClick);
  bind(BtnClose, &TFormRenamer::BtnCloseClick);
  bind(BtnAddLine, &TFormRenamer::BtnAddLineClick);
  bind(BtnUndo, &TFormRenamer::BtnUndoClick);
  bind(BtnCopyFileList, &TFormRenamer::BtnCopyFileListClick);
  bind(BtnClearReplaceList, &TFormRenamer::BtnClearReplaceListClick);
  bind(BtnHelp, &TFormRenamer::BtnHelpClick);
  bind(BtnPreview, &TFormRenamer::BtnPreviewClick);
  bind(BtnHistory, &TFormRenamer::BtnHistoryClick);
  // A typed pattern, a ticked box: the grid shows at once what will not compile.
  connect(StringGridReplace, &QTableWidget::itemChanged, this, [this] { MarkBrokenPatterns(); });
  ShowHistoryProc = [](THistoryDialog& dialog) { dialog.exec(); };
  // Logging out: the session manager asks for our data before it ends us.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SessionEnding(); });
  // The preview follows every control that changes what a run does.
  const auto rulesChanged = [this] {
    if (Preview) Preview->RulesChanged();
  };
  for (const OptionDef& def : kOptions)
    if (RuleField(def.Id) || def.Id == Option::Companions)
      connect(CheckBoxOf(def.Id), &QCheckBox::toggled, this, rulesChanged);
  connect(StringGridReplace, &QTableWidget::itemChanged, this, rulesChanged);
  connect(StringGridReplace->model(), &QAbstractItemModel::rowsRemoved, this, rulesChanged);
  StringGridReplace->OnEditing = [rulesChanged](int, int) { rulesChanged(); };
  connect(EditFolder, &QLineEdit::textChanged, this, [this] {
    if (Preview) Preview->FolderTextChanged();
  });
}

std::string TFormRenamer::SettingsFilePath() const {
  if (!settingsPath_.empty()) return settingsPath_;
  return SettingsPath(Application.ExeName(), SettingsFolder());
}

FormSettings TFormRenamer::ReadControls() const {
  FormSettings s;
  s.Left = x();
  s.Top = y();
  s.Width = width();
  s.Height = height();
  s.ScreenWidth = Screen.Width();
  s.ScreenHeight = Screen.Height();
  for (const QRect& area : Screen.AvailableAreas())
    s.Screens.push_back({area.x(), area.y(), area.width(), area.height()});
  s.Dir = EditFolder->Text();
  for (const OptionDef& def : kOptions) s.Checked(def.Id) = CheckBoxOf(def.Id)->isChecked();
  s.Rows = ReplaceRows();
  s.Preview = previewPlace_;
  s.PreviewPlaced = Preview ? Preview->Place(s.Preview) : previewPlaced_;
  return s;
}

std::vector<ReplacePair> TFormRenamer::ReplaceRows(bool shown) const {
  std::vector<ReplacePair> rows;
  const auto cell = [&](int c, int r) {
    return shown ? StringGridReplace->ShownCells(c, r) : StringGridReplace->Cells(c, r);
  };
  for (int r = 1; r < StringGridReplace->RowCount(); ++r)
    rows.push_back({cell(0, r), cell(1, r), StringGridReplace->Checked(kRegexColumn, r),
                    StringGridReplace->Cells(kRegexColumn, r)});
  return rows;
}

RenameOptions TFormRenamer::ShownOptions() const {
  FormSettings s;
  for (const OptionDef& def : kOptions) s.Checked(def.Id) = CheckBoxOf(def.Id)->isChecked();
  s.Rows = ReplaceRows(true);
  return RenameOptionsOf(s);
}

const NameSet* TFormRenamer::Exclusions() const {
  return Preview && Preview->isVisible() && !Preview->Exclusions().empty() ? &Preview->Exclusions() : nullptr;
}

void TFormRenamer::NoteExclusions(std::size_t left) {
  ExclusionNote->setText(QString::fromStdString("除外 " + Count(left) + " 件"));
  ExclusionNote->setVisible(left > 0);
}

bool TFormRenamer::MarkBrokenPatterns() {
  RenameOptions options;
  options.IgnoreCase = CheckBoxIgnoreCase->isChecked();
  options.ReplaceList = ReplaceRows();
  const std::vector<PatternError> errors = CheckPatterns(options);
  {
    // Marking changes the cells, which would call this again.
    const QSignalBlocker quiet(StringGridReplace);
    for (int r = 1; r < StringGridReplace->RowCount(); ++r) {
      std::string problems[3];
      for (const PatternError& e : errors) {
        if (e.Row + 1 != static_cast<std::size_t>(r)) continue;
        if (!e.UnknownMark.empty())
          problems[kRegexColumn] = PatternErrorText(e);
        else
          problems[e.InReplacement ? 1 : 0] = e.Message + "（位置 " + std::to_string(e.Offset) + "）";
      }
      for (int c = 0; c < 3; ++c) StringGridReplace->MarkCell(c, r, problems[c]);
    }
  }
  if (!errors.empty()) {
    patternStatus_ = PatternErrorText(errors.front());
    if (errors.size() > 1) patternStatus_ += "。ほかに " + Count(errors.size() - 1) + " 行";
    StatusBar->SetText(patternStatus_);
  } else if (!patternStatus_.empty()) {
    // Fixed: the message goes, unless another command has spoken since.
    if (StatusBar->Text() == patternStatus_) StatusBar->SetText("");
    patternStatus_.clear();
  }
  return errors.empty();
}

void TFormRenamer::WriteControls(const FormSettings& s) {
  // Size first, so that a position computed for centring fits the size.
  resize(s.Width, s.Height);
  move(s.Left, s.Top);
  previewPlace_ = s.Preview;
  previewPlaced_ = s.PreviewPlaced;
  if (Preview) Preview->SetPlace(previewPlace_, previewPlaced_);
  if (s.Dir != EditFolder->Text()) EditFolder->SetText(s.Dir);
  for (const OptionDef& def : kOptions) CheckBoxOf(def.Id)->setChecked(s.Checked(def.Id));
  const int rows = static_cast<int>(s.Rows.size()) + 1;
  if (StringGridReplace->RowCount() < rows) StringGridReplace->SetRowCount(rows);
  for (int r = 1; r < rows; ++r) {
    StringGridReplace->SetCells(0, r, s.Rows[r - 1].Old);
    StringGridReplace->SetCells(1, r, s.Rows[r - 1].New);
    StringGridReplace->SetChecked(kRegexColumn, r, s.Rows[r - 1].Regex);
    // A mark of the settings file that the box cannot show stays beside it.
    StringGridReplace->SetCells(kRegexColumn, r, s.Rows[r - 1].Unknown);
  }
}

void TFormRenamer::BitBtnFolderClick(QObject* /*Sender*/) {
  std::string dir = EditFolder->Text();
  if (SelectDirectoryProc("Select Folder", "", dir)) EditFolder->SetText(dir);
}

RenameOptions TFormRenamer::ReadOptions() const { return RenameOptionsOf(ReadControls()); }

ProgressFn TFormRenamer::Progress(TProgress& display) {
  waitGivenUp_ = false;
  ProgressFn fn = [this, &display](std::size_t done, std::size_t total) {
    if (ProgressHook && !ProgressHook(done, total)) return false;
    return display.Step(done, total);
  };
  fn.Waiting = [this, &display](const std::string& folder) {
    const bool wait = (!WaitHook || WaitHook(folder)) && display.Waiting(QString::fromStdString(DisplayPath(folder)));
    if (!wait) waitGivenUp_ = true;
    return wait;
  };
  return fn;
}

void TFormRenamer::BtnRenameClick(QObject* /*Sender*/) {
  // The text of a cell being edited is what the preview showed.
  StringGridReplace->CommitEditor();
  // A broken row: nothing runs, and the status line has said why.
  if (!MarkBrokenPatterns()) return;
  TWaitCursor wait;
  const std::string folder = EditFolder->Text();
  const RenameOptions options = ReadOptions();
  TProgress progress(this, QStringLiteral("リネーム"));
  // The run empties its undo list as it starts: a run that never starts (its
  // wait for another run given up) must leave the last run's list, log and
  // button as they were.
  std::vector<std::string> oldPaths, newPaths;
  std::vector<EntryId> ids;
  std::vector<std::size_t> seqs;
  RecordedRunNotes notes;
  // What a run that died in this folder left is repaired first, under the lock.
  LogAsItComes log(*Memo, notes.Repaired);
  ProgressFn told = Progress(progress);
  told.RenameLineTold = [&](const RenameLine& line) { log.Add(line); };
  const RenameOutcome outcome = RenameRecorded(HistoryFolder(), folder, options, notes, told,
                                               {nullptr, {}, UndoLists{oldPaths, newPaths, ids, &seqs}, {}, Exclusions()});
  if (waitGivenUp_) {
    StatusBar->SetText(std::string(kWaitGivenUp) + "何もリネームしていません");
    return;
  }
  log.Start();
  UndoOldPaths = std::move(oldPaths);
  UndoNewPaths = std::move(newPaths);
  UndoIdentities = std::move(ids);
  undoSeqs_ = std::move(seqs);
  lastRunId_ = notes.Id;
  lastRunFolder_ = folder;
  historyFollowed_ = notes.Problem.empty();
  // Enabled by a success, never disabled here: after a run that renamed
  // nothing the button keeps its state.
  if (!UndoOldPaths.empty()) BtnUndo->setEnabled(true);
  std::string status = RenameSummary("リネーム", outcome, folder);
  NoteMissingHistory(notes.Problem, status);
  NoteRemovedRuns(outcome.RemovedUndoable, status);
  StatusBar->SetText(status);
  // The record is complete; now the error that cut the run short is shown.
  if (outcome.Failure) std::rethrow_exception(outcome.Failure);
}

void TFormRenamer::NoteMissingHistory(const std::string& problem, std::string& status) {
  if (problem.empty()) return;
  Memo->Lines().Add("履歴を記録できませんでした: " + problem);
  status += "。履歴は記録できませんでした";
}

void TFormRenamer::NoteRemovedRuns(const std::vector<std::string>& ids, std::string& status) {
  if (ids.empty()) return;
  std::string list;
  for (const std::string& id : ids) list += (list.empty() ? "" : ", ") + id;
  Memo->Lines().Add("履歴は元に戻せる実行を " + Count(kKeepRuns) + " 件まで残します。古い " + Count(ids.size()) +
                    " 件を削除しました: " + list);
  status += "。元に戻せる古い実行を履歴から " + Count(ids.size()) + " 件削除しました";
}

void TFormRenamer::RecoverInterruptedRuns() {
  const RecoveryReport report = quor::RecoverInterruptedRuns(HistoryFolder());
  if (report.Runs.empty() && report.Repairs.empty()) return;
  for (const Repair& repair : report.Repairs) Memo->Lines().Add(FormatLine(repair));
  std::size_t moved = 0;
  for (const Repair& repair : report.Repairs) moved += repair.PathNow.empty() ? 0 : 1;
  StatusBar->SetText("中断されたリネームを " + Count(report.Runs.size()) + " 件修復しました（一時的な名前から戻したもの " +
                     Count(moved) + " 件）。履歴から元に戻せます");
}

void TFormRenamer::BtnCloseClick(QObject* /*Sender*/) { close(); }

void TFormRenamer::BtnAddLineClick(QObject* /*Sender*/) {
  StringGridReplace->SetRowCount(StringGridReplace->RowCount() + 1);
}

void TFormRenamer::StoreSettings() {
  // A cell left open without Enter holds what the user typed last.
  StringGridReplace->CommitEditor();
  const std::string path = SettingsFilePath();
  if (!unreadSettings_.empty() && path == unreadSettings_)
    throw Exception("設定ファイルを読み込めなかったので、設定を保存しませんでした。\n" + path);
  // The user's configuration folder may not exist yet on a first run; a
  // folder that cannot be made shows in the error of the save itself.
  (void)MakeFolders(ExtractFileDir(path, NativeCodepage()), 0777);
  SaveSettings(path, ReadControls());
}

void TFormRenamer::FormClose() {
  StoreSettings();
  UndoOldPaths.clear();
  UndoNewPaths.clear();
  UndoIdentities.clear();
  undoSeqs_.clear();
}

void TFormRenamer::SessionEnding() {
  try {
    StoreSettings();
  } catch (...) {
    Application.HandleException();
  }
}

void TFormRenamer::BtnUndoClick(QObject* /*Sender*/) {
  if (FollowHistory() && UndoOldPaths.empty()) {
    StatusBar->SetText("前回のリネームは、別のウィンドウまたは quor-rename で既に元に戻されています");
    return;
  }
  // A run on record is undone from its record, as 履歴 undoes it: chosen
  // under its folder's lock, its entries found where later runs put them.
  if (!lastRunId_.empty() && historyFollowed_) {
    UndoPlan plan;
    plan.RunId = lastRunId_;
    UndoRecorded(std::move(plan), true);
    return;
  }
  TProgress progress(this, QStringLiteral("元に戻す"));
  JournalWriter journal(HistoryFolder(), RunKind::Undo, lastRunFolder_, lastRunId_);
  const UndoOutcome outcome =
      RunUndo({UndoOldPaths, UndoNewPaths, UndoIdentities, &undoSeqs_}, Progress(progress), &journal);
  if (waitGivenUp_) {
    StatusBar->SetText(std::string(kWaitGivenUp) + "何も元に戻していません");
    return;
  }
  // An undo the history lacks would make it promise back what is back already.
  if (!journal.Problem().empty()) historyFollowed_ = false;
  Memo->Clear();
  for (const UndoLine& line : outcome.Lines) Memo->Lines().Add(FormatLine(line));
  // What was refused or not replayed stays for another try.
  BtnUndo->setEnabled(!UndoOldPaths.empty());
  std::string status = UndoSummary(outcome, UndoOldPaths.size());
  NoteMissingHistory(journal.Problem(), status);
  NoteRemovedRuns(outcome.RemovedUndoable, status);
  StatusBar->SetText(status);
  if (outcome.Failure) std::rethrow_exception(outcome.Failure);
}

void TFormRenamer::BtnHistoryClick(QObject* /*Sender*/) {
  THistoryDialog dialog(HistoryFolder(), this);
  dialog.UndoProc = [this](UndoPlan plan) { UndoRecorded(std::move(plan)); };
  ShowHistoryProc(dialog);
}

void TFormRenamer::UndoRecorded(UndoPlan plan, bool ownRun) {
  TProgress progress(this, QStringLiteral("元に戻す"));
  std::string problem;
  RecoveryReport repaired;
  LogAsItComes log(*Memo, repaired);
  ProgressFn told = Progress(progress);
  told.UndoLineTold = [&](const UndoLineView& line) { log.Add(line); };
  // The window's own list of its last run spares the record's reading,
  // where nothing since could have changed it.
  UndoLists own{UndoOldPaths, UndoNewPaths, UndoIdentities, &undoSeqs_};
  const UndoOutcome outcome = UndoRecordedRun(HistoryFolder(), plan, told, &problem, &repaired, ownRun ? &own : nullptr);
  if (waitGivenUp_) {
    StatusBar->SetText(std::string(kWaitGivenUp) + "何も元に戻していません");
    return;
  }
  log.Start();
  std::string status = UndoSummary(outcome, plan.OldPaths.size());
  // The window's own undo list is about the same renames when the run is
  // its last one: what the history took back is no longer there to undo.
  if (plan.RunId == lastRunId_) {
    UndoOldPaths = std::move(plan.OldPaths);
    UndoNewPaths = std::move(plan.NewPaths);
    UndoIdentities = std::move(plan.Ids);
    undoSeqs_ = std::move(plan.Seqs);
    BtnUndo->setEnabled(!UndoOldPaths.empty());
  }
  NoteMissingHistory(problem, status);
  NoteRemovedRuns(outcome.RemovedUndoable, status);
  StatusBar->SetText(status);
  if (outcome.Failure) std::rethrow_exception(outcome.Failure);
}

bool TFormRenamer::FollowHistory() {
  if (lastRunId_.empty() || !historyFollowed_ || UndoOldPaths.empty()) return false;
  const std::string history = HistoryFolder();
  const std::vector<RunSummary> runs = ListRuns(history);
  const auto run = std::find_if(runs.begin(), runs.end(), [&](const RunSummary& r) { return r.Record.Id == lastRunId_; });
  // Gone from the history (its limits, or a removed folder): the window's
  // own list is all there is.
  if (run == runs.end()) return false;
  // The counts tell whether anything changed; only then is the record read through.
  const std::size_t left = IsUndoable(*run) ? run->Record.Renamed - run->Undone - run->GivenUp : 0;
  if (left == UndoOldPaths.size()) return false;
  UndoPlan plan = PlanUndo(history, lastRunId_);
  if (plan.Why == UndoPlan::Block::None) {
    UndoOldPaths = std::move(plan.OldPaths);
    UndoNewPaths = std::move(plan.NewPaths);
    UndoIdentities = std::move(plan.Ids);
    undoSeqs_ = std::move(plan.Seqs);
  } else if (plan.Why == UndoPlan::Block::NothingLeft) {
    UndoOldPaths.clear();
    UndoNewPaths.clear();
    UndoIdentities.clear();
    undoSeqs_.clear();
  } else {
    return false;
  }
  BtnUndo->setEnabled(!UndoOldPaths.empty());
  return true;
}

void TFormRenamer::BtnCopyFileListClick(QObject* /*Sender*/) {
  const std::string folder = EditFolder->Text();
  Memo->Clear();
  const std::vector<std::string> lines =
      BuildFileList(folder, CheckBoxWithDir->isChecked(), CheckBoxWithExt->isChecked());
  for (const std::string& line : lines) Memo->Lines().Add(DisplayPath(line));
  Memo->SelectAll();
  Memo->CopyToClipboard();
  Memo->SetSelLength(0);
  StatusBar->SetText(lines.empty() && !DirectoryExists(FolderOfText(folder))
                         ? "フォルダーがありません: " + DisplayPath(folder)
                         : "クリップボードにコピー " + Count(lines.size()) + " 件");
}

void TFormRenamer::BtnPreviewClick(QObject* /*Sender*/) {
  if (!MarkBrokenPatterns()) return;
  if (!Preview) {
    Preview = new TPreviewWindow(this);
    Preview->SetPlace(previewPlace_, previewPlaced_);
    Preview->FolderProc = [this] { return EditFolder->Text(); };
    Preview->OptionsProc = [this] { return ShownOptions(); };
    Preview->RenameProc = Guarded([this] { BtnRenameClick(BtnRename); });
    Preview->ExclusionsChanged = [this](std::size_t left) { NoteExclusions(left); };
    Preview->Earlier = EarlierRenamesFrom(HistoryFolder());
  }
  Preview->Open();
}

void TFormRenamer::BtnClearReplaceListClick(QObject* /*Sender*/) {
  StringGridReplace->SetRowCount(1);
  StringGridReplace->SetRowCount(kGridDesign.Rows);
  StringGridReplace->SetFixedRows(kGridDesign.FixedRows);
  for (int r = kGridDesign.FixedRows; r < kGridDesign.Rows; ++r) StringGridReplace->Rows(r).SetText("");
  StringGridReplace->Rows(0).SetText(kGridHeader);
}

void TFormRenamer::BtnHelpClick(QObject* /*Sender*/) {
  const std::string& chm = HelpFile;
  const std::string page = ChangeFileExt(chm, "-help", NativeCodepage()) + "/index.html";
  if (FileExists(chm) && HasViewerProc(chm) && OpenDocumentProc(chm)) return;
  if (FileExists(page) && OpenDocumentProc(page)) return;
  // The button never does nothing: the user learns where to look.
  if (FileExists(page))
    throw Exception("ヘルプを開けませんでした。ブラウザーで次のファイルを開いてください。\n" + page);
  if (FileExists(chm))
    throw Exception("ヘルプを開けませんでした。CHM ビューアーで次のファイルを開いてください。\n" + chm);
  throw Exception("ヘルプが見つかりません。次の場所にあるはずです。\n" + page + "\n" + chm);
}

void TFormRenamer::FormDropFiles(const QMimeData& data) {
  const std::vector<std::string> paths = DroppedLocalPaths(data);
  if (!paths.empty()) EditFolder->SetText(paths.front());
}

void TFormRenamer::OpenPath(const std::string& path) {
  const std::string current = path.starts_with(PathDelim) ? std::string() : CurrentFolder();
  std::string text = current.empty() ? path : AbsolutePath(path, current);
  if (FileExists(text)) text = ParentFolder(text);
  EditFolder->SetText(text);
}

void TFormRenamer::closeEvent(QCloseEvent* event) {
  try {
    FormClose();
  } catch (...) {
    // The user sees why the settings were not stored; the window closes
    // all the same, or a broken disk would keep it open for good.
    Application.HandleException();
  }
  event->accept();
}

void TFormRenamer::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Back from a terminal or another window, either of which may have undone
  // the last run.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FollowHistory();
}

void TFormRenamer::dragEnterEvent(QDragEnterEvent* event) {
  dragHasPath_ = !DroppedLocalPaths(*event->mimeData()).empty();
  if (dragHasPath_) event->acceptProposedAction();
}

void TFormRenamer::dragMoveEvent(QDragMoveEvent* event) {
  // A drag's data does not change while it moves: read once, on entering.
  if (dragHasPath_) event->acceptProposedAction();
}

void TFormRenamer::dropEvent(QDropEvent* event) {
  FormDropFiles(*event->mimeData());
  event->acceptProposedAction();
}

}  // namespace quor
