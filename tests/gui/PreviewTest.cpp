// The live preview beside the window: what it shows after each kind of
// change, the entries it leaves out, and what a screen reader reads of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <semaphore>
#include <thread>

#include <QAccessible>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

#include "gui/window/Main.h"
#include "gui/window/PreviewWindow.h"
#include "tests/gui/WindowOnFolder.h"

namespace quor {
namespace {

class Preview : public WindowOnFolder {
 protected:
  // Runs the event loop until `done` holds; false after five seconds.
  static bool WaitFor(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Until the newest state is shown.
  bool Settled() const {
    return WaitFor([&] { return preview_ && !preview_->Busy(); });
  }

  TPreviewWindow& Open() {
    form_->BtnPreview->click();
    preview_ = form_->Preview;
    EXPECT_TRUE(preview_ && preview_->isVisible());
    EXPECT_TRUE(Settled());
    return *preview_;
  }

  // Each row as "状態|新しい名前|元の名前", with "-" before it when its box
  // is unticked and "+" when it has none.
  [[nodiscard]] std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    const TPreviewModel& m = *preview_->Model;
    for (int r = 0; r < m.rowCount(); ++r) {
      const QVariant tick = m.index(r, 0).data(Qt::CheckStateRole);
      std::string row = !tick.isValid() ? "+" : tick.toInt() == Qt::Checked ? "" : "-";
      for (int c = 1; c < 4; ++c) row += m.index(r, c).data().toString().toStdString() + (c < 3 ? "|" : "");
      rows.push_back(row);
    }
    return rows;
  }
  [[nodiscard]] int RowOf(const std::string& oldName) const {
    for (int r = 0; r < preview_->Model->rowCount(); ++r)
      if (preview_->Model->EntryOf(r).Name == oldName) return r;
    ADD_FAILURE() << "no row for " << oldName;
    return 0;
  }
  [[nodiscard]] std::string SummaryText() const { return preview_->Summary->text().toStdString(); }
  // Types `text` into a replace cell, leaving its editor open.
  QLineEdit* Type(int col, int row, const QString& text) const {
    TStringGrid& grid = *form_->StringGridReplace;
    const QModelIndex cell = grid.model()->index(row - 1, col);
    grid.setCurrentIndex(cell);  // which opens its editor
    if (!grid.indexWidget(cell)) grid.edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(cell));
    EXPECT_NE(editor, nullptr);
    for (const QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(editor, &press);
    }
    return editor;
  }

  TPreviewWindow* preview_ = nullptr;
};

// A file written after its recording was renamed follows it in the window
// too: the preview's status says which recording, and so does the run's line.
TEST_F(Preview, ACompanionThatComesLateFollowsItsRecording) {
  File("X｢a｣[字].MP4");
  form_->BtnRename->click();
  ASSERT_TRUE(Has("X「a」[字].mp4"));
  File("X｢a｣[字].MP4.ERR");
  Open();
  EXPECT_EQ(Rows(), std::vector<std::string>{"+Rename: 本体 X「a」[字].mp4 に合わせました|X「a」[字].mp4.err|X｢a｣[字].MP4.ERR"})
      << "no box of its own: it follows its recording's tick";
  preview_->BtnRename->click();
  EXPECT_EQ(Log(), std::vector<std::string>{"Rename\tX「a」[字].mp4.err\t←\tX｢a｣[字].MP4.ERR\t本体 X「a」[字].mp4 に合わせました"});
}

// A companion whose recording is refused keeps its own name, in the
// preview's row as in the run's line.
TEST_F(Preview, ACompanionOfARefusedRecordingKeepsItsName) {
  File("c｢3｣.MP4");
  File("c｢3｣.MP4.err");
  File("c「3」.mp4", "in the way");
  Open();
  ASSERT_TRUE(Settled());
  const std::string row = Rows()[RowOf("c｢3｣.MP4.err")];
  EXPECT_EQ(row.substr(row.find('|')), "|c｢3｣.MP4.err|c｢3｣.MP4.err") << row;
  preview_->BtnRename->click();
  const std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].substr(0, log[1].find("\t←")), "Error\tc｢3｣.MP4.err") << log[1];
}

