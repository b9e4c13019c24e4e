#include "gui/controls/CheckTable.h"

#include <algorithm>

#include <QAccessible>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include "gui/controls/CheckTableAccessible.h"

namespace quor {

bool TCheckModel::HasBox(int row) const { return flags(index(row, CheckColumn())) & Qt::ItemIsUserCheckable; }

bool TCheckModel::IsTicked(int row) const {
  return index(row, CheckColumn()).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

TCheckTable::TCheckTable(QWidget* parent) : QTableView(parent) {
  static const bool accessible = (QAccessible::installFactory(CheckTableAccessible), true);
  (void)accessible;
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setWordWrap(false);
  setTabKeyNavigation(false);
  // One height for every row: the view then never measures rows it does
  // not show.
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
}

void TCheckTable::setModel(QAbstractItemModel* model) {
  Q_ASSERT(model == nullptr || dynamic_cast<TCheckModel*>(model) != nullptr);
  QTableView::setModel(model);
}

TCheckModel* TCheckTable::CheckModel() const { return static_cast<TCheckModel*>(model()); }

std::vector<int> TCheckTable::SelectedRows() const {
  std::vector<int> rows;
  if (!model()) return rows;
  // From the ranges: a selection of every row is one range, not a list of
  // 100,000 indexes.
  for (const QItemSelectionRange& range : selectionModel()->selection())
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void TCheckTable::SelectRows(const std::vector<int>& rows) {
  if (!model()) return;
  QItemSelection selection;
  const int last = model()->columnCount() - 1;
  // Runs of rows as one range each.
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    selection.append(QItemSelectionRange(model()->index(rows[i], 0), model()->index(rows[j], last)));
    i = j + 1;
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TCheckTable::TickSelected(TCheckModel::Tick how) {
  if (!CheckModel()) return;
  std::vector<int> rows = SelectedRows();
  if (rows.empty())
    for (int r = 0; r < model()->rowCount(); ++r) rows.push_back(r);
  CheckModel()->SetTicks(rows, how);
}

void TCheckTable::ScrollAfterReset(int value) {
  updateGeometries();
  verticalScrollBar()->setValue(value);
}

void TCheckTable::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && CheckModel()) {
    // The selected rows all take the state opposite to the current row's,
    // as in a file manager; not each the other way.
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const bool on = current < 0 || !CheckModel()->HasBox(current) || !CheckModel()->IsTicked(current);
    if (!selectionModel()->hasSelection() && current >= 0)
      CheckModel()->SetTicks({current}, on ? TCheckModel::Tick::On : TCheckModel::Tick::Off);
    else
      TickSelected(on ? TCheckModel::Tick::On : TCheckModel::Tick::Off);
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void TCheckTable::FillContextMenu(QMenu& menu) {
  menu.addAction(QStringLiteral("すべて選択"), this, [this] { TickSelected(TCheckModel::Tick::On); });
  menu.addAction(QStringLiteral("すべて解除"), this, [this] { TickSelected(TCheckModel::Tick::Off); });
  menu.addAction(QStringLiteral("選択を反転"), this, [this] { TickSelected(TCheckModel::Tick::Invert); });
}

void TCheckTable::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  FillContextMenu(menu);
  menu.exec(event->globalPos());
}

}  // namespace quor
