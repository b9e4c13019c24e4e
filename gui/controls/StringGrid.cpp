#include "gui/controls/StringGrid.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <QColor>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include "gui/controls/Controls.h"
#include "system/Exception.h"

namespace quor {

namespace {

// The bytes a cell was last set from, kept beside the shown text.
constexpr int kBytesRole = Qt::UserRole + 1;
// A check box's state as last seen, to tell a toggle from a change of text.
constexpr int kSeenStateRole = Qt::UserRole + 2;

std::string BytesOf(const QTableWidgetItem* item) {
  if (!item) return {};
  const QByteArray bytes = item->data(kBytesRole).toByteArray();
  return KeptOrShown(item->text(), std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
}

void SetBytes(QTableWidgetItem* item, const std::string& text) {
  item->setData(kBytesRole, QByteArray::fromStdString(text));
  item->setText(QString::fromStdString(text));
}

// The editor of a text cell: the table's own is a line edit that cuts its
// text at 32,767 characters, and a longer cell (a pattern read from the
// settings file) would lose its end as soon as it was opened and closed,
// not a key typed. It tells the grid of each keystroke.
class TGridDelegate : public QStyledItemDelegate {
 public:
  explicit TGridDelegate(TStringGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setMaxLength(std::numeric_limits<int>::max());
      const int col = index.column();
      const int row = index.row() + grid_->FixedRows();
      QObject::connect(line, &QLineEdit::textEdited, grid_, [grid = grid_, col, row] {
        if (grid->OnEditing) grid->OnEditing(col, row);
      });
    }
    return editor;
  }

 private:
  TStringGrid* grid_;
};

}  // namespace

std::string TGridRow::Text() const {
  std::string text;
  for (int c = 0; c < grid_.ColCount(); ++c) text += grid_.Cells(c, row_) + "\n";
  return text;
}

void TGridRow::SetText(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  for (int c = 0; c < grid_.ColCount(); ++c)
    grid_.SetCells(c, row_, c < static_cast<int>(lines.size()) ? lines[c] : std::string());
}

TStringGrid::TStringGrid(int colCount, int rowCount, int fixedRows, int colWidth,
                         int rowHeight, QWidget* parent)
    : QTableWidget(parent) {
  setColumnCount(colCount);
  for (int c = 0; c < colCount; ++c) setHorizontalHeaderItem(c, new QTableWidgetItem());
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultSectionSize(colWidth);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(std::max(rowHeight, fontMetrics().height() + 4));
  setEditTriggers(QAbstractItemView::AllEditTriggers);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setItemDelegate(new TGridDelegate(this));
  horizontalHeader()->hide();
  SetRowCount(rowCount);
  SetFixedRows(fixedRows);
}

QTableWidgetItem* TStringGrid::Item(int col, int row) const {
  if (col < 0 || col >= columnCount() || row < 0 || row >= RowCount()) return nullptr;
  if (row < fixedRows_) return horizontalHeaderItem(col);
  return item(row - fixedRows_, col);
}

std::string TStringGrid::Cells(int col, int row) const { return BytesOf(Item(col, row)); }

void TStringGrid::SetCells(int col, int row, const std::string& text) {
  if (col < 0 || col >= columnCount() || row < 0 || row >= RowCount()) return;
  QTableWidgetItem* cell = Item(col, row);
  if (!cell) {
    cell = new QTableWidgetItem();
    setItem(row - fixedRows_, col, cell);
  }
  SetBytes(cell, text);
}

void TStringGrid::SetRowCount(int count) {
  count = std::max(count, 1);
  if (count <= fixedRows_) SetFixedRows(count - 1);
  setRowCount(count - fixedRows_);
  AddCheckBoxes();
}

void TStringGrid::SetFixedRows(int fixed) {
  if (fixed < 0 || fixed > 1) throw Exception("Fixed row count must be 0 or 1");
  if (fixed >= RowCount()) throw Exception("Fixed row count must be less than row count");
  if (fixed == fixedRows_) return;
  std::vector<std::string> texts;
  for (int c = 0; c < columnCount(); ++c) texts.push_back(Cells(c, 0));
  if (fixed == 0) {
    // The header row becomes the first ordinary row, text and all.
    fixedRows_ = 0;
    insertRow(0);
    horizontalHeader()->hide();
    for (int c = 0; c < columnCount(); ++c) {
      SetCells(c, 0, texts[c]);
      SetBytes(horizontalHeaderItem(c), {});
    }
  } else {
    removeRow(0);
    fixedRows_ = 1;
    for (int c = 0; c < columnCount(); ++c) SetCells(c, 0, texts[c]);
    horizontalHeader()->show();
  }
  AddCheckBoxes();
}

void TStringGrid::SetCheckColumn(int col) {
  if (col < 0 || col >= columnCount()) return;
  if (checkColumn_ < 0) {
    // Connected before anyone else can watch the grid: whoever reads the
    // cell after a toggle finds its note gone.
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* cell) {
      if (cell->column() != checkColumn_ || cell->tableWidget() != this) return;
      const int state = cell->checkState();
      const QVariant seen = cell->data(kSeenStateRole);
      if (seen.isValid() && seen.toInt() != state && !cell->text().isEmpty()) SetBytes(cell, {});
      cell->setData(kSeenStateRole, state);
    });
  }
  checkColumn_ = col;
  AddCheckBoxes();
}

