#pragma once

// What the window and the preview say of a folder text that lists nothing.

#include <string>

#include "engine/rename/Listing.h"

namespace quor {

// "フォルダーがありません: /media/tv" and the like; "" for a folder that
// was listed. `error` is the system's reason for an Unreadable folder.
[[nodiscard]] std::string FolderProblemText(FolderState state, const std::string& folderText, int error);

}  // namespace quor
