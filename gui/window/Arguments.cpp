#include "gui/window/Arguments.h"

#include <utility>

namespace quor {

WindowArguments ParseWindowArguments(const std::vector<std::string>& args) {
  WindowArguments line;
  const auto usage = [&](std::string problem) {
    line.What = WindowArguments::Mode::Usage;
    line.Problem = std::move(problem);
    return line;
  };
  bool options = true;
  bool pathGiven = false;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "-h" || arg == "--help")) {
      line.What = WindowArguments::Mode::Help;
    } else if (options && arg == "--version") {
      if (line.What != WindowArguments::Mode::Help) line.What = WindowArguments::Mode::Version;
    } else if (options && arg.size() > 1 && arg.front() == '-') {
      return usage("unknown option " + arg);
    } else if (pathGiven) {
      // A file manager starts one window per folder; a second one here
      // would be dropped without a word.
      return usage("one FOLDER at most");
    } else {
      line.Path = arg;
      pathGiven = true;
    }
  }
  return line;
}

std::string WindowHelpText() {
  return "Usage: quor-renamer [FOLDER]\n"
         "Open the Quor Renamer window, which tidies the names of Japanese recordings\n"
         "(第01話｢タイトル｣[字].MP4) in a folder in one batch, with a preview, a log and\n"
         "undo. FOLDER fills the folder field: a folder, a folder with a mask such as\n"
         "'/media/tv/*.mp4', or a file, which stands for its folder. Without it the\n"
         "field shows the folder of the last session.\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "The same rules without a window, for scripts and recorders: quor-rename.\n";
}

std::string WindowVersionText() { return "quor-renamer (Quor Renamer) " QUOR_VERSION "\n"; }

}  // namespace quor
