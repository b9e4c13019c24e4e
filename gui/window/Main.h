#pragma once

// The main window: every control as a named member, every command as a
// method, the start-up in the constructor and the close in FormClose.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "gui/controls/Controls.h"
#include "gui/controls/Dialogs.h"
#include "gui/controls/Memo.h"
#include "gui/controls/StringGrid.h"
#include "gui/window/WindowDesign.h"
#include "engine/Design.h"
#include "engine/history/History.h"
#include "engine/history/RecordedRun.h"
#include "engine/history/Recovery.h"
#include "engine/record/RecordFolder.h"
#include "engine/rename/NameRules.h"
#include "engine/rename/RenameRun.h"
#include "engine/settings/Settings.h"

class QLabel;
class QLayout;
class QMimeData;

namespace quor {

class TProgress;
class THistoryDialog;
class TPreviewWindow;

class TFormRenamer : public QWidget {
 public:
  // Builds the window and runs the start-up: versioned caption, settings,
  // grid header, drop target. `settingsPath` replaces the settings file's
  // usual place (tests use a temporary folder); "" keeps the usual place,
  // computed anew at each load and save. Throws what loading throws.
  explicit TFormRenamer(std::string settingsPath = {}, QWidget* parent = nullptr);
  ~TFormRenamer() override;

  TPageControl* PageControl;
  TTabSheet* TabSheetRename;
  TTabSheet* TabSheetLog;
  TMemo* Memo;
  TBitBtn* BitBtnFolder;
  TEdit* EditFolder;
  TGroupBox* GroupBoxOption;
  TCheckBox* CheckBoxZenkakuKakko;
  TCheckBox* CheckBoxDelAfterKakko;
  TCheckBox* CheckBoxLowerExt;
  TCheckBox* CheckBoxWaSpKakko;
  TGroupBox* GroupBoxReplace;
  TStringGrid* StringGridReplace;
  TPanel* Panel1;
  TButton* BtnRename;
  TButton* BtnClose;
  TButton* BtnAddLine;
  TCheckBox* CheckBoxDeleteKakko;
  // Full-width letters and digits to ASCII, right before the replace list.
  TCheckBox* CheckBoxAlnumZenToHan;
  // A recording's companion files (X.ts.err, X.ts.program.txt) follow it.
  TCheckBox* CheckBoxCompanions;
  TButton* BtnUndo;
  TCheckBox* CheckBoxIgnoreCase;
  TCheckBox* CheckBoxWaKakko;
  TGroupBox* GroupBoxFileList;
  TCheckBox* CheckBoxWithDir;
  TButton* BtnCopyFileList;
  TCheckBox* CheckBoxWithExt;
  TButton* BtnClearReplaceList;
  TButton* BtnHelp;
  // Shows what Rename would do, left of it in the bottom strip.
  TButton* BtnPreview;
  // What the last command did, at the foot of the window.
  TStatusBar* StatusBar;
  // At its right end while the preview leaves entries out: "除外 3 件".
  QLabel* ExclusionNote;
  // The recorded runs, to undo one after a restart.
  TButton* BtnHistory;

  // The renames of the last run, old and new full paths, in run order,
  // with the identity of each renamed entry.
  std::vector<std::string> UndoOldPaths;
  std::vector<std::string> UndoNewPaths;
  std::vector<EntryId> UndoIdentities;
  std::vector<std::size_t> undoSeqs_;  // each rename's number in the recorded run

  // What the folder button and Help call; tests replace them so that no
  // real dialog or viewer opens.
  std::function<bool(const std::string& caption, const std::string& root, std::string& directory)>
      SelectDirectoryProc = SelectDirectory;
  std::function<bool(const std::string& path)> OpenDocumentProc = OpenDocument;
  std::function<bool(const std::string& path)> HasViewerProc = HasDefaultViewer;
  // The compiled help, beside the executable and named after it; the same
  // pages for a browser are in the folder of its name with "-help" for
  // ".chm" (quor-renamer-help/index.html). Tests point it elsewhere.
  std::string HelpFile;
  // Called beside the progress display after each entry of a rename, undo
  // or preview; false cancels like the dialog's button. Tests use it to
  // cancel or fail in the middle of a run.
  std::function<bool(std::size_t done, std::size_t total)> ProgressHook;
  // Called beside the progress display while a run waits for another run on
  // its folder; false gives up the wait. Tests use it to watch the wait.
  std::function<bool(const std::string& folder)> WaitHook;
  // The live preview beside the window, made when プレビュー is first
  // pressed; the entries it leaves out are left out of リネーム too.
  TPreviewWindow* Preview = nullptr;
  // Shows the history dialog; tests drive it instead.
  std::function<void(THistoryDialog& dialog)> ShowHistoryProc;

