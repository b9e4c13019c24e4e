// quor-rename on 100,000 recording names, as a script runs it: a process of
// its own that reads no settings file, writes the history record ahead of
// its renames (and puts it on the disk at the end) and prints a log line per
// rename. Beside it, the floor measured in the same run (a bare loop that
// lists the folder and calls renameat2 with names worked out beforehand),
// and perl rename and mmv where they are installed.
//
//   bench_core_cli [count] [rounds] [companions]
//
// With "companions", each recording has a companion file beside it
// (NAME.err), which follows the recording; perl rename and mmv, which know
// nothing of that, are left out then.
//
// Every contender renames the same folder in turn; each file holds its
// original name, so that the folder is put back between them whatever a
// contender made of the names.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

#include "engine/rename/NameRules.h"

#include "RecordingFolder.h"

using namespace quor;
using namespace quor::bench;

namespace {

// Wall time, and the CPU time of this process and its children.
struct Time {
  double wall = 0, user = 0, sys = 0;
};

double CpuSeconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

Time Cpu() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return {0, CpuSeconds(self.ru_utime) + CpuSeconds(children.ru_utime),
          CpuSeconds(self.ru_stime) + CpuSeconds(children.ru_stime)};
}

Time Seconds(const std::function<void()>& f) {
  const Time before = Cpu();
  const auto start = std::chrono::steady_clock::now();
  f();
  Time t = Cpu();
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.user -= before.user;
  t.sys -= before.sys;
  return t;
}

// Puts every file back under the name it holds; the count of names that
// were not.
std::size_t Restore(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  std::size_t moved = 0;
  for (const std::string& name : ListNames(dir)) {
    const int file = openat(fd, name.c_str(), O_RDONLY);
    char buffer[512];
    const ssize_t n = file < 0 ? -1 : read(file, buffer, sizeof buffer);
    if (file >= 0) close(file);
    if (n <= 0) continue;
    const std::string original(buffer, static_cast<std::size_t>(n));
    if (original == name) continue;
    renameat2(fd, name.c_str(), fd, original.c_str(), RENAME_NOREPLACE);
    ++moved;
  }
  close(fd);
  sync();  // so that the writeback of one contender never slows the next
  return moved;
}

