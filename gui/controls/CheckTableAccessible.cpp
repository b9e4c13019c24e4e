#include "gui/controls/CheckTableAccessible.h"


#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>

#include "gui/controls/CheckTable.h"

namespace quor {

namespace {

// A cell of the table, or with `row` -1 the header of a column. It knows
// its place, not a model index: a model change drops every cell (see
// modelChange), as the rows it stood for may now be others.
class TCellAccessible : public QAccessibleInterface,
                        public QAccessibleTableCellInterface,
                        public QAccessibleActionInterface {
 public:
  TCellAccessible(TCheckTable* view, int row, int column) : view_(view), row_(row), column_(column) {}

  [[nodiscard]] bool isValid() const override {
    return view_ && view_->model() && row_ < view_->model()->rowCount() && column_ < view_->model()->columnCount();
  }
  [[nodiscard]] QObject* object() const override { return nullptr; }
  [[nodiscard]] QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
  [[nodiscard]] QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
  [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }
  [[nodiscard]] int childCount() const override { return 0; }
  [[nodiscard]] int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  [[nodiscard]] QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  [[nodiscard]] QAccessibleInterface* focusChild() const override { return nullptr; }

  [[nodiscard]] QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    QAbstractItemModel* model = view_->model();
    if (row_ < 0)
      return t == QAccessible::Name ? model->headerData(column_, Qt::Horizontal).toString() : QString();
    const QModelIndex index = Index();
    switch (t) {
      case QAccessible::Name: {
        const QVariant named = index.data(Qt::AccessibleTextRole);
        return named.isValid() ? named.toString() : index.data().toString();
      }
      case QAccessible::Description: {
        const QVariant described = index.data(Qt::AccessibleDescriptionRole);
        return described.isValid() ? described.toString() : index.data(Qt::ToolTipRole).toString();
      }
      default:
        return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  [[nodiscard]] QRect rect() const override {
    if (!isValid()) return {};
    QRect area;
    if (row_ < 0) {
      const QHeaderView* header = view_->horizontalHeader();
      area = QRect(header->sectionViewportPosition(column_), 0, header->sectionSize(column_), header->height());
      return area.translated(header->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    area = view_->visualRect(Index());
    return area.translated(view_->viewport()->mapToGlobal(QPoint(0, 0)));
  }

  [[nodiscard]] QAccessible::Role role() const override {
    return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
  }

  [[nodiscard]] QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid()) {
      s.invalid = true;
      return s;
    }
    if (row_ < 0) return s;
    const QModelIndex index = Index();
    if (!view_->viewport()->rect().intersects(view_->visualRect(index))) s.invisible = true;
    s.selectable = s.focusable = true;
    s.multiSelectable = s.extSelectable = view_->selectionMode() == QAbstractItemView::ExtendedSelection;
    s.selected = isSelected();
    s.focused = view_->currentIndex() == index;
    if (index.flags() & Qt::ItemIsUserCheckable) {
      s.checkable = true;
      s.checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    return s;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
    if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
  }

  // The cell's place in the table.
  [[nodiscard]] bool isSelected() const override {
    return isValid() && row_ >= 0 && view_->selectionModel()->isSelected(Index());
  }
  [[nodiscard]] QList<QAccessibleInterface*> columnHeaderCells() const override;
  [[nodiscard]] QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  [[nodiscard]] int columnIndex() const override { return column_; }
  [[nodiscard]] int rowIndex() const override { return row_; }
  [[nodiscard]] int columnExtent() const override { return 1; }
  [[nodiscard]] int rowExtent() const override { return 1; }
  [[nodiscard]] QAccessibleInterface* table() const override { return parent(); }

  // Toggle, on a cell with a box: what a click on the box does.
  [[nodiscard]] QStringList actionNames() const override {
    return Checkable() ? QStringList{toggleAction()} : QStringList{};
  }
  void doAction(const QString& action) override {
    if (action == toggleAction() && Checkable()) view_->CheckModel()->SetTicks({row_}, TCheckModel::Tick::Invert);
  }
  [[nodiscard]] QStringList keyBindingsForAction(const QString& action) const override {
    return action == toggleAction() && Checkable() ? QStringList{QStringLiteral("Space")} : QStringList{};
  }

 private:
  [[nodiscard]] QModelIndex Index() const { return view_->model()->index(row_, column_); }
  [[nodiscard]] bool Checkable() const {
    return isValid() && row_ >= 0 && (Index().flags() & Qt::ItemIsUserCheckable);
  }

  QPointer<TCheckTable> view_;
  int row_;
  int column_;
};

class TCheckTableAccessibleImpl : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  explicit TCheckTableAccessibleImpl(TCheckTable* view) : QAccessibleWidget(view, QAccessible::Table) {}
  ~TCheckTableAccessibleImpl() override { Forget(); }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  // Children: the header row, then the cells row by row, as the view counts
  // them when it tells a reader which child has the focus.
  [[nodiscard]] int childCount() const override { return (rowCount() + HeaderRows()) * columnCount(); }
  [[nodiscard]] QAccessibleInterface* child(int index) const override {
    const int columns = columnCount();
    if (index < 0 || columns == 0 || index >= childCount()) return nullptr;
    return Cell(index / columns - HeaderRows(), index % columns);
  }
  [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child || child->parent() != this) return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell) return -1;
    const int row = child->role() == QAccessible::ColumnHeader ? -1 : cell->rowIndex();
    return (row + HeaderRows()) * columnCount() + cell->columnIndex();
  }
  [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint at = View()->viewport()->mapFromGlobal(QPoint(x, y));
    const QModelIndex index = View()->indexAt(at);
    return index.isValid() ? Cell(index.row(), index.column()) : nullptr;
  }
  [[nodiscard]] QAccessibleInterface* focusChild() const override {
    const QModelIndex current = View()->currentIndex();
    return current.isValid() ? Cell(current.row(), current.column()) : nullptr;
  }

