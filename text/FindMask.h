#pragma once

// The masks of the folder field ("*.mp4", "第??話*"), matched against entry
// names: '*' is any run of characters, '?' exactly one character of the code
// page, every other character matches itself, ASCII letters without regard
// to case (so "*.mp4" finds "EP1.MP4"). "*.*" matches every name, names
// without a dot included. A backslash is an ordinary character.

#include <string_view>

#include "text/Codepage.h"

namespace quor {

// MatchesFindMask("EP1.MP4", "*.mp4", Utf8) == true.
[[nodiscard]] bool MatchesFindMask(std::string_view name, std::string_view mask, Codepage cp);

}  // namespace quor
