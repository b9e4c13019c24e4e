// The live preview on 100,000 recording names (and, with --million, on
// 1,000,000), beside the engine's own planning of the same names: opening
// it (to the first rows painted, to the whole list with its collisions and
// counts), a keystroke in a replace cell (to the rows on screen painted
// with their new names, to the whole), ten keystrokes 30 ms apart (to the
// right list after the last), the longest time the event loop was busy
// while the work went on, and the memory the entries take. Run it under
// xvfb-run -a for a real display. Prints, never fails on a figure.
//
//   bench_gui_preview [count] [rounds] [--million]
//   QUOR_BENCH_ROOT=/var/tmp/quor-bench bench_gui_preview ...  keeps the folders
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

#include "engine/rename/RunPlan.h"
#include "gui/controls/Application.h"
#include "gui/window/Main.h"
#include "gui/window/PreviewWindow.h"
#include "text/DisplayText.h"

#include "RecordingFolder.h"

using namespace quor;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

long RssMb() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

// The GUI thread's own processor time, in milliseconds.
double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The longest time between two ticks of a 1 ms timer: how long the event
// loop kept anything waiting; and the most processor time the GUI thread
// spent between two ticks: how long it was busy at a stretch, which other
// programs on a shared machine cannot lengthen.
class StallMeter {
 public:
  StallMeter() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      const double cpu = ThreadMs();
      longest_ = std::max(longest_, Ms(last_, now));
      busiest_ = std::max(busiest_, cpu - lastCpu_);
      last_ = now;
      lastCpu_ = cpu;
    });
  }
  void Start() {
    longest_ = busiest_ = 0;
    last_ = Clock::now();
    lastCpu_ = ThreadMs();
    timer_.start();
  }
  struct Stall {
    double wall = 0;
    double busy = 0;
    void Add(const Stall& s) {
      wall = std::max(wall, s.wall);
      busy = std::max(busy, s.busy);
    }
  };
  Stall Stop() {
    timer_.stop();
    return {longest_, busiest_};
  }

 private:
  QTimer timer_;
  Clock::time_point last_;
  double lastCpu_ = 0;
  double longest_ = 0;
  double busiest_ = 0;
};

// Runs the event loop until `done` holds (a minute at most); the time then.
Clock::time_point Until(const std::function<bool()>& done) {
  const auto limit = Clock::now() + std::chrono::seconds(60);
  // Something to wake for, whatever the window waits for.
  QTimer tick;
  tick.start(1);
  QEventLoop loop;
  while (!done() && Clock::now() < limit) loop.processEvents(QEventLoop::WaitForMoreEvents);
  return Clock::now();
}

// The time once `view` has painted what it shows now.
Clock::time_point Painted(QWidget* view) {
  view->repaint();
  return Clock::now();
}

struct Figures {
  std::vector<double> first, whole;
  StallMeter::Stall stall;  // the worst of the rounds
  static double Best(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
  static double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
};

class Bench {
 public:
  Bench(const std::string& dir, const std::string& settings) : dir_(dir), form_(settings) {
    form_.EditFolder->SetText(dir);
    // What a fresh install ticks, and the two options a recording folder wants.
    form_.CheckBoxWaSpKakko->setChecked(true);
    form_.CheckBoxDelAfterKakko->setChecked(true);
    form_.show();
    QApplication::processEvents();
  }

  // The engine alone, on the same names: listing, planning, answering.
  void Engine(int rounds) {
    std::vector<double> list, plan;
    for (int r = 0; r < rounds; ++r) {
      const auto start = Clock::now();
      const FolderSnapshot snapshot = TakeSnapshot(dir_);
      const auto listed = Clock::now();
      const RunPlan p = PlanRun(snapshot, Options());
      SimulatedFolder folder;
      (void)AnswerPlan(p, snapshot, folder);
      const auto planned = Clock::now();
      list.push_back(Ms(start, listed));
      plan.push_back(Ms(listed, planned));
    }
    lines_.insert(lines_.begin(), Format("engine alone: listing %.1f ms, planning with its collisions %.1f ms, "
                                         "together %.1f ms (best of %d)",
                                         Figures::Best(list), Figures::Best(plan),
                                         Figures::Best(list) + Figures::Best(plan), rounds));
  }

