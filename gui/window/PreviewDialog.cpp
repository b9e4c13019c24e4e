#include "gui/window/PreviewDialog.h"

#include <QBrush>
#include <QColor>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "gui/controls/Controls.h"
#include "text/DisplayText.h"

namespace quor {

TPreviewModel::TPreviewModel(std::vector<RenameLine> lines, QObject* parent)
    : TRowsModel({"状態", "新しい名前", "元の名前"}, std::move(lines), parent) {}

QVariant TPreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const RenameLine& line = Row(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (index.column() == 0)
        return line.Ok ? QString::fromStdString(line.Follows.empty() ? "Rename" : "Rename: " + FollowNote(line.Follows))
                       : QString::fromStdString("Error: " + RefusalText(line.Why));
      return QString::fromStdString(DisplayName(index.column() == 1 ? line.NewName : line.OldName));
    case Qt::BackgroundRole:
      return line.Ok ? QVariant() : QVariant(QBrush(QColor(0xFF, 0xE0, 0xE0)));
    case Qt::ForegroundRole:
      return line.Ok || index.column() != 0 ? QVariant() : QVariant(QBrush(QColor(0xB0, 0x00, 0x00)));
    default:
      return {};
  }
}

QString PreviewSummary(const std::vector<RenameLine>& lines) {
  std::size_t errors = 0;
  for (const RenameLine& line : lines) errors += line.Ok ? 0 : 1;
  return QStringLiteral("変更 %1 件 / エラー %2 件").arg(CountText(lines.size() - errors), CountText(errors));
}

TPreviewDialog::TPreviewDialog(RenameOutcome outcome, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("プレビュー"));
  setModal(true);
  resize(720, 440);
  auto* layout = new QVBoxLayout(this);
  auto* summary = new QLabel(PreviewSummary(outcome.Lines), this);
  summary->setObjectName(QStringLiteral("summary"));
  summary->setAccessibleName(QStringLiteral("集計"));
  layout->addWidget(summary);

  auto* view = new QTableView(this);
  view->setObjectName(QStringLiteral("table"));
  view->setAccessibleName(QStringLiteral("プレビュー"));
  const bool any = !outcome.Lines.empty();
  view->setModel(new TPreviewModel(std::move(outcome.Lines), view));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setWordWrap(false);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
  // Fixed widths: sizing columns to their contents would read every row.
  view->horizontalHeader()->resizeSection(0, 220);
  view->horizontalHeader()->resizeSection(1, 300);
  view->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(view, 1);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* rename = buttons->addButton(QStringLiteral("リネーム"), QDialogButtonBox::AcceptRole);
  rename->setObjectName(QStringLiteral("rename"));
  rename->setEnabled(any);
  QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

}  // namespace quor
