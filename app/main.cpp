// The program entry: no command line, exit code 0 on every path.

#include "gui/window/Main.h"
#include "system/Exception.h"
#include "gui/controls/Application.h"
#include "system/Signals.h"

namespace quor {
TFormRenamer* FormRenamer = nullptr;
}

int main(int /*argc*/, char** /*argv*/) {
  using namespace quor;
  // Started without a standard stream, the toolkit's warnings must not land
  // in a history record that takes its descriptor.
  ReserveStandardStreams();
  try {
    Application.Initialize();
    Application.SetTitle("Quor Renamer");
    Application.CreateForm(FormRenamer);
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