  void Open(int rounds) {
    Figures f;
    long before = 0;
    long after = 0;
    for (int r = 0; r < rounds; ++r) {
      if (preview()) preview()->close();
      QApplication::processEvents();
      // Once: what a round frees stays with the allocator for the next.
      if (r == 0) before = RssMb();
      const auto start = Clock::now();
      form_.BtnPreviewClick(form_.BtnPreview);
      TPreviewWindow& p = *preview();
      // From its first frame on the window computes: making it, showing it
      // and the display's own first work for it are no part of that.
      (void)Painted(&p);
      meter_.Start();
      (void)Until([&] { return p.Model->rowCount() > 0; });
      f.first.push_back(Ms(start, Painted(p.Table->viewport())));
      (void)Until([&] { return !p.Busy(); });
      f.whole.push_back(Ms(start, Painted(p.Table->viewport())));
      f.stall.Add(meter_.Stop());
      if (r == 0) after = RssMb();
    }
    lines_.push_back(Format("open the preview: first rows %.1f ms, whole list %.1f ms (best of %d); "
                            "longest stall %.1f ms (the GUI thread busy %.1f ms of it)",
                            Figures::Best(f.first), Figures::Best(f.whole), rounds, f.stall.wall, f.stall.busy));
    lines_.push_back(Format("  memory: %ld MB before it opened, %ld MB with the list shown: %+ld MB", before, after,
                            after - before));
    openedAt_ = before;
  }

  // The figures, beside the engine's, which are measured last so that
  // their memory does not count for the window's.
  void Print() const {
    for (const std::string& line : lines_) std::printf("%s\n", line.c_str());
  }

  // One keystroke in the Old cell of the first row, then Backspace.
  void Keystroke(int rounds) {
    Figures f;
    TPreviewWindow& p = *preview();
    for (int r = 0; r < rounds * 2; ++r) {
      QLineEdit* editor = Editor();
      const bool typing = r % 2 == 0;
      const std::string oldCell = editor->text().toStdString();
      const std::string kanji = "字";
      const std::string newCell = typing ? oldCell + kanji : oldCell.substr(0, oldCell.size() - kanji.size());
      // What the first row on screen must show afterwards.
      const int top = std::max(0, p.Table->rowAt(0));
      const std::string oldName = p.Model->EntryOf(top).Name;
      RenameOptions o = Options();
      o.ReplaceList = {{newCell, ""}};
      const PreviewPlan& shown = *p.Model->Plan();
      const std::string name = PlannedName(Planner(o), *shown.Snapshot, shown.Plan, p.Model->Position(top));
      const QString expected = QString::fromStdString(DisplayName(name));
      meter_.Start();
      const auto start = Clock::now();
      Key(editor, typing ? Qt::Key_unknown : Qt::Key_Backspace, typing ? QStringLiteral("字") : QString());
      (void)Until([&] {
        const int row = std::max(0, p.Table->rowAt(0));
        return p.Model->rowCount() > row && p.Model->EntryOf(row).Name == oldName &&
               p.Model->index(row, TPreviewModel::kNewName).data().toString() == expected;
      });
      f.first.push_back(Ms(start, Painted(p.Table->viewport())));
      (void)Until([&] { return !p.Busy(); });
      f.whole.push_back(Ms(start, Painted(p.Table->viewport())));
      f.stall.Add(meter_.Stop());
    }
    lines_.push_back(Format("a keystroke in a replace cell: rows on screen %.1f ms (worst %.1f), whole list %.1f ms "
                            "(worst %.1f); longest stall %.1f ms (the GUI thread busy %.1f ms of it)",
                            Figures::Best(f.first), Figures::Worst(f.first), Figures::Best(f.whole),
                            Figures::Worst(f.whole), f.stall.wall, f.stall.busy));
  }

  // Ten keystrokes 30 ms apart; the list after the last, checked against
  // the engine's own plan.
  void Burst() {
    TPreviewWindow& p = *preview();
    QLineEdit* editor = Editor();
    editor->clear();
    const QString typed = QStringLiteral("ドキュメント72時間");
    meter_.Start();
    Clock::time_point last;
    for (const QChar c : typed) {
      Key(editor, Qt::Key_unknown, QString(c));
      last = Clock::now();
      (void)Until([&] { return Clock::now() - last >= std::chrono::milliseconds(30); });
    }
    const auto done = Until([&] { return !p.Busy(); });
    (void)Painted(p.Table->viewport());
    const StallMeter::Stall stall = meter_.Stop();
    // The memory of the plans dropped is given back once the window is idle.
    const auto idle = Clock::now();
    (void)Until([&] { return Clock::now() - idle > std::chrono::milliseconds(200); });
    const long memory = RssMb() - openedAt_;
    // Checked afterwards: the check plans the folder once more, here.
    lines_.push_back(Format("ten keystrokes 30 ms apart: the whole list %.1f ms after the last; longest stall %.1f ms "
                            "(the GUI thread busy %.1f ms of it); %s",
                            Ms(last, done), stall.wall, stall.busy,
                            Right(typed.toStdString()) ? "the list is right" : "THE LIST IS WRONG"));
    lines_.push_back(
        Format("  memory after the keystrokes: %+ld MB over the window before the preview opened", memory));
    editor->clear();
    Key(editor, Qt::Key_Backspace, QString());
    (void)Until([&] { return !p.Busy(); });
  }

