#pragma once

// Runs quor-rename as a user's shell would: a process of its own, with its
// own environment and current folder, its output read from pipes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quor::test {

struct CliResult {
  int Status = -1;  // the exit status; 128 + n when signal n killed it
  std::string Out;
  std::string Err;
  // Standard output, one element per line.
  [[nodiscard]] std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < Out.size();) {
      const std::size_t nl = Out.find('\n', start);
      if (nl == std::string::npos) {
        lines.push_back(Out.substr(start) + "<no line break>");
        break;
      }
      lines.push_back(Out.substr(start, nl - start));
      start = nl + 1;
    }
    return lines;
  }
};

// What the program gets as its standard output.
enum class StdoutIs {
  Pipe,        // read by the test
  Closed,      // no descriptor 1 at all (quor-rename ... >&-)
  BrokenPipe,  // a pipe whose reader is gone (quor-rename ... | true)
};

// The program under test: QUOR_RENAME_EXE, or what QUOR_TEST_RENAME_EXE
// names, so that the tests can be tried on another build of it.
inline std::string TestedExe() {
  const char* other = std::getenv("QUOR_TEST_RENAME_EXE");
  return other != nullptr && *other != 0 ? other : QUOR_RENAME_EXE;
}

class CliProcess {
 public:
  // `env` is the whole environment of the program; `cwd` its folder ("":
  // the test's own).
  CliProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
             const std::string& cwd = {}, const std::string& exe = TestedExe(), StdoutIs stdoutIs = StdoutIs::Pipe) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> envText;
    for (const auto& [k, v] : env) envText.push_back(k + "=" + v);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (stdoutIs == StdoutIs::BrokenPipe) {
      close(out[0]);
      out[0] = -1;
    }
    pid_ = fork();
    if (pid_ == 0) {
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
      if (null > 2) close(null);
      dup2(err[1], 2);
      if (stdoutIs == StdoutIs::Closed)
        close(1);
      else
        dup2(out[1], 1);
      if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
      execve(exe.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
  }
  ~CliProcess() {
    if (pid_ > 0) (void)Wait();
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  void Signal(int sig) const { kill(pid_, sig); }
  [[nodiscard]] pid_t Pid() const { return pid_; }

  // Reads what the program writes until its standard error holds `text`
  // `times` times (true), it closes both, or `timeoutMs` pass. What was read
  // stays for Wait.
  bool WaitForErr(const std::string& text, int timeoutMs, std::size_t times = 1) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto enough = [&] {
      std::size_t found = 0;
      for (std::size_t at = err_.find(text); at != std::string::npos && found < times; at = err_.find(text, at + 1)) ++found;
      return found >= times;
    };
    while (!enough()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !Pump(static_cast<int>(left.count()))) return enough();
    }
    return true;
  }
  // Standard output and error so far.
  [[nodiscard]] const std::string& OutSoFar() const { return out_; }
  [[nodiscard]] const std::string& ErrSoFar() const { return err_; }

  CliResult Wait() {
    while (Pump(-1)) {
    }
    CliResult r;
    r.Out = std::move(out_);
    r.Err = std::move(err_);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
  }

 private:
  // Waits up to `timeoutMs` (-1: no limit) for output and reads what came;
  // false once both pipes are closed or nothing came in time.
  bool Pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) return false;
    const int n = poll(fds, 2, timeoutMs);
    if (n < 0) return errno == EINTR;
    if (n == 0) return false;
    std::string* into[2] = {&out_, &err_};
    int* fd[2] = {&outFd_, &errFd_};
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        into[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(*fd[i]);
        *fd[i] = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
};

// quor-rename under strace, every renameat2 from the `from`th on held up
// for `delay` microseconds on its way in, so that another process can meet
// the run midway. A sanitized build's leak check cannot stop a traced
// process's threads, and is left out.
inline std::vector<std::string> SlowedArgs(long delay, int from, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"-f", "-qq", "-o", "/dev/null", "-e", "trace=renameat2", "-e",
                                  "inject=renameat2:delay_enter=" + std::to_string(delay) + ":when=" +
                                      std::to_string(from) + "+",
                                  TestedExe()};
  all.insert(all.end(), args.begin(), args.end());
  return all;
}
inline std::map<std::string, std::string> Traced(std::map<std::string, std::string> env) {
  env["ASAN_OPTIONS"] = "detect_leaks=0";
  return env;
}

// The process that `parent` started (strace's tracee), or -1.
inline pid_t ChildOf(pid_t parent) {
  const std::string path = "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[64] = {};
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  return n > 0 ? static_cast<pid_t>(std::atol(text)) : -1;
}

inline CliResult RunCli(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                        const std::string& cwd = {}, const std::string& exe = TestedExe(),
                        StdoutIs stdoutIs = StdoutIs::Pipe) {
  return CliProcess(args, env, cwd, exe, stdoutIs).Wait();
}

}  // namespace quor::test
