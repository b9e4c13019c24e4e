#include "system/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace quor {

namespace {

// $name when it is an absolute path, else the home folder and `fallback`.
std::string XdgFolder(const char* name, const char* fallback) {
  const char* set = std::getenv(name);
  if (set != nullptr && set[0] == '/') return set;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    const passwd* user = ::getpwuid(::geteuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  if (home == nullptr || home[0] != '/') return {};
  return std::string(home) + fallback;
}

}  // namespace

std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

std::string UserStateFolder() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

}  // namespace quor
