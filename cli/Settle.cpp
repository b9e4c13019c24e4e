#include "cli/Settle.h"

#include <algorithm>

namespace quor::cli {

void Settle::Touch(const std::string& name, Time at) {
  wake_.reset();
  const auto [it, added] = pending_.try_emplace(name, Entry{at, std::nullopt});
  if (added) return;
  it->second.Signature.reset();
  it->second.Last = std::max(it->second.Last, at);
}

void Settle::Observed(const std::string& name, std::uint64_t signature, Time now) {
  Entry& entry = pending_.try_emplace(name, Entry{now, std::nullopt}).first->second;
  if (entry.Signature == signature) return;
  wake_.reset();
  entry.Signature = signature;
  entry.Last = now;
}

void Settle::Forget(const std::string& name) {
  if (pending_.erase(name) != 0) wake_.reset();
}

std::optional<Settle::Time> Settle::NextWake() const {
  if (!wake_) wake_ = Wake();
  return *wake_;
}

std::optional<Settle::Time> Settle::Wake() const {
  if (pending_.empty()) return std::nullopt;
  std::vector<Time> due;
  due.reserve(pending_.size());
  for (const auto& [name, entry] : pending_) due.push_back(entry.Last + quiet_);
  std::sort(due.begin(), due.end());
  Time wake = due.front();
  const Time latest = due.front() + longest_;
  for (std::size_t i = 1; i < due.size() && due[i] - due[i - 1] <= gather_ && due[i] <= latest; ++i) wake = due[i];
  return wake;
}

std::vector<Settle::Due> Settle::TakeDue(Time now) {
  std::vector<Due> taken;
  const std::optional<Time> wake = NextWake();
  if (!wake || now < *wake) return taken;
  wake_.reset();
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->second.Last + quiet_ <= now) {
      taken.push_back({it->first, it->second.Signature});
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  std::sort(taken.begin(), taken.end(), [](const Due& a, const Due& b) { return a.Name < b.Name; });
  return taken;
}

}  // namespace quor::cli
