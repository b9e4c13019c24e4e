// The program entry: no command line, exit code 0 on every path.

#include "app/Main.h"
#include "platform/Exception.h"
#include "platform/gui/Application.h"

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
