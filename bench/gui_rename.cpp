// The main job on 100,000 recording names, side by side with the floor: a
// bare loop that lists the folder and calls renameat2 with names worked out
// beforehand. Prints seconds and the ratio to the floor for the GUI-free
// rename and undo with and without the history journal, the Rename and Undo
// buttons of a shown window on its Log page (journal, log and undo list
// included), and the file list.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QApplication>
#include <QStandardPaths>

#include "gui/window/Main.h"
#include "engine/files/FileList.h"
#include "gui/controls/Application.h"
#include "engine/rename/NameRules.h"
#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "engine/rename/RenameRun.h"

#include "RecordingFolder.h"

using namespace quor;
using namespace quor::bench;

namespace {

double CpuSeconds() {
  timespec t {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The clock's seconds and this process's CPU seconds of each round.
struct Figures {
  std::vector<double> runs;
  std::vector<double> cpu;
  // Each figure starts with nothing left for the disk to write, so that one
  // contender's writeback (a history record, the renames before it) is not
  // timed as part of the next one.
  void Time(const std::function<void()>& f) {
    sync();
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    f();
    runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    cpu.push_back(CpuSeconds() - cpuBefore);
  }
  [[nodiscard]] double Best() const { return *std::min_element(runs.begin(), runs.end()); }
  [[nodiscard]] double BestCpu() const { return *std::min_element(cpu.begin(), cpu.end()); }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

  char templ[] = "/tmp/quor-bench-XXXXXX";
  const std::string root = mkdtemp(templ);
  // The history goes where the renames go: same file system, nothing of the user's.
  setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  const std::string history = HistoryFolder();
  TQtApplication app(argc, argv);
  const std::string dir = root + "/recordings";
  std::filesystem::create_directory(dir);
  MakeRecordings(dir, count);
  std::printf("%d files in %s\n", count, dir.c_str());

  RenameOptions options;  // what a fresh install has ticked
  options.WaSpaceKakko = true;
  options.DeleteAfterKakko = true;
  std::unordered_map<std::string, std::string> forward, back;
  for (const std::string& name : ListNames(dir)) {
    const std::string renamed = ApplyNameRules(name, options, Codepage::Utf8);
    if (renamed != name) {
      forward[name] = renamed;
      back[renamed] = name;
    }
  }

  // The window as a user has it after a run: shown, on the Log page.
  TFormRenamer form(root + "/settings.ini");
  form.EditFolder->SetText(dir);
  form.CheckBoxWaSpKakko->setChecked(true);
  form.CheckBoxDelAfterKakko->setChecked(true);
  form.show();
  form.PageControl->setCurrentWidget(form.TabSheetLog);
  QApplication::processEvents();
  // A click, until the window has painted what it shows afterwards.
  const auto click = [&](Figures& into, const std::function<void()>& handler) {
    into.Time([&] {
      handler();
      form.repaint();
      QApplication::processEvents();
    });
  };

  Figures floor, core, journaled, undo, journaledUndo, button, undoButton, list, listButton;
  for (int r = 0; r < rounds; ++r) {
    floor.Time([&] { Floor(dir, forward); });
    Floor(dir, back);

    std::vector<std::string> oldPaths, newPaths;
    std::vector<EntryId> ids;
    core.Time([&] { (void)RunRename(dir, options, {oldPaths, newPaths, ids}); });
    undo.Time([&] { (void)RunUndo({oldPaths, newPaths, ids}); });
    journaled.Time([&] {
      JournalWriter journal(history, RunKind::Rename, dir);
      (void)RunRename(dir, options, {oldPaths, newPaths, ids}, {}, &journal);
    });
    journaledUndo.Time([&] {
      JournalWriter journal(history, RunKind::Undo, dir);
      (void)RunUndo({oldPaths, newPaths, ids}, {}, &journal);
    });

    click(button, [&] { form.BtnRenameClick(form.BtnRename); });
    click(undoButton, [&] { form.BtnUndoClick(form.BtnUndo); });

    list.Time([&] { (void)BuildFileList(dir, true, true); });
    click(listButton, [&] { form.BtnCopyFileListClick(form.BtnCopyFileList); });
  }

  const double f = floor.Best();
  const auto row = [&](const char* what, const Figures& x, bool ratio) {
    std::printf("%-52s %8.3f s", what, x.Best());
    if (ratio)
      std::printf("   %5.2f x floor   (medians %5.2f x; CPU %5.2f x, medians %5.2f x)", x.Best() / f,
                  Median(x.runs) / Median(floor.runs), x.BestCpu() / floor.BestCpu(), Median(x.cpu) / Median(floor.cpu));
    std::printf("\n");
  };
  std::printf("best of %d rounds (medians beside), %zu renames each, on one file system\n", rounds, forward.size());
  row("floor: readdir + renameat2", floor, false);
  row("rename, GUI-free, no history", core, true);
  row("rename, GUI-free, with the history journal", journaled, true);
  std::printf("  the journal costs %+.1f %% of the run (%+.1f %% by the medians)\n",
              (journaled.Best() / core.Best() - 1) * 100, (Median(journaled.runs) / Median(core.runs) - 1) * 100);
  row("rename, the button, Log page shown, journal", button, true);
  row("undo, GUI-free, no history", undo, true);
  row("undo, GUI-free, with the history journal", journaledUndo, true);
  row("undo, the button, Log page shown, journal", undoButton, true);
  // Paired within each round, what the window adds stands out of the noise
  // that moves every figure of a round together.
  const auto added = [&](const char* what, const Figures& window, const Figures& engine) {
    std::vector<double> d;
    for (std::size_t r = 0; r < window.runs.size(); ++r) d.push_back(window.runs[r] - engine.runs[r]);
    std::printf("  the window adds to the %s, median of the rounds  %+.3f s  (%+.1f %% of the floor)\n", what,
                Median(d), Median(d) / Median(floor.runs) * 100);
  };
  added("rename", button, journaled);
  added("undo", undoButton, journaledUndo);
  row("file list, GUI-free (BuildFileList)", list, false);
  row("file list, the button, Log page shown", listButton, false);

  // A million lines in the shown log: from setting them to the first frame.
  std::vector<std::string> lines;
  for (int i = 0; i < 1000000; ++i)
    lines.push_back("Rename\tアニメ劇場 第" + std::to_string(i) + "話 「約束の場所」.mp4\t←\tアニメ劇場 第" +
                    std::to_string(i) + "話｢約束の場所｣[字].MP4");
  Figures million, paint;
  for (int r = 0; r < rounds; ++r) {
    form.Memo->Clear();
    QApplication::processEvents();
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& line : lines) form.Memo->Lines().Add(line);
    const auto added = std::chrono::steady_clock::now();
    form.Memo->repaint();
    const auto painted = std::chrono::steady_clock::now();
    million.runs.push_back(std::chrono::duration<double>(painted - start).count());
    paint.runs.push_back(std::chrono::duration<double>(painted - added).count());
  }
  row("a log of 1,000,000 lines: set, to its first frame", million, false);
  row("  of which the first frame once they are set", paint, false);

  std::filesystem::remove_all(root);
  return 0;
}