  [[nodiscard]] QAccessibleInterface* caption() const override { return nullptr; }
  [[nodiscard]] QAccessibleInterface* summary() const override { return nullptr; }
  [[nodiscard]] QAccessibleInterface* cellAt(int row, int column) const override {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
    return Cell(row, column);
  }
  [[nodiscard]] int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
  [[nodiscard]] QList<QAccessibleInterface*> selectedCells() const override {
    QList<QAccessibleInterface*> cells;
    for (const int row : selectedRows())
      for (int c = 0; c < columnCount(); ++c) cells.append(Cell(row, c));
    return cells;
  }
  [[nodiscard]] QString columnDescription(int column) const override {
    return Model() ? Model()->headerData(column, Qt::Horizontal).toString() : QString();
  }
  [[nodiscard]] int columnCount() const override { return Model() ? Model()->columnCount() : 0; }
  [[nodiscard]] int rowCount() const override { return Model() ? Model()->rowCount() : 0; }
  [[nodiscard]] QString rowDescription(int) const override { return {}; }
  [[nodiscard]] int selectedColumnCount() const override { return 0; }
  [[nodiscard]] int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
  [[nodiscard]] QList<int> selectedColumns() const override { return {}; }
  [[nodiscard]] QList<int> selectedRows() const override {
    const std::vector<int> rows = View()->SelectedRows();
    return QList<int>(rows.begin(), rows.end());
  }
  [[nodiscard]] bool isColumnSelected(int) const override { return false; }
  [[nodiscard]] bool isRowSelected(int row) const override {
    return Model() && View()->selectionModel()->isRowSelected(row, QModelIndex());
  }
  bool selectRow(int row) override { return SelectRow(row, QItemSelectionModel::Select); }
  bool selectColumn(int) override { return false; }
  bool unselectRow(int row) override { return SelectRow(row, QItemSelectionModel::Deselect); }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent*) override { Forget(); }

  // The header of a column, while the header is shown.
  [[nodiscard]] QAccessibleInterface* HeaderCell(int column) const {
    return HeaderRows() && column >= 0 && column < columnCount() ? Cell(-1, column) : nullptr;
  }

 private:
  [[nodiscard]] TCheckTable* View() const { return static_cast<TCheckTable*>(widget()); }
  [[nodiscard]] QAbstractItemModel* Model() const { return View()->model(); }
  [[nodiscard]] int HeaderRows() const { return View()->horizontalHeader()->isHidden() ? 0 : 1; }
  bool SelectRow(int row, QItemSelectionModel::SelectionFlag how) {
    if (!Model() || row < 0 || row >= rowCount()) return false;
    View()->selectionModel()->select(Model()->index(row, 0), how | QItemSelectionModel::Rows);
    return true;
  }

  // Made once per place and kept until the model changes.
  [[nodiscard]] QAccessibleInterface* Cell(int row, int column) const {
    const int key = (row + 1) * columnCount() + column;
    if (const auto it = cells_.constFind(key); it != cells_.constEnd()) return QAccessible::accessibleInterface(*it);
    auto* cell = new TCellAccessible(View(), row, column);
    cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
  }
  void Forget() {
    for (const QAccessible::Id id : std::as_const(cells_)) QAccessible::deleteAccessibleInterface(id);
    cells_.clear();
  }

  mutable QHash<int, QAccessible::Id> cells_;
};

QList<QAccessibleInterface*> TCellAccessible::columnHeaderCells() const {
  if (!isValid() || row_ < 0) return {};
  QAccessibleInterface* header = static_cast<TCheckTableAccessibleImpl*>(parent())->HeaderCell(column_);
  if (!header) return {};
  return {header};
}

}  // namespace

QAccessibleInterface* CheckTableAccessible(const QString& key, QObject* object) {
  if (key == QLatin1String(TCheckTable::staticMetaObject.className()) && object && object->isWidgetType())
    return new TCheckTableAccessibleImpl(static_cast<TCheckTable*>(object));
  return nullptr;
}

}  // namespace quor
