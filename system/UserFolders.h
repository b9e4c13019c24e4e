#pragma once

// The user's own folders, as the XDG base directory rules name them.

#include <string>

namespace quor {

// $XDG_CONFIG_HOME when it is an absolute path, otherwise $HOME/.config;
// "" when neither is known.
[[nodiscard]] std::string UserConfigFolder();

// $XDG_STATE_HOME when it is an absolute path, otherwise $HOME/.local/state;
// "" when neither is known. For what outlives a run, such as the history.
[[nodiscard]] std::string UserStateFolder();

}  // namespace quor
