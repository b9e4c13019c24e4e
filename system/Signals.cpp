#include "system/Signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace quor {

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t requested = 0;

// Only async-signal-safe calls here.
void OnTerminate(int sig) {
  const int saved = errno;
  requested = sig;
  if (signalPipe[1] >= 0) {
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
  }
  errno = saved;
}

}  // namespace

int WatchTerminationSignals() {
  static bool installed = false;
  if (installed) return signalPipe[0];
  installed = true;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
    signalPipe[0] = signalPipe[1] = -1;
  } else {
    // Never on a standard descriptor that the program was started without.
    for (int& fd : signalPipe) {
      if (fd > 2) continue;
      const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
      ::close(fd);
      fd = moved;
    }
  }
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &action, nullptr);
  return signalPipe[0];
}

int TerminationRequested() { return requested; }

void ReserveStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor: this one.
    const int opened = ::open("/dev/null", O_RDONLY | O_NOCTTY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

void IgnoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }

void ConsumeTerminationSignal() {
  char byte = 0;
  if (signalPipe[0] >= 0) (void)!::read(signalPipe[0], &byte, 1);
}

}  // namespace quor