void TStringGrid::AddCheckBoxes() {
  if (checkColumn_ < 0) return;
  for (int r = 0; r < rowCount(); ++r) {
    QTableWidgetItem* cell = item(r, checkColumn_);
    if (cell == nullptr) {
      cell = new QTableWidgetItem();
      setItem(r, checkColumn_, cell);
    }
    if (cell->data(Qt::CheckStateRole).isValid()) continue;  // a box already
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    cell->setCheckState(Qt::Unchecked);
    cell->setData(kSeenStateRole, Qt::Unchecked);
  }
}

bool TStringGrid::Checked(int col, int row) const {
  if (col != checkColumn_ || row < fixedRows_) return false;
  const QTableWidgetItem* cell = Item(col, row);
  return cell != nullptr && cell->checkState() == Qt::Checked;
}

void TStringGrid::SetChecked(int col, int row, bool checked) {
  if (col != checkColumn_ || row < fixedRows_) return;
  if (QTableWidgetItem* cell = Item(col, row)) cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TStringGrid::MarkCell(int col, int row, const std::string& problem) {
  QTableWidgetItem* cell = Item(col, row);
  if (cell == nullptr) {
    if (problem.empty() || col < 0 || col >= columnCount() || row < fixedRows_ || row >= RowCount()) return;
    cell = new QTableWidgetItem();
    setItem(row - fixedRows_, col, cell);
  }
  // Set only on a change: every change is a signal to whoever watches.
  const QString tip = QString::fromStdString(problem);
  if (cell->toolTip() == tip) return;
  cell->setToolTip(tip);
  if (problem.empty()) cell->setData(Qt::BackgroundRole, QVariant());
  else cell->setBackground(QColor(255, 205, 205));
}

std::string TStringGrid::ShownCells(int col, int row) const {
  if (state() == QAbstractItemView::EditingState && currentIndex().column() == col &&
      currentIndex().row() + fixedRows_ == row)
    if (const auto* editor = qobject_cast<const QLineEdit*>(indexWidget(currentIndex()))) {
      const QByteArray bytes = Item(col, row) ? Item(col, row)->data(kBytesRole).toByteArray() : QByteArray();
      return KeptOrShown(editor->text(), std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
    }
  return Cells(col, row);
}

void TStringGrid::CommitEditor() {
  if (state() != QAbstractItemView::EditingState) return;
  // The open editor of a cell is what the view hands out as its index widget.
  QWidget* editor = indexWidget(currentIndex());
  if (editor == nullptr) return;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

}  // namespace quor
