#include "app/Main.h"

#include <cstdio>

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QMimeData>
#include <QSessionManager>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include "app/PreviewDialog.h"
#include "files/FileList.h"
#include "platform/SystemOps.h"
#include "platform/gui/Application.h"
#include "platform/gui/DropFiles.h"
#include "platform/gui/Progress.h"
#include "platform/gui/Screen.h"
#include "support/Waitcursor.h"
#include "text/DisplayText.h"
#include "text/Codepage.h"
#include "text/TextOps.h"

// The resources live in a static library: make sure the linker keeps them.
static void InitQuorResources() { Q_INIT_RESOURCE(quor); }

namespace quor {

namespace {

constexpr int kDesignWidth = 640;
constexpr int kDesignHeight = 400;

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

TCheckBox* CheckBox(const char* caption, bool checked, QWidget* parent) {
  auto* box = Named(new TCheckBox(QString::fromUtf8(caption), parent), caption);
  box->setChecked(checked);
  return box;
}

}  // namespace

TFormRenamer::TFormRenamer(std::string settingsPath, QWidget* parent)
    : QWidget(parent), settingsPath_(std::move(settingsPath)) {
  HelpFile = ChangeFileExt(Application.ExeName(), ".chm", NativeCodepage());
  BuildLayout();

  setWindowTitle(QString::fromStdString(VersionedCaption()));
  UndoOldPaths.clear();
  UndoNewPaths.clear();

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

  StringGridReplace->Rows(0).SetText("Old\r\nNew");
  setAcceptDrops(true);
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

  // Rename page: folder row, the two option frames, the replace frame.
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

  GroupBoxOption = Named(new TGroupBox(QString::fromUtf8("オプション"), TabSheetRename), "オプション");
  CheckBoxZenkakuKakko = CheckBox("半角｢｣→全角「」", true, GroupBoxOption);
  CheckBoxWaSpKakko = CheckBox("\"話\"と\"「\"の間を空ける", false, GroupBoxOption);
  CheckBoxWaKakko = CheckBox("\"話\"と\"「\"の間を空けない", false, GroupBoxOption);
  CheckBoxLowerExt = CheckBox("拡張子を小文字にする", true, GroupBoxOption);
  CheckBoxDelAfterKakko = CheckBox("\"」\"後拡張子までを削除", false, GroupBoxOption);
  CheckBoxDeleteKakko = CheckBox("「」を取る", false, GroupBoxOption);
  auto* options = new QGridLayout(GroupBoxOption);
  options->setHorizontalSpacing(20);
  options->setVerticalSpacing(2);
  options->addWidget(CheckBoxZenkakuKakko, 0, 0);
  options->addWidget(CheckBoxWaSpKakko, 1, 0);
  options->addWidget(CheckBoxWaKakko, 2, 0);
  options->addWidget(CheckBoxLowerExt, 0, 1);
  options->addWidget(CheckBoxDelAfterKakko, 1, 1);
  options->addWidget(CheckBoxDeleteKakko, 2, 1);
  GroupBoxOption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

  GroupBoxFileList =
      Named(new TGroupBox(QString::fromUtf8("ファイルリスト"), TabSheetRename), "ファイルリスト");
  CheckBoxWithDir = CheckBox("ディレクトリ", false, GroupBoxFileList);
  CheckBoxWithExt = CheckBox("拡張子", false, GroupBoxFileList);
  BtnCopyFileList = CommandButton("クリップボードにコピー", GroupBoxFileList);
  auto* fileList = new QGridLayout(GroupBoxFileList);
  fileList->setVerticalSpacing(4);
  fileList->addWidget(CheckBoxWithDir, 0, 0);
  fileList->addWidget(CheckBoxWithExt, 0, 1);
  fileList->addWidget(BtnCopyFileList, 1, 0, 1, 2);

  GroupBoxReplace = Named(new TGroupBox(QString::fromUtf8("置換"), TabSheetRename), "置換");
  StringGridReplace = Named(new TStringGrid(2, 7, 1, 280, 18, GroupBoxReplace), "置換リスト");
  CheckBoxIgnoreCase = CheckBox("大文字/小文字を区別しない", true, GroupBoxReplace);
  BtnClearReplaceList = CommandButton("クリア", GroupBoxReplace);
  BtnAddLine = CommandButton("追加", GroupBoxReplace);
  auto* replaceButtons = new QHBoxLayout();
  replaceButtons->addWidget(CheckBoxIgnoreCase);
  replaceButtons->addStretch(1);
  replaceButtons->addWidget(BtnClearReplaceList);
  replaceButtons->addWidget(BtnAddLine);
  auto* replace = new QVBoxLayout(GroupBoxReplace);
  replace->addWidget(StringGridReplace, 1);
  replace->addLayout(replaceButtons);

  auto* folderRow = new QHBoxLayout();
  folderRow->addWidget(BitBtnFolder);
  folderRow->addWidget(EditFolder, 1);
  auto* frames = new QHBoxLayout();
  frames->addWidget(GroupBoxOption);
  frames->addWidget(GroupBoxFileList, 1);
  auto* page = new QVBoxLayout(TabSheetRename);
  page->setContentsMargins(8, 6, 6, 6);
  page->addLayout(folderRow);
  page->addLayout(frames);
  page->addWidget(GroupBoxReplace, 1);

  // Log page: the memo fills it.
  Memo = Named(new TMemo(TabSheetLog), "ログ");
  auto* log = new QVBoxLayout(TabSheetLog);
  log->setContentsMargins(0, 0, 0, 0);
  log->addWidget(Memo);

  // Bottom strip: the commands keep to the right edge.
  Panel1 = new TPanel(this);
  Panel1->setFrameShape(QFrame::NoFrame);
  Panel1->setFixedHeight(35);
  BtnPreview = CommandButton("プレビュー", Panel1);
  BtnRename = CommandButton("リネーム", Panel1);
  BtnUndo = CommandButton("元に戻す", Panel1);
  BtnUndo->setEnabled(false);
  BtnHelp = CommandButton("ヘルプ", Panel1);
  BtnClose = CommandButton("閉じる", Panel1);
  auto* commands = new QHBoxLayout(Panel1);
  commands->setContentsMargins(6, 4, 6, 6);
  commands->addStretch(1);
  for (TButton* button : {BtnPreview, BtnRename, BtnUndo, BtnHelp, BtnClose}) commands->addWidget(button);

  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(0, 4, 0, 0);
  form->setSpacing(0);
  form->addWidget(PageControl, 1);
  form->addWidget(Panel1);

  // The tab order is the order of creation above, which follows the layout.

  connect(BitBtnFolder, &QPushButton::clicked, this, Guarded([this] { BitBtnFolderClick(BitBtnFolder); }));
  connect(BtnRename, &QPushButton::clicked, this, Guarded([this] { BtnRenameClick(BtnRename); }));
  connect(BtnClose, &QPushButton::clicked, this, Guarded([this] { BtnCloseClick(BtnClose); }));
  connect(BtnAddLine, &QPushButton::clicked, this, Guarded([this] { BtnAddLineClick(BtnAddLine); }));
  connect(BtnUndo, &QPushButton::clicked, this, Guarded([this] { BtnUndoClick(BtnUndo); }));
  connect(BtnCopyFileList, &QPushButton::clicked, this,
          Guarded([this] { BtnCopyFileListClick(BtnCopyFileList); }));
  connect(BtnClearReplaceList, &QPushButton::clicked, this,
          Guarded([this] { BtnClearReplaceListClick(BtnClearReplaceList); }));
  connect(BtnHelp, &QPushButton::clicked, this, Guarded([this] { BtnHelpClick(BtnHelp); }));
  connect(BtnPreview, &QPushButton::clicked, this, Guarded([this] { BtnPreviewClick(BtnPreview); }));
  // Logging out: the session manager asks for our data before it ends us.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SessionEnding(); });
  ShowPreviewProc = [this](const RenameOutcome& preview) {
    TPreviewDialog dialog(preview, this);
    return dialog.exec() == QDialog::Accepted;
  };

  resize(kDesignWidth, kDesignHeight);
  move(234, 257);
}

std::string TFormRenamer::SettingsFilePath() const {
  if (!settingsPath_.empty()) return settingsPath_;
  const QString configDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  return SettingsPath(Application.ExeName(), QFile::encodeName(configDir).toStdString());
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
  s.LowerExt = CheckBoxLowerExt->isChecked();
  s.KakkoHanToZen = CheckBoxZenkakuKakko->isChecked();
  s.WaSpaceKakko = CheckBoxWaSpKakko->isChecked();
  s.WaKakko = CheckBoxWaKakko->isChecked();
  s.DeleteAfterKakko = CheckBoxDelAfterKakko->isChecked();
  s.DeleteKakko = CheckBoxDeleteKakko->isChecked();
  s.IgnoreCase = CheckBoxIgnoreCase->isChecked();
  s.Rows.clear();
  for (int r = 1; r < StringGridReplace->RowCount(); ++r)
    s.Rows.push_back({StringGridReplace->Cells(0, r), StringGridReplace->Cells(1, r)});
  s.WithDir = CheckBoxWithDir->isChecked();
  s.WithExt = CheckBoxWithExt->isChecked();
  return s;
}

void TFormRenamer::WriteControls(const FormSettings& s) {
  // Size first, so that a position computed for centring fits the size.
  resize(s.Width, s.Height);
  move(s.Left, s.Top);
  if (s.Dir != EditFolder->Text()) EditFolder->SetText(s.Dir);
  CheckBoxLowerExt->setChecked(s.LowerExt);
  CheckBoxZenkakuKakko->setChecked(s.KakkoHanToZen);
  CheckBoxWaSpKakko->setChecked(s.WaSpaceKakko);
  CheckBoxWaKakko->setChecked(s.WaKakko);
  CheckBoxDelAfterKakko->setChecked(s.DeleteAfterKakko);
  CheckBoxDeleteKakko->setChecked(s.DeleteKakko);
  CheckBoxIgnoreCase->setChecked(s.IgnoreCase);
  const int rows = static_cast<int>(s.Rows.size()) + 1;
  if (StringGridReplace->RowCount() < rows) StringGridReplace->SetRowCount(rows);
  for (int r = 1; r < rows; ++r) {
    StringGridReplace->SetCells(0, r, s.Rows[r - 1][0]);
    StringGridReplace->SetCells(1, r, s.Rows[r - 1][1]);
  }
  CheckBoxWithDir->setChecked(s.WithDir);
  CheckBoxWithExt->setChecked(s.WithExt);
}

void TFormRenamer::BitBtnFolderClick(QObject* /*Sender*/) {
  std::string dir = EditFolder->Text();
  if (SelectDirectoryProc("Select Folder", "", dir)) EditFolder->SetText(dir);
}

RenameOptions TFormRenamer::ReadOptions() const { return RenameOptionsOf(ReadControls()); }

ProgressFn TFormRenamer::Progress(TProgress& display) const {
  return [this, &display](std::size_t done, std::size_t total) {
    if (ProgressHook && !ProgressHook(done, total)) return false;
    return display.Step(done, total);
  };
}

void TFormRenamer::BtnRenameClick(QObject* /*Sender*/) {
  TWaitCursor wait;
  const std::string folder = EditFolder->Text();
  const RenameOptions options = ReadOptions();
  Memo->Clear();
  TProgress progress(this, QStringLiteral("リネーム"));
  const RenameOutcome outcome = RunRename(folder, options, {UndoOldPaths, UndoNewPaths}, Progress(progress));
  for (const RenameLine& line : outcome.Lines) Memo->Lines().Add(FormatLine(line));
  // Enabled by a success, never disabled here: after a run that renamed
  // nothing the button keeps its state.
  if (!UndoOldPaths.empty()) BtnUndo->setEnabled(true);
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
  // The user's configuration folder may not exist yet on a first run.
  QDir().mkpath(QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absolutePath());
  SaveSettings(path, ReadControls());
}

void TFormRenamer::FormClose() {
  StoreSettings();
  UndoOldPaths.clear();
  UndoNewPaths.clear();
}

void TFormRenamer::SessionEnding() {
  try {
    StoreSettings();
  } catch (...) {
    Application.HandleException();
  }
}

void TFormRenamer::BtnUndoClick(QObject* /*Sender*/) {
  Memo->Clear();
  TProgress progress(this, QStringLiteral("元に戻す"));
  const UndoOutcome outcome = RunUndo({UndoOldPaths, UndoNewPaths}, Progress(progress));
  for (const UndoLine& line : outcome.Lines) Memo->Lines().Add(FormatLine(line));
  // A cancelled undo keeps what it did not replay.
  BtnUndo->setEnabled(!UndoOldPaths.empty());
}

void TFormRenamer::BtnCopyFileListClick(QObject* /*Sender*/) {
  const std::string folder = EditFolder->Text();
  Memo->Clear();
  for (const std::string& line : BuildFileList(folder, CheckBoxWithDir->isChecked(), CheckBoxWithExt->isChecked()))
    Memo->Lines().Add(DisplayPath(line));
  Memo->SelectAll();
  Memo->CopyToClipboard();
  Memo->SetSelLength(0);
}

void TFormRenamer::BtnPreviewClick(QObject* /*Sender*/) {
  RenameOutcome preview;
  {
    TWaitCursor wait;
    TProgress progress(this, QStringLiteral("プレビュー"));
    preview = PreviewRename(EditFolder->Text(), ReadOptions(), Progress(progress));
    if (preview.Cancelled) return;
  }
  if (ShowPreviewProc(preview)) BtnRenameClick(BtnRename);
}

void TFormRenamer::BtnClearReplaceListClick(QObject* /*Sender*/) {
  StringGridReplace->SetRowCount(1);
  StringGridReplace->SetRowCount(7);
  StringGridReplace->SetFixedRows(1);
  for (int r = 1; r <= 6; ++r) StringGridReplace->Rows(r).SetText("");
  StringGridReplace->Rows(0).SetText("Old\r\nNew");
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

void TFormRenamer::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedLocalPaths(*event->mimeData()).empty()) event->acceptProposedAction();
}

void TFormRenamer::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedLocalPaths(*event->mimeData()).empty()) event->acceptProposedAction();
}

void TFormRenamer::dropEvent(QDropEvent* event) {
  FormDropFiles(*event->mimeData());
  event->acceptProposedAction();
}

}  // namespace quor
