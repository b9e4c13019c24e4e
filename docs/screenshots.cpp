// Renders the README's pictures: the main window with a filled-in replace
// list, the live preview beside it on a folder of recordings with a few
// collisions and one recording left out, the Log page after the rename,
// and the history.
// Run under a real X server (xvfb-run) so that the desktop's fonts are used.
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>
#include <QTimer>

#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "gui/window/HistoryDialog.h"
#include "gui/window/Main.h"
#include "gui/window/PreviewWindow.h"
#include "gui/controls/Application.h"

using namespace quor;

namespace {

// Runs `then` once `ready` holds, asking every 20 ms.
void When(std::function<bool()> ready, std::function<void()> then) {
  if (ready()) {
    then();
    return;
  }
  QTimer::singleShot(20, [ready = std::move(ready), then = std::move(then)]() mutable {
    When(std::move(ready), std::move(then));
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "docs";
  QStandardPaths::setTestModeEnabled(true);
  TQtApplication app(argc, argv);
  char templ[] = "/tmp/quor-shots-XXXXXX";
  const std::string root = mkdtemp(templ);
  setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  const std::string folder = root + "/録画/星空探偵団";
  std::filesystem::create_directories(folder);
  for (const char* name :
       {"星空探偵団 第01話｢はじまりの夜｣[字].MP4", "星空探偵団 第02話｢消えた時計塔｣[字][再].MP4",
        "星空探偵団 第03話｢月とピアノ｣[HD].MP4", "星空探偵団 第03話「月とピアノ」.mp4",
        "星空探偵団 第04話 ｢雨の日の約束｣[字].TS", "星空探偵団 第05話｢さよなら〜また明日｣[字].m2ts",
        "星空探偵団 第05話｢さよなら〜また明日｣[再].m2ts", "メモ.txt"})
    std::ofstream(folder + "/" + name);

  TFormRenamer form(root + "/quor-renamer.ini");
  form.EditFolder->SetText(folder);
  form.CheckBoxWaKakko->setChecked(true);
  form.CheckBoxDelAfterKakko->setChecked(true);
  form.StringGridReplace->SetCells(0, 1, "星空探偵団 ");
  form.StringGridReplace->SetCells(1, 1, "");
  form.StringGridReplace->SetCells(0, 2, "〜");
  form.StringGridReplace->SetCells(1, 2, "～");
  form.show();
  QTimer::singleShot(300, [&] {
    form.grab().save(QString::fromStdString(out + "/screenshot-main.png"));
    // The live preview beside the window, one recording left out.
    form.BtnPreviewClick(form.BtnPreview);
    TPreviewWindow& preview = *form.Preview;
    preview.move(form.x() + form.frameGeometry().width() + 12, form.y());
    When([&] { return !preview.Busy(); }, [&] {
      for (int r = 0; r < preview.Model->rowCount(); ++r)
        if (preview.Model->EntryOf(r).Name.find("[再]") != std::string::npos)
          preview.Model->SetTicks({r}, TCheckModel::Tick::Off);
      preview.Table->selectRow(0);
      When([&] { return !preview.Busy(); }, [&] {
        QTimer::singleShot(300, [&] {
          // Both windows as they stand side by side.
          const QPixmap left = form.grab();
          const QPixmap right = preview.grab();
          QPixmap both(left.width() + 12 + right.width(), std::max(left.height(), right.height()));
          both.fill(QColor(0xE8, 0xE8, 0xE8));
          QPainter paint(&both);
          paint.drawPixmap(0, 0, left);
          paint.drawPixmap(left.width() + 12, 0, right);
          paint.end();
          both.save(QString::fromStdString(out + "/screenshot-preview.png"));
          preview.close();
          form.BtnRenameClick(form.BtnRename);
          form.PageControl->setCurrentWidget(form.TabSheetLog);
          QTimer::singleShot(300, [&] {
            form.grab().save(QString::fromStdString(out + "/screenshot-log.png"));
            THistoryDialog history(HistoryFolder(), &form);
            history.show();
            QTimer::singleShot(300, [&] {
              history.grab().save(QString::fromStdString(out + "/screenshot-history.png"));
              history.close();
              form.hide();
              QApplication::quit();
            });
            history.exec();
          });
        });
      });
    });
  });
  QApplication::exec();
  std::filesystem::remove_all(root);
  std::printf("wrote the main window, the preview, the log and the history into %s\n", out.c_str());
  return 0;
}