// Each kind of change shows without a button: a keystroke in a cell (its
// editor still open), an option, what the folder holds, another folder.
TEST_F(Preview, FollowsEveryChangeLive) {
  File("a｢1｣.MP4");
  File("keep.txt");
  TPreviewWindow& p = Open();
  EXPECT_EQ(p.windowTitle(), "プレビュー");
  EXPECT_FALSE(p.isModal());
  EXPECT_TRUE(form_->isEnabled()) << "the main window stays usable beside it";
  EXPECT_EQ(Rows(), std::vector<std::string>{"Rename|a「1」.mp4|a｢1｣.MP4"});
  EXPECT_EQ(SummaryText(), "変更 1 件 / エラー 0 件 / 除外 0 件");

  QLineEdit* editor = Type(0, 1, "a");
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows(), std::vector<std::string>{"Rename|「1」.mp4|a｢1｣.MP4"}) << "before the cell is committed";
  EXPECT_EQ(form_->StringGridReplace->indexWidget(form_->StringGridReplace->currentIndex()), editor);

  form_->CheckBoxLowerExt->setChecked(false);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows(), std::vector<std::string>{"Rename|「1」.MP4|a｢1｣.MP4"});

  p.Table->SelectRows({RowOf("a｢1｣.MP4")});
  File("b｢2｣.TS");
  ASSERT_TRUE(WaitFor([&] { return Rows().size() == 2; })) << "an entry another program made shows";
  EXPECT_EQ(p.Table->SelectedRows(), std::vector<int>{RowOf("a｢1｣.MP4")}) << "the selection stays with its entry";
  EXPECT_EQ(Rows()[RowOf("b｢2｣.TS")], "Rename|b「2」.TS|b｢2｣.TS");
  std::filesystem::rename(folder_ + "/b｢2｣.TS", folder_ + "/c｢3｣.TS");
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<std::string> rows = Rows();
    return std::find(rows.begin(), rows.end(), "Rename|c「3」.TS|c｢3｣.TS") != rows.end() && rows.size() == 2;
  })) << "and one renamed by another program";

  p.Filter->setCurrentIndex(1);  // すべて
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(Rows()[RowOf("keep.txt")], "変更なし|keep.txt|keep.txt");
  // A click on a column's header sorts by it, a second the other way.
  p.Table->horizontalHeader()->sectionClicked(3);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Rename|「1」.MP4|a｢1｣.MP4", "Rename|c「3」.TS|c｢3｣.TS",
                                              "変更なし|keep.txt|keep.txt"}));
  p.Table->horizontalHeader()->sectionClicked(3);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows().front(), "変更なし|keep.txt|keep.txt");

  // Left out, and kept so across a change of the rules; another folder
  // ends it.
  p.Model->SetTicks({RowOf("c｢3｣.TS")}, TCheckModel::Tick::Off);
  form_->CheckBoxLowerExt->setChecked(true);
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows()[RowOf("c｢3｣.TS")], "-除外|c「3」.ts|c｢3｣.TS");
  // A row that does not compile: nothing to rename, and why.
  form_->StringGridReplace->SetCells(0, 2, "(");
  form_->StringGridReplace->SetChecked(kRegexColumn, 2, true);
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(SummaryText().rfind("置換リスト 2 行目の正規表現が正しくありません", 0), 0u) << SummaryText();
  EXPECT_FALSE(p.BtnRename->isEnabled());
  form_->StringGridReplace->SetChecked(kRegexColumn, 2, false);
  ASSERT_TRUE(Settled());
  EXPECT_TRUE(p.BtnRename->isEnabled());

  const std::string other = root_ + "/other";
  std::filesystem::create_directory(other);
  File("x｢9｣.ts", "x", other);
  form_->EditFolder->SetText(other);
  ASSERT_TRUE(WaitFor([&] { return Rows() == std::vector<std::string>{"Rename|x「9」.ts|x｢9｣.ts"}; }));
  EXPECT_TRUE(p.Exclusions().empty());
}

