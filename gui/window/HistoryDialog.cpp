#include "gui/window/HistoryDialog.h"

#include <QBrush>
#include <QColor>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "gui/controls/Controls.h"
#include "text/DisplayText.h"

namespace quor {

namespace {

// The columns, in the order of the model's titles.
enum Column { kWhen, kKind, kFolder, kRenamed, kRefused, kState };

const char* BlockText(UndoPlan::Block why) {
  using Block = UndoPlan::Block;
  switch (why) {
    case Block::None: break;
    case Block::NoSuchRun: return "この記録はもうありません。";
    case Block::Unreadable: return "この記録は読めないので、元に戻せません。";
    case Block::NotARename: return "元に戻す操作は元に戻せません。";
    case Block::Running: return "この実行はまだ続いています。";
    case Block::Interrupted: return "この実行は中断したままです。次の起動で修復されます。";
    case Block::NothingLeft: return "元に戻すものは残っていません。";
  }
  return "";
}

// The state alone.
std::string StateWord(const RunSummary& run) {
  using State = RunSummary::State;
  switch (run.Now) {
    case State::Finished: return "完了";
    case State::Cancelled: return "キャンセル";
    case State::Failed: return "エラーで中断";
    case State::Interrupted: return "中断（次の起動で修復）";
    case State::Recovered: return "中断から修復";
    case State::Running: return "実行中";
    case State::Undone: return "元に戻した";
    case State::PartlyUndone: return "一部を元に戻した";
    case State::NotUndone: return "元に戻せなかった";
    case State::Unreadable: return "読めません（" + run.Record.Problem + "）";
  }
  return {};
}

}  // namespace

std::string RunStateText(const RunSummary& run) {
  using State = RunSummary::State;
  // What an undo found gone or replaced, which the two counts leave out.
  const std::size_t gone = run.Record.Kind == RunKind::Undo ? run.Record.Gone : run.GivenUp;
  const std::string goneText = gone > 0 ? "（見つからない " + std::to_string(gone) + " 件）" : "";
  return StateWord(run) + (run.Now == State::Unreadable ? "" : goneText);
}

THistoryModel::THistoryModel(QObject* parent)
    : TRowsModel({"日時", "種類", "フォルダー", "リネーム", "エラー", "状態"}, {}, parent) {}

QVariant THistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const RunSummary& run = Run(index.row());
  const RunRecord& r = run.Record;
  if (role == Qt::ForegroundRole && !r.Readable) return QBrush(QColor(0xB0, 0x00, 0x00));
  if (role == Qt::TextAlignmentRole && (index.column() == kRenamed || index.column() == kRefused))
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case kWhen: return r.Readable ? QString::fromStdString(LocalTimeText(r.Started)) : QString::fromStdString(r.Id);
    case kKind: return r.Readable ? (r.Kind == RunKind::Undo ? QStringLiteral("元に戻す") : QStringLiteral("リネーム")) : QString();
    case kFolder: return QString::fromStdString(DisplayPath(r.Folder));
    case kRenamed: return r.Readable ? CountText(r.Renamed) : QString();
    case kRefused: return r.Readable ? CountText(r.Refused) : QString();
    case kState: return QString::fromStdString(RunStateText(run));
    default: return {};
  }
}

THistoryDialog::THistoryDialog(std::string historyDir, QWidget* parent)
    : QDialog(parent), historyDir_(std::move(historyDir)), model_(new THistoryModel(this)) {
  setWindowTitle(QStringLiteral("履歴"));
  setModal(true);
  resize(760, 420);
  auto* layout = new QVBoxLayout(this);

  Table = new QTableView(this);
  Table->setObjectName(QStringLiteral("table"));
  Table->setAccessibleName(QStringLiteral("履歴"));
  Table->setModel(model_);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->setWordWrap(false);
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->resizeSection(kWhen, 150);
  Table->horizontalHeader()->resizeSection(kKind, 70);
  Table->horizontalHeader()->resizeSection(kFolder, 260);
  Table->horizontalHeader()->resizeSection(kRenamed, 70);
  Table->horizontalHeader()->resizeSection(kRefused, 60);
  Table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(Table, 1);

  Note = new QLabel(QString::fromUtf8("記録は ") + QString::fromStdString(DisplayPath(historyDir_)) +
                        QString::fromUtf8(" にあります。元に戻せる実行は新しい 100 件まで残ります。"),
                    this);
  Note->setWordWrap(true);
  Note->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(Note);

  auto* buttons = new QDialogButtonBox(this);
  BtnUndo = buttons->addButton(QStringLiteral("元に戻す"), QDialogButtonBox::ActionRole);
  BtnUndo->setAutoDefault(false);
  BtnClose = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
  BtnClose->setDefault(true);
  connect(BtnUndo, &QPushButton::clicked, this, [this] { BtnUndoClick(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  ConfirmProc = [this](const QString& question) {
    return QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
  };
  Refresh();
  connect(Table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });
}

void THistoryDialog::Refresh() {
  model_->SetRuns(ListRuns(historyDir_));
  if (model_->rowCount() > 0) Table->selectRow(0);
  UpdateButtons();
}

void THistoryDialog::UpdateButtons() {
  const QModelIndexList rows = Table->selectionModel()->selectedRows();
  BtnUndo->setEnabled(!rows.isEmpty() && IsUndoable(model_->Run(rows.front().row())));
}

void THistoryDialog::BtnUndoClick() {
  const QModelIndexList rows = Table->selectionModel()->selectedRows();
  if (rows.isEmpty()) return;
  const RunSummary& run = model_->Run(rows.front().row());
  UndoPlan plan = PlanUndo(historyDir_, run.Record.Id);
  if (plan.Why != UndoPlan::Block::None) {
    Note->setText(QString::fromUtf8(BlockText(plan.Why)));
    return;
  }
  // Later runs of the same folder may have renamed the same entries again.
  if (!plan.Newest &&
      !ConfirmProc(QString::fromUtf8("このフォルダーにはこの後のリネームも記録されています。"
                                     "この実行を元に戻しますか？")))
    return;
  if (UndoProc) UndoProc(std::move(plan));
  Refresh();
}

}  // namespace quor
