// quor-rename --watch on a local disk, as a recorder's folder meets it,
// each figure beside a baseline measured in the same run:
//   - from a file's close to its new name, the time beyond the quiet time
//     (target: 200 ms at most), beside the whole run that a recorder's hook
//     starts for the same file (quor-rename FILE), which the watch's run
//     does without the start of a process;
//   - files arriving together: how many runs rename them, and how long after
//     the last close beyond the quiet time, beside one quor-rename FOLDER
//     run of as many files;
//   - the CPU time of an idle hour, extrapolated from a minute (target: 0),
//     beside a watch that lists the same folder every 5 seconds, as it does
//     on a network share.
//
//   bench_core_watch [settle-seconds] [files] [idle-seconds]
#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

std::string Home;  // the benchmark's own home: its history and no settings file

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t Records() {
  std::error_code ec;
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(Home + "/state/quor-renamer/history", ec)) n += e.path().extension() == ".log";
  return n;
}

pid_t Start(const std::vector<std::string>& args, const std::string& err) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 0);
    dup2(null, 1);
    dup2(e, 2);
    setenv("HOME", Home.c_str(), 1);
    setenv("XDG_STATE_HOME", (Home + "/state").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (Home + "/config").c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(QUOR_RENAME_EXE)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUOR_RENAME_EXE, argv.data());
    _exit(127);
  }
  return pid;
}

int Finish(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A watch, started once it says that it watches.
pid_t StartWatch(const std::vector<std::string>& args, const std::string& err) {
  const pid_t pid = Start(args, err);
  for (int i = 0; i < 1000 && ReadAll(err).find("watching") == std::string::npos; ++i) std::this_thread::sleep_for(10ms);
  return pid;
}

// CPU seconds a process has used so far (user and system), from /proc.
double CpuOf(pid_t pid) {
  const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::size_t at = close + 2;
  while (at < stat.size()) {
    const std::size_t space = stat.find(' ', at);
    fields.push_back(stat.substr(at, space - at));
    if (space == std::string::npos) break;
    at = space + 1;
  }
  // Fields 14 and 15 of the line: the third after ')' is field 3.
  if (fields.size() < 13) return 0;
  return static_cast<double>(std::stoull(fields[11]) + std::stoull(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void WriteFile(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) std::perror(path.c_str());
  if (fd >= 0) close(fd);
}

// The moment each of `count` names ending in `suffix` arrives in the
// folder that `fd` watches (IN_MOVED_TO), waiting `within` at most.
std::vector<Clock::time_point> Arrivals(int fd, const std::string& suffix, std::size_t count, std::chrono::seconds within) {
  std::vector<Clock::time_point> times;
  alignas(inotify_event) char buffer[65536];
  const auto until = Clock::now() + within;
  while (times.size() < count && Clock::now() < until) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    const auto now = Clock::now();
    if (n <= 0) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    for (ssize_t i = 0; i < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
      if (e->len > 0 && std::string(e->name).ends_with(suffix)) times.push_back(now);
      i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return times;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const double settle = argc > 1 ? std::atof(argv[1]) : 1.0;
  const std::size_t files = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000;
  const int idle = argc > 3 ? std::atoi(argv[3]) : 60;
  const auto quiet = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settle));
  char templ[] = "/tmp/quor-bench-watch-XXXXXX";
  if (mkdtemp(templ) == nullptr) return 1;
  const std::string root = templ;
  Home = root + "/home";
  const std::string watched = root + "/watched", hooked = root + "/hooked", burst = root + "/burst";
  for (const std::string& d : {Home, watched, hooked, burst}) std::filesystem::create_directories(d);
  const std::string settleText = std::to_string(settle);
  std::printf("quor-rename --watch on %s (quiet time %.1f s)\n\n", watched.c_str(), settle);

  const int events = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  inotify_add_watch(events, watched.c_str(), IN_MOVED_TO);
  const pid_t watch = StartWatch({"--watch", "-q", "--defaults", "--settle", settleText, watched}, root + "/watch.err");

  // One file at a time, as recordings end.
  constexpr int kSingles = 10;
  std::vector<double> beyond, hook;
  for (int i = 0; i < kSingles; ++i) {
    const std::string name = "ep" + std::to_string(i) + "｢夜｣[字].TS";
    WriteFile(watched + "/" + name, std::string(1 << 20, 'x'));
    const auto closed = Clock::now();
    const auto arrived = Arrivals(events, "「夜」[字].ts", 1, std::chrono::seconds(static_cast<int>(settle) + 10));
    if (arrived.empty()) {
      std::printf("ep%d was not renamed\n", i);
      continue;
    }
    beyond.push_back(Ms(arrived[0] - closed - quiet));
    WriteFile(hooked + "/" + name, std::string(1 << 20, 'x'));
    const auto start = Clock::now();
    Finish(Start({"-q", "--defaults", hooked + "/" + name}, root + "/hook.err"));
    hook.push_back(Ms(Clock::now() - start));
  }
  std::sort(beyond.begin(), beyond.end());
  std::sort(hook.begin(), hook.end());
  if (!beyond.empty())
    std::printf("close to new name, beyond the quiet time: median %.0f ms, worst %.0f ms   (target 200 ms)\n"
                "  a hook's run of the same file:        median %.0f ms, worst %.0f ms\n",
                beyond[beyond.size() / 2], beyond.back(), hook[hook.size() / 2], hook.back());

  // Files arriving together.
  const std::size_t before = Records();
  Clock::time_point lastClose;
  for (std::size_t i = 0; i < files; ++i) {
    WriteFile(watched + "/burst" + std::to_string(i) + "｢朝｣.TS", "x");
    lastClose = Clock::now();
  }
  const auto arrived = Arrivals(events, "「朝」.ts", files, std::chrono::seconds(static_cast<int>(settle) + 120));
  if (arrived.size() == files) {
    std::printf("%zu files arriving together: %zu runs, the last renamed %.0f ms after the last close, beyond the quiet time\n",
                files, Records() - before, Ms(arrived.back() - lastClose - quiet));
  } else {
    std::printf("%zu files arriving together: only %zu renamed\n", files, arrived.size());
  }
  for (std::size_t i = 0; i < files; ++i) WriteFile(burst + "/burst" + std::to_string(i) + "｢朝｣.TS", "x");
  const auto start = Clock::now();
  Finish(Start({"-q", "--defaults", burst}, root + "/burst.err"));
  std::printf("  one quor-rename FOLDER run of as many: %.0f ms\n", Ms(Clock::now() - start));

  // Idle: the inotify watch against one that lists the same folder.
  std::this_thread::sleep_for(quiet + 1s);
  const pid_t polling = StartWatch({"--watch", "-q", "--defaults", "--poll", "5", watched}, root + "/poll.err");
  std::this_thread::sleep_for(1s);
  const double watchBefore = CpuOf(watch), pollBefore = CpuOf(polling);
  std::this_thread::sleep_for(std::chrono::seconds(idle));
  const double hour = 3600.0 / idle;
  std::printf("CPU time of an idle hour, from %d s: %.3f s   (target 0)\n"
              "  listing the same folder every 5 s:   %.3f s\n",
              idle, (CpuOf(watch) - watchBefore) * hour, (CpuOf(polling) - pollBefore) * hour);

  for (const pid_t pid : {watch, polling}) {
    kill(pid, SIGTERM);
    Finish(pid);
  }
  close(events);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return 0;
}