// Left out by a click, by Space, by the context menu or by a screen reader:
// the run leaves those entries alone, their names still count against the
// others', a companion goes with its recording, and Undo takes back the
// rest.
TEST_F(Preview, EntriesLeftOutAreLeftOutOfTheRun) {
  for (const char* name : {"a｢1｣.MP4", "a｢1｣.MP4.err", "b｢2｣.MP4", "c｢3｣.MP4", "d｢4｣.MP4", "one.ts", "two.ts"})
    File(name);
  TStringGrid& grid = *form_->StringGridReplace;
  grid.SetCells(0, 1, "two");
  grid.SetCells(1, 1, "three");
  grid.SetCells(0, 2, "one");
  grid.SetCells(1, 2, "two");
  TPreviewWindow& p = Open();
  ASSERT_EQ(Rows().size(), 7u);
  EXPECT_EQ(Rows()[RowOf("a｢1｣.MP4.err")], "+Rename|a「1」.mp4.err|a｢1｣.MP4.err") << "no box of its own";

  // A click on the box, as the view gives it to the model.
  p.Model->setData(p.Model->index(RowOf("b｢2｣.MP4"), 0), Qt::Unchecked, Qt::CheckStateRole);
  // Space on the selected row.
  p.Table->setFocus();
  p.Table->setCurrentIndex(p.Model->index(RowOf("two.ts"), 1));
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(p.Table, &space);
  // The context menu on a selected row: 選択を反転 twice gives it back.
  p.Table->SelectRows({RowOf("d｢4｣.MP4")});
  QMenu menu;
  p.Table->FillContextMenu(menu);
  ASSERT_EQ(menu.actions().size(), 3);
  EXPECT_EQ(menu.actions()[0]->text(), "すべて選択");
  EXPECT_EQ(menu.actions()[1]->text(), "すべて解除");
  menu.actions()[2]->trigger();
  EXPECT_EQ(p.Exclusions().count("d｢4｣.MP4"), 1u);
  menu.actions()[2]->trigger();
  // A screen reader's toggle on the box of a recording.
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(p.Table);
  QAccessibleInterface* box = table->tableInterface()->cellAt(RowOf("a｢1｣.MP4"), 0);
  ASSERT_NE(box->actionInterface(), nullptr);
  box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(p.Exclusions(), (NameSet{"a｢1｣.MP4", "b｢2｣.MP4", "two.ts"}));

  ASSERT_TRUE(Settled());
  EXPECT_EQ(SummaryText(), "変更 2 件 / エラー 1 件 / 除外 4 件");
  EXPECT_EQ(Rows()[RowOf("a｢1｣.MP4.err")], "+除外|a「1」.mp4.err|a｢1｣.MP4.err") << "it follows its recording";
  EXPECT_EQ(Rows()[RowOf("one.ts")], "Error: 同じ名前が既にあります|two.ts|one.ts") << "two.ts keeps its name";
  EXPECT_EQ(p.Model->index(RowOf("one.ts"), 1).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(0xB0, 0, 0))
      << "in red";
  EXPECT_EQ(Rows()[RowOf("two.ts")], "-除外|three.ts|two.ts");
  EXPECT_EQ(form_->ExclusionNote->text(), "除外 4 件");
  EXPECT_FALSE(form_->ExclusionNote->isHidden());
  p.Filter->setCurrentIndex(3);  // 除外のみ
  ASSERT_TRUE(Settled());
  EXPECT_EQ(Rows().size(), 4u);

  // The run writes exactly the preview's lines for the ticked entries.
  p.Filter->setCurrentIndex(0);
  ASSERT_TRUE(Settled());
  std::vector<std::string> shown;
  for (int r = 0; r < p.Model->rowCount(); ++r)
    if (Rows()[static_cast<std::size_t>(r)].find("除外") == std::string::npos) {
      const std::string state = p.Model->index(r, 1).data().toString().toStdString();
      const std::string names = p.Model->index(r, 2).data().toString().toStdString() + "\t←\t" +
                                p.Model->index(r, 3).data().toString().toStdString();
      shown.push_back(state == "Rename" ? "Rename\t" + names : "Error\t" + names + "\t" + state.substr(7));
    }
  p.BtnRename->click();
  EXPECT_EQ(Log(), shown);
  EXPECT_EQ(form_->StatusBar->Text(), "リネーム 2 件、エラー 1 件、除外 4 件");
  for (const char* name : {"a｢1｣.MP4", "a｢1｣.MP4.err", "b｢2｣.MP4", "c「3」.mp4", "d「4」.mp4", "one.ts", "two.ts"})
    EXPECT_TRUE(Has(name)) << name;
  ASSERT_TRUE(WaitFor([&] { return !p.Busy() && SummaryText() == "変更 0 件 / エラー 1 件 / 除外 4 件"; }))
      << "the exclusions stay while the window is open, and the folder is read again";

  form_->BtnUndo->click();
  EXPECT_TRUE(Has("c｢3｣.MP4"));
  EXPECT_TRUE(Has("d｢4｣.MP4"));

  EXPECT_EQ(form_->ExclusionNote->text(), "除外 4 件") << "said as long as they are set";

  // Closed, nothing is left out any more.
  p.close();
  EXPECT_TRUE(p.Exclusions().empty());
  EXPECT_TRUE(form_->ExclusionNote->isHidden());
  form_->BtnRename->click();
  EXPECT_TRUE(Has("b「2」.mp4"));
  EXPECT_TRUE(Has("a「1」.mp4.err"));
}