 private:
  TPreviewWindow* preview() { return form_.Preview; }

  RenameOptions Options() const {
    RenameOptions o;
    o.WaSpaceKakko = true;
    o.DeleteAfterKakko = true;
    return o;
  }

  QLineEdit* Editor() {
    TStringGrid& grid = *form_.StringGridReplace;
    const QModelIndex cell = grid.model()->index(0, 0);
    // A cell made current opens its editor.
    grid.setCurrentIndex(cell);
    if (!grid.indexWidget(cell)) grid.edit(cell);
    return qobject_cast<QLineEdit*>(grid.indexWidget(cell));
  }

  static void Key(QWidget* to, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
  }

  // Every row the preview shows is the engine's line for its entry.
  bool Right(const std::string& typed) {
    const FolderSnapshot snapshot = TakeSnapshot(dir_);
    RenameOptions o = Options();
    o.ReplaceList = {{typed, ""}};
    const RunPlan plan = PlanRun(snapshot, o);
    SimulatedFolder folder;
    const PlanAnswers answers = AnswerPlan(plan, snapshot, folder);
    std::map<std::string, std::string> lines;  // old name -> its line
    for (std::size_t k = 0; k < plan.Entries.size(); ++k)
      if (plan.Entries[k].Tried())
        lines[snapshot.Entries[plan.Entries[k].Entry].Name] =
            FormatLine(LineOf(snapshot, plan, k, answers.Why[k].Full()));
    const TPreviewModel& m = *preview()->Model;
    if (static_cast<std::size_t>(m.rowCount()) != lines.size()) return false;
    for (int r = 0; r < m.rowCount(); ++r) {
      const auto it = lines.find(m.EntryOf(r).Name);
      if (it == lines.end()) return false;
      const std::string state = m.index(r, TPreviewModel::kState).data().toString().toStdString();
      const std::string line = (state == "Rename" ? "Rename\t" : "Error\t") +
                               m.index(r, TPreviewModel::kNewName).data().toString().toStdString() + "\t←\t" +
                               m.index(r, TPreviewModel::kOldName).data().toString().toStdString() +
                               (state == "Rename" ? "" : "\t" + state.substr(std::string("Error: ").size()));
      if (line != it->second) return false;
    }
    return true;
  }

  template <typename... Args>
  static std::string Format(const char* format, Args... args) {
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    return line;
  }

  std::string dir_;
  TFormRenamer form_;
  StallMeter meter_;
  long openedAt_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace

int main(int argc, char** argv) {
  // On a display when there is one (xvfb-run), else offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes, also into a file
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const bool million = argc > 3 && std::string(argv[3]) == "--million";

  // QUOR_BENCH_ROOT keeps the folders for the next run: a million files
  // take minutes to make.
  const char* kept = std::getenv("QUOR_BENCH_ROOT");
  char templ[] = "/tmp/quor-bench-XXXXXX";
  const std::string root = kept ? kept : mkdtemp(templ);
  std::filesystem::create_directories(root);
  setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  TQtApplication app(argc, argv);
  std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));

  for (const int n : million ? std::vector<int>{count, 1000000} : std::vector<int>{count}) {
    const std::string dir = root + "/recordings-" + std::to_string(n);
    if (!kept || !std::filesystem::exists(dir)) bench::MakeRecordings(dir, n);
    std::printf("\n%d recording names in %s\n", n, dir.c_str());
    Bench bench(dir, root + "/settings-" + std::to_string(n) + ".ini");
    bench.Open(rounds);
    bench.Keystroke(rounds);
    bench.Burst();
    bench.Engine(rounds);
    bench.Print();
  }
  if (!kept) std::filesystem::remove_all(root);
  return 0;
}
