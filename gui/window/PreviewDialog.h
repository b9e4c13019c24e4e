#pragma once

// The preview of a rename run: what Rename would do now, one row per line
// that the run would write, in a table that opens at once for any size of
// folder (the model formats a row only when the view shows it).

#include <QDialog>

#include "engine/rename/RenameRun.h"
#include "gui/controls/RowsModel.h"

namespace quor {

class TPreviewModel : public TRowsModel<RenameLine> {
 public:
  explicit TPreviewModel(std::vector<RenameLine> lines, QObject* parent = nullptr);

  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
};

// "変更 1,234 件 / エラー 3 件"
[[nodiscard]] QString PreviewSummary(const std::vector<RenameLine>& lines);

class TPreviewDialog : public QDialog {
 public:
  // Accepted when the user asks for the real rename.
  TPreviewDialog(RenameOutcome outcome, QWidget* parent = nullptr);
};

}  // namespace quor
