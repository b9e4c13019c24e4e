#pragma once

// When the entries that arrive in a watched folder are complete: each waits
// until nothing has happened to it for the quiet time, and entries that
// come due close together are taken together, as one run. Pure logic: the
// time is passed in, so that it is tested without sleeping.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quor::cli {

class Settle {
 public:
  using Clock = std::chrono::steady_clock;
  using Time = Clock::time_point;
  using Duration = Clock::duration;

  // Entries that come due within `gather` of the one before are taken with
  // it, but the first of them waits `longest` more at most, so that a
  // stream of arrivals is renamed in runs of a few seconds' worth.
  static constexpr Duration kGather = std::chrono::milliseconds(250);
  static constexpr Duration kLongest = std::chrono::seconds(2);

  explicit Settle(Duration quiet, Duration gather = kGather, Duration longest = kLongest)
      : quiet_(quiet), gather_(gather), longest_(longest) {}

  // Something happened to the entry at `at` (it was created, moved in,
  // written, closed, its times set): it is due a quiet time later, and
  // what was observed of it counts no more. A time before the last one
  // changes nothing.
  void Touch(const std::string& name, Time at);

  // What the entry looked like at `now`, a value that changes with it
  // (system/FolderWatch.h, ChangeSignature): a change, or a first sight,
  // starts its quiet time again; the same value as before lets it run on.
  void Observed(const std::string& name, std::uint64_t signature, Time now);

  // The entry is gone (deleted, moved away): it is no longer waited for.
  void Forget(const std::string& name);

  [[nodiscard]] bool Pending(const std::string& name) const { return pending_.count(name) != 0; }
  [[nodiscard]] std::size_t Size() const { return pending_.size(); }

  struct Due {
    std::string Name;
    std::optional<std::uint64_t> Signature;  // as last observed; none since its last touch
  };

  // The entries that have been quiet for the whole quiet time, taken off
  // the list, once their batch is ready (see NextWake); none before.
  [[nodiscard]] std::vector<Due> TakeDue(Time now);

  // When TakeDue next has something: the time the first entry comes due,
  // or later while the next ones come due within `gather` of each other
  // (up to `longest` after the first). None while nothing is pending.
  [[nodiscard]] std::optional<Time> NextWake() const;

 private:
  [[nodiscard]] std::optional<Time> Wake() const;

  struct Entry {
    Time Last;
    std::optional<std::uint64_t> Signature;
  };
  Duration quiet_;
  Duration gather_;
  Duration longest_;
  std::unordered_map<std::string, Entry> pending_;
  // NextWake sorts every entry: asked at each turn of the watch's loop, it
  // is worked out again only once the list changed.
  mutable std::optional<std::optional<Time>> wake_;
};

}  // namespace quor::cli
