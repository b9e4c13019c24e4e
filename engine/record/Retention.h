#pragma once

// How long the history keeps its records. The limits are about what can
// still be undone: the newest 100 rename runs not given back yet, and
// 200 MB of records. Undo records and runs with nothing left to undo go
// first, the oldest first, whenever the folder holds more than that; a
// rename run that could still be undone goes only once it lies past both
// limits. A run goes together with the undo records of it, which say what
// was given back. A record still written, or still to be repaired after a
// kill, always stays.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quor {

inline constexpr std::size_t kKeepRuns = 100;
inline constexpr std::uint64_t kKeepBytes = 200ull << 20;

// Removes what the limits leave no room for; returns the ids of the runs
// that could still have been undone among them, oldest first.
std::vector<std::string> PruneHistory(const std::string& historyDir, std::size_t keepRuns = kKeepRuns,
                                      std::uint64_t keepBytes = kKeepBytes);

}  // namespace quor
