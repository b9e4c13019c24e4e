#include "system/Signals.h"

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
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
    signalPipe[0] = signalPipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &action, nullptr);
  return signalPipe[0];
}

int TerminationRequested() { return requested; }

void ConsumeTerminationSignal() {
  char byte = 0;
  if (signalPipe[0] >= 0) (void)!::read(signalPipe[0], &byte, 1);
}

}  // namespace quor