// A change while the older one is still being worked on stops it: the
// table never shows the older list, only the newest.
TEST_F(Preview, ANewerChangeCancelsTheOlderOne) {
  File("a.ts");
  TPreviewWindow& p = Open();
  std::vector<std::string> shown;  // each finished list the table showed
  QObject::connect(p.Model, &QAbstractItemModel::modelReset, [&] {
    if (p.Model->rowCount() > 0) shown.push_back(p.Model->index(0, 2).data().toString().toStdString());
  });
  QObject::connect(p.Model, &QAbstractItemModel::dataChanged, [&] {
    if (!p.Model->Pending() && p.Model->rowCount() > 0)
      shown.push_back(p.Model->index(0, 2).data().toString().toStdString());
  });
  std::binary_semaphore reached(0), release(0);
  std::atomic<int> held{0};
  p.Worker().WorkHook = [&](std::uint64_t) {
    if (held++ > 0) return;
    reached.release();
    release.acquire();
  };
  form_->StringGridReplace->SetCells(0, 1, "a");
  form_->StringGridReplace->SetCells(1, 1, "older");
  ASSERT_TRUE(WaitFor([&] { return reached.try_acquire(); })) << "the older change is being planned";
  form_->StringGridReplace->SetCells(1, 1, "newer");
  ASSERT_TRUE(WaitFor([&] { return p.Worker().Latest() > p.ShownGeneration() + 1; }));
  release.release();
  ASSERT_TRUE(Settled());
  p.Worker().WorkHook = nullptr;
  EXPECT_EQ(Rows(), std::vector<std::string>{"Rename|newer.ts|a.ts"});
  for (const std::string& name : shown) EXPECT_NE(name, "older.ts") << "a stale list was shown";
  EXPECT_EQ(held.load(), 2) << "the newer change was planned after the older one";

  // Held before its answers, a change shows the rows on screen first, their
  // states to follow.
  p.Worker().WorkHook = [&](std::uint64_t) { release.acquire(); };
  Type(0, 2, "t");
  ASSERT_TRUE(WaitFor([&] { return p.Model->Pending(); }));
  EXPECT_EQ(Rows(), std::vector<std::string>{"計算中…|newer.s|a.ts"});
  release.release();
  ASSERT_TRUE(Settled());
  p.Worker().WorkHook = nullptr;
  EXPECT_EQ(Rows(), std::vector<std::string>{"Rename|newer.s|a.ts"});
}

