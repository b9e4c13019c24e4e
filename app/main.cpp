// The program entry: the command line's answers, then the window.

#include <cstdio>
#include <string>
#include <vector>

#include "gui/window/Arguments.h"
#include "gui/window/Main.h"
#include "system/Display.h"
#include "system/Exception.h"
#include "gui/controls/Application.h"
#include "system/Signals.h"

namespace quor {
TFormRenamer* FormRenamer = nullptr;
}

namespace {

int Answer(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quor;
  // Started without a standard stream, the toolkit's warnings must not land
  // in a history record that takes its descriptor.
  ReserveStandardStreams();
  // Answered before the toolkit is touched: it needs a display.
  const WindowArguments line = ParseWindowArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.What) {
    case WindowArguments::Mode::Help: return Answer(WindowHelpText());
    case WindowArguments::Mode::Version: return Answer(WindowVersionText());
    case WindowArguments::Mode::Usage:
      std::fprintf(stderr, "quor-renamer: %s\nTry 'quor-renamer --help' for more information.\n",
                   line.Problem.c_str());
      return 2;
    case WindowArguments::Mode::Window: break;
  }
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "quor-renamer: no display to open the window on (%s); start it from a desktop session.\n"
                 "For scripts and recorders without a display: quor-rename.\n",
                 DisplayNames().c_str());
    return 1;
  }
  try {
    Application.Initialize();
    Application.SetTitle("Quor Renamer");
    Application.CreateForm(FormRenamer);
    if (!line.Path.empty()) FormRenamer->OpenPath(line.Path);
    Application.Run();
  } catch (const Exception& e) {
    Application.ShowException(e);
  } catch (...) {
    try {
      throw Exception("");
    } catch (const Exception& e) {
      Application.ShowException(e);
    }
  }
  Application.Release();
  return 0;
}
