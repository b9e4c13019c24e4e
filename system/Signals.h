#pragma once

// Requests to end the program (SIGTERM when the session or the system shuts
// down, SIGHUP when the terminal goes, SIGINT for Ctrl+C), turned into
// something that a running program can notice and finish its work on,
// instead of dying in the middle of it.

namespace quor {

// Installs the handlers (once per process; later calls change nothing).
// Returns a descriptor that becomes readable at each request, for an event
// loop to watch, or -1 when none could be made; the flag below is set all
// the same.
int WatchTerminationSignals();

// The last request's signal number, 0 when none has come.
[[nodiscard]] int TerminationRequested();

// Reads one pending request off the descriptor, so that it is not reported
// again.
void ConsumeTerminationSignal();

// Puts a descriptor that takes no writes (/dev/null, read-only) on each of
// the standard descriptors 0-2 that the program was started without, so that
// no file the program opens later lands there: the lines for a closed
// standard output must fail to be written, not go into a record.
void ReserveStandardStreams();

// A reader that went away (quor-rename ... | head) makes writes fail with
// EPIPE instead of ending the program in the middle of its work.
void IgnoreBrokenPipe();

}  // namespace quor
