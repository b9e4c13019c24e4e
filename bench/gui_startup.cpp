// Start-up to the first shown window, measured from outside the process:
// the parent takes the time, starts itself as a child, and the child prints
// the monotonic time at which the window has been painted for the first
// time. So loading Qt and the program is counted, as a user sees it. The
// baseline is a child that shows an empty QWidget on the same Qt.
// Target: under 0.3 s. Prints, never fails on the figure.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include "gui/window/Main.h"
#include "gui/controls/Application.h"

extern char** environ;

namespace {

long long NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Notes the moment the watched widget has finished its first paint.
class FirstPaint : public QObject {
 public:
  long long at = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && at == 0) {
      static_cast<QWidget*>(watched)->removeEventFilter(this);
      const bool handled = watched->event(event);
      at = NowNs();
      return handled;
    }
    return false;
  }
};

int Child(bool baseline) {
  QStandardPaths::setTestModeEnabled(true);
  quor::Application.Initialize();
  QTemporaryDir dir;
  QWidget* window = nullptr;
  if (baseline) {
    window = new QWidget();
    window->resize(640, 400);
  } else {
    // A settings file of its own: the bench never touches the user's.
    window = new quor::TFormRenamer(QDir(dir.path()).filePath("quor-renamer.ini").toStdString());
  }
  FirstPaint paint;
  window->installEventFilter(&paint);
  window->show();
  while (paint.at == 0) QApplication::processEvents(QEventLoop::AllEvents, 10);
  std::printf("%lld\n", paint.at);
  std::fflush(stdout);
  delete window;  // no close: nothing is saved
  quor::Application.Release();
  return 0;
}

// Runs this program as a child in `mode` and returns milliseconds from just
// before the spawn to the child's first paint; negative on failure.
double RunChild(const char* mode) {
  int out[2];
  if (pipe(out) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char self[] = "/proc/self/exe";
  std::string arg = mode;
  char* argv[] = {self, arg.data(), nullptr};
  const long long start = NowNs();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return -1;
  }
  std::string text;
  char buf[256];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) return -1;
  return static_cast<double>(std::atoll(text.c_str()) - start) / 1e6;
}

void Report(const char* name, const char* mode, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double t = RunChild(mode);
    if (t < 0) {
      std::printf("%-28s child failed\n", name);
      return;
    }
    ms.push_back(t);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-28s median %7.1f ms   min %7.1f ms   max %7.1f ms   (%d runs)\n", name,
              ms[ms.size() / 2], ms.front(), ms.back(), runs);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return Child(false);
  if (argc > 1 && std::strcmp(argv[1], "--baseline") == 0) return Child(true);
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::printf("no display: measuring on the offscreen platform\n");
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  std::printf("start-up to the first painted window (target < 300 ms)\n");
  Report("empty QWidget (baseline)", "--baseline", runs);
  Report("Quor Renamer window", "--child", runs);
  return 0;
}