// What a screen reader finds: the table and its columns by name, the
// summary's text, the filter named by its label, each box's state.
TEST_F(Preview, ReadsThroughTheAccessibilityInterface) {
  File("a｢1｣.MP4");
  File("a｢1｣.MP4.err");
  TPreviewWindow& p = Open();
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(p.Table);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->text(QAccessible::Name), "プレビュー");
  EXPECT_EQ(table->role(), QAccessible::Table);
  QAccessibleTableInterface* cells = table->tableInterface();
  ASSERT_NE(cells, nullptr);
  ASSERT_EQ(cells->rowCount(), 2);
  std::vector<std::string> columns;
  for (int c = 0; c < cells->columnCount(); ++c) columns.push_back(cells->columnDescription(c).toStdString());
  EXPECT_EQ(columns, (std::vector<std::string>{"対象", "状態", "新しい名前", "元の名前"}));
  QAccessibleInterface* header = table->child(1);
  EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
  EXPECT_EQ(header->text(QAccessible::Name), "状態");
  QAccessibleInterface* box = cells->cellAt(RowOf("a｢1｣.MP4"), 0);
  EXPECT_EQ(table->indexOfChild(box), (RowOf("a｢1｣.MP4") + 1) * 4);
  EXPECT_EQ(box->text(QAccessible::Name), "a｢1｣.MP4");
  EXPECT_TRUE(box->state().checkable);
  EXPECT_TRUE(box->state().checked);
  EXPECT_EQ(box->tableCellInterface()->columnHeaderCells().value(0)->text(QAccessible::Name), "対象");
  EXPECT_FALSE(cells->cellAt(RowOf("a｢1｣.MP4.err"), 0)->state().checkable) << "a companion has no box";
  EXPECT_EQ(cells->cellAt(RowOf("a｢1｣.MP4"), 2)->text(QAccessible::Name), "a「1」.mp4");
  box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(cells->cellAt(RowOf("a｢1｣.MP4"), 0)->state().checked);

  ASSERT_TRUE(Settled());
  QAccessibleInterface* summary = QAccessible::queryAccessibleInterface(p.Summary);
  EXPECT_EQ(summary->text(QAccessible::Name), "集計");
  EXPECT_EQ(summary->text(QAccessible::Description), "変更 0 件 / エラー 0 件 / 除外 2 件");
  // Named by its label, which a reader finds as the box's label.
  QAccessibleInterface* filter = QAccessible::queryAccessibleInterface(p.Filter);
  const auto labels = filter->relations(QAccessible::Label);
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0].first->text(QAccessible::Name), "表示");
  EXPECT_EQ(filter->text(QAccessible::Value), "変更のみ");
}

// The window's size and place live in [Preview], read by the rules of the
// main window's own.
TEST_F(Preview, KeepsItsPlaceInTheSettings) {
  TPreviewWindow& p = Open();
  p.resize(800, 500);
  p.move(40, 60);
  form_->close();
  TFormRenamer again(root_ + "/quor-renamer.ini");
  again.BtnPreview->click();
  ASSERT_NE(again.Preview, nullptr);
  EXPECT_EQ(again.Preview->size(), QSize(800, 500));
  EXPECT_EQ(again.Preview->pos(), p.pos());
}

}  // namespace
}  // namespace quor
