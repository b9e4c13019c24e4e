#pragma once

// The window's command line: a folder for the folder field, or a question
// that is answered on standard output without opening the window (and
// without touching the toolkit, so that it is answered without a display).

#include <string>
#include <vector>

namespace quor {

struct WindowArguments {
  enum class Mode { Window, Help, Version, Usage };
  Mode What = Mode::Window;
  std::string Path;     // the FOLDER given, as given; "" for none
  std::string Problem;  // for Usage: what is wrong, in words
};

// quor-renamer [--help | --version | [--] FOLDER]: one FOLDER at most, "--"
// ends the options, any other word that starts with '-' is a usage error.
[[nodiscard]] WindowArguments ParseWindowArguments(const std::vector<std::string>& args);

[[nodiscard]] std::string WindowHelpText();
[[nodiscard]] std::string WindowVersionText();

}  // namespace quor
