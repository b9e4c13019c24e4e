#include "cli/Report.h"

#include <cstdio>

namespace quor::cli {

void Say(const std::string& message) {
  std::string line = "quor-rename: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace quor::cli
