#pragma once

#include <cstddef>
#include <string>

namespace quor {

// True when both paths name the very same entry (same device and inode,
// links not followed). On a case-insensitive volume "A.MP4" and "a.mp4" do.
[[nodiscard]] bool SameEntry(const std::string& a, const std::string& b);

// Longest entry name, in bytes, that the file system of `folder` takes.
[[nodiscard]] std::size_t MaxNameLength(const std::string& folder);

}  // namespace quor
