#include "system/Display.h"

#include <sys/stat.h>

#include <cstdlib>

namespace quor {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool IsSocket(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

bool DisplayAvailable() {
  if (!Env("QT_QPA_PLATFORM").empty()) return true;
  const std::string wayland = Env("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    if (wayland.starts_with('/') ? IsSocket(wayland) : !runtime.empty() && IsSocket(runtime + "/" + wayland))
      return true;
  }
  const std::string x = Env("DISPLAY");
  if (x.empty()) return false;
  if (!x.starts_with(':')) return true;
  // ":1.0" is display 1, screen 0.
  const std::string number = x.substr(1, x.find('.', 1) - 1);
  return IsSocket("/tmp/.X11-unix/X" + number);
}

std::string DisplayNames() {
  return "DISPLAY='" + Env("DISPLAY") + "' WAYLAND_DISPLAY='" + Env("WAYLAND_DISPLAY") + "'";
}

}  // namespace quor