// Runs a program to its end; its exit status.
int Spawn(const std::vector<std::string>& args, const std::string& cwd, const std::string& in,
          const std::string& out, const std::vector<std::string>& env = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int i = open(in.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(i, 0);
    dup2(o, 1);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool Installed(const char* program) {
  return Spawn({"sh", "-c", std::string("command -v ") + program}, "/", "", "/dev/null") == 0;
}

struct Figures {
  std::vector<Time> runs;
  std::size_t renamed = 0;  // by the last run
  [[nodiscard]] Time Best() const {
    if (runs.empty()) return {};
    return *std::min_element(runs.begin(), runs.end(), [](const Time& a, const Time& b) { return a.wall < b.wall; });
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const bool companions = argc > 3 && std::string(argv[3]) == "companions";

  char templ[] = "/tmp/quor-bench-cli-XXXXXX";
  const std::string root = mkdtemp(templ);
  const std::string dir = root + "/recordings";
  MakeRecordings(dir, count, companions);
  const std::vector<std::string> names = ListNames(dir);
  std::printf("%d files in %s\n", count, dir.c_str());

  RenameOptions options;  // the first start's options, and the two below
  options.WaSpaceKakko = true;
  options.DeleteAfterKakko = true;
  std::unordered_map<std::string, std::string> forward;
  for (const std::string& name : names) {
    if (companions && name.ends_with(".err")) continue;
    const std::string renamed = ApplyNameRules(name, options, Codepage::Utf8);
    if (renamed != name) forward[name] = renamed;
  }
  // A companion takes its recording's new name, its suffix lower-cased.
  if (companions)
    for (const std::string& name : names)
      if (name.ends_with(".err"))
        if (const auto main = forward.find(name.substr(0, name.size() - 4)); main != forward.end())
          forward[name] = main->second + ".err";
  // The history and the (unread) settings of the run live in the bench's folder.
  const std::vector<std::string> env = {"XDG_STATE_HOME=" + root + "/state", "XDG_CONFIG_HOME=" + root + "/config"};
  const std::vector<std::string> cli = {QUOR_RENAME_EXE, "--defaults", "-o", "WaSpaceKakko=1",
                                        "-o", "DeleteAfterKakko=1", dir};
  // perl rename reads the names from its standard input.
  const std::string nameList = root + "/names.txt";
  {
    std::string text;
    for (const std::string& name : names) text += name + '\0';
    FILE* f = std::fopen(nameList.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const bool perlRename = !companions && Installed("file-rename");
  const bool mmv = !companions && Installed("mmv");
  sync();

  Figures floor, run, runToFile, undo, perl, mmvRun;
  int failures = 0;
  for (int r = 0; r < rounds; ++r) {
    floor.runs.push_back(Seconds([&] { Floor(dir, forward); }));
    floor.renamed = Restore(dir);

    int status = 0;
    run.runs.push_back(Seconds([&] { status = Spawn(cli, "/", "", "/dev/null", env); }));
    failures += status != 0;
    sync();
    undo.runs.push_back(Seconds([&] { status = Spawn({QUOR_RENAME_EXE, "-q", "--undo"}, "/", "", "/dev/null", env); }));
    failures += status != 0;
    run.renamed = forward.size() - Restore(dir);  // all of them when the undo put every one back
    undo.renamed = run.renamed;

    // The lines into a log file, as a recorder might keep them.
    runToFile.runs.push_back(Seconds([&] { status = Spawn(cli, "/", "", root + "/lines.txt", env); }));
    failures += status != 0;
    runToFile.renamed = Restore(dir);

    if (perlRename) {
      // The same rules, as near as an expression says them.
      perl.runs.push_back(Seconds([&] {
        (void)Spawn({"file-rename", "-0", "-e",
                     "s/｢/「/g; s/｣/」/g; s/話\\s*「/話 「/; s/」.*?(\\.[^.]*)$/」$1/; s/(\\.[^.]*)$/\\L$1/"},
                    dir, nameList, "/dev/null");
      }));
      perl.renamed = Restore(dir);
    }
    if (mmv) {
      // Its patterns can say the extensions only.
      mmvRun.runs.push_back(Seconds([&] {
        (void)Spawn({"mmv", "-r", "*.TS", "#1.ts"}, dir, "", "/dev/null");
        (void)Spawn({"mmv", "-r", "*.MP4", "#1.mp4"}, dir, "", "/dev/null");
      }));
      mmvRun.renamed = Restore(dir);
    }
  }

  const double f = floor.Best().wall;
  const auto row = [&](const char* what, const Figures& x, bool ratio) {
    if (x.runs.empty()) {
      std::printf("%-48s   not installed\n", what);
      return;
    }
    const Time t = x.Best();
    std::printf("%-48s %7.3f s  (user %.3f, system %.3f)", what, t.wall, t.user, t.sys);
    if (ratio) std::printf("  %5.2f x floor", t.wall / f);
    std::printf("  %6zu renamed\n", x.renamed);
  };
  std::printf("best of %d rounds, %zu renames each\n", rounds, forward.size());
  row("floor: readdir + renameat2", floor, false);
  row("quor-rename DIR >/dev/null (history record)", run, true);
  row("quor-rename DIR >lines.txt", runToFile, true);
  row("quor-rename --undo", undo, true);
  row("perl rename, the same rules as an expression", perl, true);
  row("mmv, extensions only", mmvRun, true);
  // The largest record of each kind: a run's, and its undo's.
  std::uintmax_t runRecord = 0, undoRecord = 0;
  for (const auto& e : std::filesystem::directory_iterator(root + "/state/quor-renamer/history")) {
    std::FILE* f = std::fopen(e.path().c_str(), "rb");
    char head[256] = {};
    const std::size_t n = f ? std::fread(head, 1, sizeof head - 1, f) : 0;
    if (f) std::fclose(f);
    const bool undoRun = std::string(head, n).find("\nbegin\tundo\t") != std::string::npos;
    (undoRun ? undoRecord : runRecord) = std::max(undoRun ? undoRecord : runRecord, e.file_size());
  }
  std::printf("history record of a run: %.1f MB, of its undo: %.1f MB\n", static_cast<double>(runRecord) / 1e6,
              static_cast<double>(undoRecord) / 1e6);
  if (failures != 0 || run.renamed != forward.size())
    std::printf("FAILED: a run or an undo did not rename every name\n");

  std::filesystem::remove_all(root);
  return failures == 0 ? 0 : 1;
}
