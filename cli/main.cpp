// quor-rename: the window's rules, history and undo from the command line.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "system/Signals.h"

int main(int argc, char** argv) {
  using namespace quor::cli;
  // Before anything is opened: a closed standard output must make the lines
  // fail, not let a record file take its place; a reader that goes away
  // must not end the run midway.
  quor::ReserveStandardStreams();
  quor::IgnoreBrokenPipe();
  CommandLine line;
  try {
    line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "quor-rename: %s\nTry 'quor-rename --help' for more information.\n", e.what());
    return kExitUsage;
  }
  try {
    return RunCommand(line);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quor-rename: %s\n", e.what());
  }
  return kExitErrorLines;
}
