#pragma once

// How long the history keeps its records.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quor {

// Keeps the newest `keepRuns` records within `keepBytes`, removes the older
// ones; never a record that is still written or still to be repaired.
inline constexpr std::size_t kKeepRuns = 100;
inline constexpr std::uint64_t kKeepBytes = 200ull << 20;
void PruneHistory(const std::string& historyDir, std::size_t keepRuns = kKeepRuns, std::uint64_t keepBytes = kKeepBytes);

}  // namespace quor
