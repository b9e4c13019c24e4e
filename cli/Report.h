#pragma once

// How quor-rename answers: the exit statuses that scripts test, and its
// messages on standard error.

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "engine/history/Recovery.h"

namespace quor::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorLines = 1;  // an Error line, or a run that something cut short
inline constexpr int kExitUsage = 2;       // also an unreadable settings file, a PATH that does not exist
inline constexpr int kExitSignalBase = 128;  // + the signal that stopped the run: 130 after Ctrl+C

// "quor-rename: <message>" on standard error.
void Say(const std::string& message);

// Standard output in large writes: a run of 100,000 entries prints as many
// lines.
class Output {
 public:
  ~Output() { Flush(); }
  void Line(std::string_view text);
  void Flush();
  // True when some output never arrived: a script must not take the run's
  // lines for complete.
  bool Failed();
  // Says so once, naming what did not arrive ("lines", "list" ...); true
  // when it had to.
  bool SayIfFailed(const char* what);

 private:
  std::string buffer_;
  bool failed_ = false;
  bool told_ = false;
  int error_ = 0;
};

// What the repair of interrupted runs did, or in a dry run would do.
void ReportRecovery(const RecoveryReport& report, bool dryRun);

// The history's limits made a run remove older runs that could still have
// been undone.
void SayRemovedRuns(const std::vector<std::string>& ids);

// The same, said once per call.
class RemovalNote {
 public:
  void Add(const std::vector<std::string>& ids) {
    if (ids.empty() || told_) return;
    told_ = true;
    SayRemovedRuns(ids);
  }

 private:
  bool told_ = false;
};

// Says why a run stopped early ("<what> stopped: ..."), if it did; true
// when it did.
bool SayFailure(const std::exception_ptr& failure, const char* what);

}  // namespace quor::cli
