// The log view with ten lines and with a million: the time from the last
// line added to the first frame painted with them, then a scroll to the
// middle and the Log page shown again, each to its painted frame. The cost
// of adding the lines is printed beside it. The baseline is a plain
// QPlainTextEdit given the same text in one go, as the log used to be.
// Target: under 50 ms to the first frame for a million lines. Prints, never
// fails on the figure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "gui/controls/Application.h"
#include "gui/controls/Memo.h"

using namespace quor;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Notes when the watched viewport has finished painting.
class PaintWatch : public QObject {
 public:
  Clock::time_point at;
  bool seen = false;

  // Runs the event loop until the next paint is over; its end time.
  Clock::time_point Next() {
    seen = false;
    const auto limit = Clock::now() + std::chrono::seconds(60);
    while (!seen && Clock::now() < limit) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return at;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    watched->removeEventFilter(this);
    const bool handled = watched->event(event);  // the paint itself, timed to its end
    watched->installEventFilter(this);
    at = Clock::now();
    seen = true;
    return handled;
  }
};

std::string Line(int i) {
  const char* kinds[] = {"Rename", "Rename", "Rename", "Error"};
  std::string line = std::string(kinds[i % 4]) + "\tアニメ劇場 第" + std::to_string(i) +
                     "話 「約束の場所」.mp4\t←\tアニメ劇場 第" + std::to_string(i) + "話｢約束の場所｣[字].MP4";
  if (i % 4 == 3) line += "\t同じ名前があります";
  return line;
}

struct Figures {
  std::vector<double> add, paint, scroll, reshow;
};

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void RunMemo(int count, Figures& f) {
  TMemo memo;
  memo.resize(640, 360);
  memo.show();
  PaintWatch watch;
  memo.viewport()->installEventFilter(&watch);
  (void)watch.Next();

  // Made beforehand: the figure is the memo's, not the formatting's.
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) lines.push_back(Line(i));
  const auto start = Clock::now();
  for (std::string& line : lines) memo.Lines().Add(std::move(line));
  const auto added = Clock::now();
  const auto painted = watch.Next();
  f.add.push_back(Ms(start, added));
  f.paint.push_back(Ms(added, painted));

  const auto scroll = Clock::now();
  memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum() / 2);
  memo.viewport()->update();  // ten lines have nowhere to scroll: a frame all the same
  f.scroll.push_back(Ms(scroll, watch.Next()));

  // Another page, then the Log page again.
  memo.hide();
  QApplication::processEvents();
  const auto reshow = Clock::now();
  memo.show();
  f.reshow.push_back(Ms(reshow, watch.Next()));
}

double RunBaseline(int count) {
  std::string joined;
  for (int i = 0; i < count; ++i) joined += Line(i) + (i + 1 < count ? "\n" : "");
  const QString text = QString::fromStdString(joined);
  QPlainTextEdit edit;
  edit.setReadOnly(true);
  edit.setLineWrapMode(QPlainTextEdit::NoWrap);
  edit.resize(640, 360);
  edit.show();
  PaintWatch watch;
  edit.viewport()->installEventFilter(&watch);
  (void)watch.Next();
  const auto start = Clock::now();
  edit.setPlainText(text);
  edit.moveCursor(QTextCursor::End);
  return Ms(start, watch.Next());
}

}  // namespace

int main(int argc, char** argv) {
  // On a display when there is one (xvfb-run), else offscreen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const bool baseline = !(argc > 2 && std::string(argv[2]) == "--no-baseline");
  TQtApplication app(argc, argv);
  std::printf("platform %s, best of %d rounds, milliseconds\n", qPrintable(QGuiApplication::platformName()), rounds);
  std::printf("%-10s %12s %14s %12s %12s %16s\n", "lines", "add all", "to 1st frame", "scroll", "page again",
              baseline ? "baseline 1st fr." : "");
  for (const int count : {10, 1000000}) {
    Figures f;
    for (int r = 0; r < rounds; ++r) RunMemo(count, f);
    std::printf("%-10d %12.2f %14.2f %12.2f %12.2f", count, Best(f.add), Best(f.paint), Best(f.scroll), Best(f.reshow));
    if (baseline) std::printf(" %16.2f", RunBaseline(count));
    std::printf("\n");
  }
  return 0;
}
