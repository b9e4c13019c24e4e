#pragma once

// Whether there is a display to open a window on, told before the toolkit is
// touched: it aborts with a page of plugin errors when it finds none.

#include <string>

namespace quor {

// True when the environment names a display that is there: a platform the
// user chose (QT_QPA_PLATFORM), a Wayland socket (WAYLAND_DISPLAY, absolute
// or under XDG_RUNTIME_DIR), the socket of a local X display (DISPLAY=:0),
// or a remote X display (DISPLAY=host:0, which only a connection can try).
[[nodiscard]] bool DisplayAvailable();

// What the environment names, for a message: "DISPLAY=':1' WAYLAND_DISPLAY=''".
[[nodiscard]] std::string DisplayNames();

}  // namespace quor
