#pragma once

// The preview of a rename run: what Rename would do now, one row per line
// that the run would write, in a table that opens at once for any size of
// folder (the model formats a row only when the view shows it).

#include <QAbstractTableModel>
#include <QDialog>

#include "engine/rename/RenameRun.h"

namespace quor {

class TPreviewModel : public QAbstractTableModel {
 public:
  explicit TPreviewModel(std::vector<RenameLine> lines, QObject* parent = nullptr)
      : QAbstractTableModel(parent), lines_(std::move(lines)) {}

  [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<RenameLine> lines_;
};

// "変更 1,234 件 / エラー 3 件"
[[nodiscard]] QString PreviewSummary(const std::vector<RenameLine>& lines);

class TPreviewDialog : public QDialog {
 public:
  // Accepted when the user asks for the real rename.
  TPreviewDialog(const RenameOutcome& outcome, QWidget* parent = nullptr);
};

}  // namespace quor
