#include "cli/Report.h"

#include <cerrno>
#include <cstdio>

#include "engine/record/Retention.h"
#include "engine/rename/Refusal.h"
#include "system/SystemOps.h"
#include "text/DisplayText.h"

namespace quor::cli {

void Say(const std::string& message) {
  std::string line = "quor-rename: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void Output::Line(std::string_view text) {
  buffer_.append(text);
  buffer_ += '\n';
  if (buffer_.size() >= (1u << 16)) Flush();
}

void Output::Flush() {
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
    if (!failed_) error_ = errno;
    failed_ = true;
  }
  buffer_.clear();
}

bool Output::Failed() {
  Flush();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (!failed_) error_ = errno;
    failed_ = true;
  }
  return failed_;
}

bool Output::SayIfFailed(const char* what) {
  if (!Failed() || told_) return failed_;
  told_ = true;
  Say(std::string("the ") + what + " could not all be written: " + SysResult(error_ != 0 ? error_ : EIO).Message());
  return true;
}

void ReportRecovery(const RecoveryReport& report, bool dryRun) {
  if (dryRun) {
    // Left for the next call that renames: a dry run changes nothing.
    for (const std::string& id : report.Runs) Say("the interrupted run " + id + " would be repaired first");
    for (const Repair& r : report.Repairs)
      Say("it would move " + DisplayPath(r.TempPath) + " to " + DisplayPath(r.PathNow));
    return;
  }
  for (const std::string& id : report.Runs) Say("repaired the interrupted run " + id);
  for (const Repair& r : report.Repairs) {
    if (r.PathNow.empty())
      Say("could not move " + DisplayPath(r.TempPath) + " back: " + RefusalText(r.Why));
    else
      Say("moved " + DisplayPath(r.TempPath) + " to " + DisplayPath(r.PathNow));
  }
}

void SayRemovedRuns(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) list += (list.empty() ? "" : ", ") + id;
  Say("the history keeps " + std::to_string(kKeepRuns) + " runs that can still be undone; it removed " +
      std::to_string(ids.size()) + " older one" + (ids.size() == 1 ? "" : "s") + ": " + list);
}

bool SayFailure(const std::exception_ptr& failure, const char* what) {
  if (!failure) return false;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    Say(std::string(what) + " stopped: " + e.what());
  } catch (...) {
    Say(std::string(what) + " stopped");
  }
  return true;
}

}  // namespace quor::cli