  void BitBtnFolderClick(QObject* Sender);
  void BtnRenameClick(QObject* Sender);
  void BtnCloseClick(QObject* Sender);
  void BtnAddLineClick(QObject* Sender);
  // Takes a cell still being edited into the grid, saves the settings and
  // drops the undo list; runs for every way of closing the window. Throws
  // what saving throws, and refuses to replace a settings file that could
  // not be read at start-up.
  void FormClose();
  // The desktop session is ending: store what the user has typed so far,
  // as a close would, without closing.
  void SessionEnding();
  void BtnUndoClick(QObject* Sender);
  void BtnCopyFileListClick(QObject* Sender);
  void BtnClearReplaceListClick(QObject* Sender);
  // Opens the .chm when the desktop has a viewer for it, else the help's
  // start page in the browser; throws a message that names where the help
  // is when neither can be opened.
  void BtnHelpClick(QObject* Sender);
  void BtnPreviewClick(QObject* Sender);
  void BtnHistoryClick(QObject* Sender);
  // Undoes a recorded run, with the lines in the log and the counts below.
  // `ownRun`: the run is the window's last one, whose undo list it holds.
  void UndoRecorded(UndoPlan plan, bool ownRun = false);
  // Writes the first local path of a drop into EditFolder; nothing else.
  void FormDropFiles(const QMimeData& data);
  // The FOLDER of the command line (a file manager's "open with"): a folder
  // or a folder with a mask as given, a file as its folder, a relative path
  // from the current folder; anything else as given, as if typed.
  void OpenPath(const std::string& path);

  // Where the settings are read and written now.
  [[nodiscard]] std::string SettingsFilePath() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The window's groups, each built in the order of the tab chain.
  void BuildLayout();
  [[nodiscard]] QLayout* BuildFolderRow();
  void BuildOptionGroup();
  void BuildFileListGroup();
  void BuildReplaceGroup();
  void BuildLogPage();
  void BuildCommandStrip();
  void ConnectHandlers();
  // A check box for one option, with its caption and first-start state.
  TCheckBox* MakeCheckBox(Option id, QWidget* parent);
  [[nodiscard]] TCheckBox* CheckBoxOf(Option id) const;
  [[nodiscard]] FormSettings ReadControls() const;
  // The rule switches and the replace list as the controls show them now.
  [[nodiscard]] RenameOptions ReadOptions() const;
  // The progress display's step together with ProgressHook; a wait given
  // up through it sets waitGivenUp_.
  [[nodiscard]] ProgressFn Progress(TProgress& display);
  void WriteControls(const FormSettings& s);

  // Writes the settings; the grid's open editor is committed first.
  void StoreSettings();

  // The grid's data rows as the replace list; with `shown`, a cell being
  // edited counts with what it shows now.
  [[nodiscard]] std::vector<ReplacePair> ReplaceRows(bool shown = false) const;
  // The rules as the controls show them now, for the preview.
  [[nodiscard]] RenameOptions ShownOptions() const;
  // What the preview leaves out, while it is open.
  [[nodiscard]] const NameSet* Exclusions() const;
  // The status line says how many entries the preview leaves out.
  void NoteExclusions(std::size_t left);
  // Marks each regex row whose pattern or replacement does not compile,
  // the compiler's message as the cell's tooltip, and says on the status
  // line which row and why; true when every row compiles.
  bool MarkBrokenPatterns();

  // Finishes what interrupted runs began, and says so in the log.
  void RecoverInterruptedRuns();
  // Takes the undo list of the last run from the history when another
  // program (quor-rename --undo, another window) has undone some or all of
  // it; true when the list changed.
  bool FollowHistory();
  // The log's last line and the status line's last words when a run could
  // not be recorded in the history, or its end removed older runs that
  // could still have been undone.
  void NoteMissingHistory(const std::string& problem, std::string& status);
  void NoteRemovedRuns(const std::vector<std::string>& ids, std::string& status);

  std::string settingsPath_;
  std::string lastRunId_;      // the record of the run the undo list holds
  std::string lastRunFolder_;
  // The history holds every rename and undo of the last run, so that what it
  // says may replace the undo list.
  bool historyFollowed_ = false;
  bool waitGivenUp_ = false;   // the command in progress never started
  bool dragHasPath_ = false;   // what the drag's data offered when it entered
  std::string patternStatus_;  // what the status line last said of a broken row
  // Where the preview opens, from the settings until it has been open.
  WindowBounds previewPlace_ = kPreviewFirstBounds;
  bool previewPlaced_ = false;
  std::array<TCheckBox*, kOptionCount> checkBoxes_{};
  // The settings file that could not be read at start-up, if any: it is
  // never replaced by this window.
  std::string unreadSettings_;
};

}  // namespace quor
