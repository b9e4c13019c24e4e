#pragma once

// A table of many rows, one of its columns a check box per row: a click on
// a box, Space on the selected rows, or the context menu (すべて選択,
// すべて解除, 選択を反転) ticks and unticks them; a screen reader toggles a
// box through the cell's toggle action. Rows have one fixed height, so that
// the view asks the model only for the rows on screen, whatever their count.

#include <vector>

#include <QAbstractTableModel>
#include <QTableView>

class QMenu;

namespace quor {

// The model of a TCheckTable: a table whose boxes can be set for many rows
// at once, so that ticking 100,000 rows is one change, not 100,000.
class TCheckModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  enum class Tick { On, Off, Invert };
  // Sets the boxes of `rows` (ascending; rows without a box are left
  // alone): all on, all off, or each the other way.
  virtual void SetTicks(const std::vector<int>& rows, Tick how) = 0;
  // The column that holds the boxes.
  [[nodiscard]] virtual int CheckColumn() const { return 0; }
  // Whether `row` has a box, and whether it is ticked.
  [[nodiscard]] bool HasBox(int row) const;
  [[nodiscard]] bool IsTicked(int row) const;
};

class TCheckTable : public QTableView {
  Q_OBJECT

 public:
  explicit TCheckTable(QWidget* parent = nullptr);

  // The model, which must be a TCheckModel.
  void setModel(QAbstractItemModel* model) override;
  [[nodiscard]] TCheckModel* CheckModel() const;

  // The selected rows, ascending.
  [[nodiscard]] std::vector<int> SelectedRows() const;
  // Selects exactly `rows` (ascending), whole rows, in one change.
  void SelectRows(const std::vector<int>& rows);
  // The boxes of the selected rows (every row when none is): on, off, or
  // each the other way.
  void TickSelected(TCheckModel::Tick how);
  // Scrolls to `value` of the vertical scroll bar once the rows are laid
  // out again after a reset of the model.
  void ScrollAfterReset(int value);
  // The context menu's commands: すべて選択, すべて解除, 選択を反転, each on
  // the selected rows.
  void FillContextMenu(QMenu& menu);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace quor
