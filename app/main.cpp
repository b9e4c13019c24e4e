// The program entry: no command line, exit code 0 on every path.

#include "gui/window/Main.h"
#include "system/Exception.h"
#include "gui/controls/Application.h"

namespace quor {
TFormRenamer* FormRenamer = nullptr;
}

int main(int /*argc*/, char** /*argv*/) {
  using namespace quor;
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
