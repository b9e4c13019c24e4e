#pragma once

// A read-only table over a vector of rows, with fixed column titles: the
// preview and the history list are both one. A subclass says what a cell
// shows (data); the rows, their count and the header live here.

#include <initializer_list>
#include <utility>
#include <vector>

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

namespace quor {

template <typename RowType>
class TRowsModel : public QAbstractTableModel {
 public:
  TRowsModel(std::initializer_list<const char*> titles, std::vector<RowType> rows, QObject* parent)
      : QAbstractTableModel(parent), rows_(std::move(rows)) {
    for (const char* title : titles) titles_.push_back(QString::fromUtf8(title));
  }

  void SetRows(std::vector<RowType> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
  }
  [[nodiscard]] const RowType& Row(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
  }
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= titles_.size())
      return QAbstractTableModel::headerData(section, orientation, role);
    return titles_[section];
  }

 private:
  std::vector<RowType> rows_;
  QStringList titles_;
};

}  // namespace quor
