#pragma once

// The recorded runs, newest first, and a way to undo one of them after a
// restart: 履歴 on the main window opens it.

#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "engine/history/History.h"
#include "gui/controls/RowsModel.h"

class QLabel;
class QPushButton;
class QTableView;

namespace quor {

// A run's state in a few words, with what undos found gone: "完了",
// "一部を元に戻した（見つからない 1 件）", "読めません" ...
[[nodiscard]] std::string RunStateText(const RunSummary& run);

class THistoryModel : public TRowsModel<RunSummary> {
 public:
  explicit THistoryModel(QObject* parent = nullptr);

  void SetRuns(std::vector<RunSummary> runs) { SetRows(std::move(runs)); }
  [[nodiscard]] const RunSummary& Run(int row) const { return Row(row); }

  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
};

class THistoryDialog : public QDialog {
 public:
  THistoryDialog(std::string historyDir, QWidget* parent = nullptr);

  // Reads the history folder again.
  void Refresh();
  // Undoes the selected run, asking first when a later run of its folder
  // may have renamed the same entries.
  void BtnUndoClick();

  // Undoes a run; the window does it, so that its log shows the lines.
  std::function<void(UndoPlan plan)> UndoProc;
  // Asks the user a yes/no question; tests answer it.
  std::function<bool(const QString& question)> ConfirmProc;

  QTableView* Table;
  QPushButton* BtnUndo;
  QPushButton* BtnClose;
  QLabel* Note;

 private:
  void UpdateButtons();

  std::string historyDir_;
  THistoryModel* model_;
};

}  // namespace quor
