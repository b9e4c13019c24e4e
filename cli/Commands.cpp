#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Rules.h"
#include "cli/Targets.h"
#include "cli/Watch.h"
#include "engine/files/FileList.h"
#include "engine/history/FolderHistory.h"
#include "engine/history/History.h"
#include "engine/history/RecordedRun.h"
#include "engine/history/Recovery.h"
#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "engine/rename/Planner.h"
#include "engine/rename/RenameRun.h"
#include "engine/settings/Settings.h"
#include "system/Exception.h"
#include "system/Signals.h"
#include "system/SystemOps.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

#ifndef QUOR_VERSION
#define QUOR_VERSION "unknown"
#endif

namespace quor::cli {

namespace {

constexpr int kStderr = 2;

// Stops a run after the entry in progress once a termination was asked for,
// and shows how far it got on a terminal when it takes long enough to
// wonder.
class Progress {
 public:
  explicit Progress(const char* what) : what_(what), shown_(IsTerminal(kStderr)) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  bool Step(std::size_t done, std::size_t total) {
    if (TerminationRequested() != 0) return false;
    // The clock is read now and then: a step is a fraction of a microsecond
    // when the rules leave a name alone.
    if (!shown_ || ((done & 63) != 0 && done != total)) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::milliseconds(300) || now - last_ < std::chrono::milliseconds(100)) return true;
    last_ = now;
    char text[96];
    const int n = std::snprintf(text, sizeof text, "\r%s %zu / %zu", what_, done, total);
    if (n > 0) std::fwrite(text, 1, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1), stderr);
    drawn_ = true;
    return true;
  }

  // While another run holds the folder: said once on a terminal; Ctrl+C
  // gives up the wait.
  bool Waiting(const std::string& folder) {
    if (TerminationRequested() != 0) return false;
    if (shown_ && !toldWaiting_) {
      Clear();
      Say("waiting for another run in " + DisplayPath(folder) + " to end (Ctrl+C gives up)");
      toldWaiting_ = true;
    }
    return true;
  }

  // The progress, with `hook` beside it (a test's): false from either stops
  // the run.
  ProgressFn Fn(const ProgressFn::StepFn& hook = {}) {
    ProgressFn fn = [this, hook](std::size_t done, std::size_t total) {
      if (hook && !hook(done, total)) return false;
      return Step(done, total);
    };
    fn.Waiting = [this](const std::string& folder) { return Waiting(folder); };
    return fn;
  }

  void Clear() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
  }

 private:
  const char* what_;
  bool shown_;
  bool drawn_ = false;
  bool toldWaiting_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

int StoppedStatus() { return kExitSignalBase + TerminationRequested(); }

// ---------------------------------------------------------------------------
// Commands

int RenameCommand(const CommandLine& line, const ProgressFn::StepFn& hook) {
  RenameOptions options;
  if (!ReadRules(line, options)) return kExitUsage;
  std::vector<Target> targets;
  const bool relative =
      std::any_of(line.Paths.begin(), line.Paths.end(), [](const std::string& p) { return !p.starts_with('/'); });
  const std::vector<std::string> problems =
      ResolveTargets(line.Paths, line.Themselves, relative ? CurrentFolder() : "", targets, line.PathIsEntry);
  for (const std::string& problem : problems) Say(problem);
  if (!problems.empty()) return kExitUsage;

  const std::string history = HistoryFolder();
  const EarlierRenamesFn earlier = EarlierRenamesFrom(history);
  Output out;
  int status = kExitOk;
  bool toldNoRecord = false;
  RemovalNote removals;
  // A dry run renames in one simulated folder throughout, so that a later
  // PATH sees what an earlier one would have renamed.
  SimulatedFolder simulated;
  simulated.FollowEntries();
  for (const Target& target : targets) {
    if (TerminationRequested() != 0) return StoppedStatus();
    const NameSet* only = target.Names.empty() ? nullptr : &target.Names;
    Progress progress(line.DryRun ? "preview" : "rename");
    RenameOutcome outcome;
    if (line.DryRun) {
      outcome = PreviewRename(simulated, target.FolderText, options, progress.Fn(hook), only, nullptr, earlier);
    } else {
      // Printed as they come: a run keeps none of its lines.
      ProgressFn told = progress.Fn(hook);
      told.RenameLineTold = [&](const RenameLine& l) {
        if (!l.Ok || !line.Quiet) {
          progress.Clear();
          out.Line(FormatLine(l));
        }
      };
      RecordedRunNotes notes;
      outcome = RenameRecorded(history, target.FolderText, options, notes, told,
                               {only, RecordText(target), std::nullopt, earlier});
      progress.Clear();
      ReportRecovery(notes.Repaired, false);
      if (!notes.Problem.empty() && !toldNoRecord) {
        Say("the history has no complete record of this run: " + notes.Problem);
        toldNoRecord = true;
      }
      removals.Add(outcome.RemovedUndoable);
    }
    progress.Clear();
    for (const RenameLine& l : outcome.Lines)
      if (!l.Ok || !line.Quiet) out.Line(FormatLine(l));
    if (outcome.Errors != 0) status = std::max(status, kExitErrorLines);
    out.Flush();
    // A single entry that an earlier PATH renamed away, or that went since.
    std::vector<std::string> missing;
    for (const std::string& name : outcome.NotFound) missing.push_back(target.Typed.at(name));
    std::sort(missing.begin(), missing.end());
    for (const std::string& path : missing) Say("cannot find " + DisplayPath(path) + ": " + SysResult(ENOENT).Message());
    if (!missing.empty()) status = kExitUsage;
    if (outcome.Folder == FolderState::Missing) {
      Say("the folder of " + DisplayPath(target.FolderText) + " is gone");
      status = kExitUsage;
    } else if (outcome.Folder == FolderState::Unreadable) {
      Say("the folder of " + DisplayPath(target.FolderText) + " cannot be read: " +
          SysResult(outcome.FolderError).Message());
      status = kExitUsage;
    }
    if (SayFailure(outcome.Failure, "the run")) status = std::max(status, kExitErrorLines);
    if (outcome.Cancelled) {
      out.SayIfFailed("lines");
      return StoppedStatus();
    }
  }
  if (out.SayIfFailed("lines")) status = std::max(status, kExitErrorLines);
  return status;
}

int ListCommand(const CommandLine& line) {
  FormSettings settings;
  if (!ReadSettings(line, settings)) return kExitUsage;
  std::vector<Target> targets;
  const std::vector<std::string> problems =
      ResolveTargets(line.Paths, line.Themselves, CurrentFolder(), targets, line.PathIsEntry);
  for (const std::string& problem : problems) Say(problem);
  if (!problems.empty()) return kExitUsage;
  Output out;
  for (const Target& target : targets) {
    const NameSet* only = target.Names.empty() ? nullptr : &target.Names;
    for (const std::string& entry : BuildFileList(target.FolderText, settings.WithDir, settings.WithExt, only))
      out.Line(DisplayPath(entry));
  }
  return out.SayIfFailed("list") ? kExitErrorLines : kExitOk;
}

const char* StateWord(RunSummary::State state) {
  using State = RunSummary::State;
  switch (state) {
    case State::Finished: return "finished";
    case State::Cancelled: return "cancelled";
    case State::Failed: return "failed";
    case State::Interrupted: return "interrupted";
    case State::Recovered: return "recovered";
    case State::Running: return "running";
    case State::Undone: return "undone";
    case State::PartlyUndone: return "partly undone";
    case State::NotUndone: return "not undone";
    case State::Unreadable: return "unreadable";
  }
  return "";
}

int HistoryCommand() {
  const std::string history = HistoryFolder();
  // No folder yet is a history of no runs; anything else in its way is not.
  if (const SysResult readable = CanReadHistory(history); !readable && readable.Error() != ENOENT) {
    Say("cannot read the history folder " + DisplayPath(history) + ": " + readable.Message());
    return kExitUsage;
  }
  Output out;
  for (const RunSummary& run : ListRuns(history)) {
    const RunRecord& r = run.Record;
    std::string text = r.Id + "\t";
    if (!r.Readable) {
      text += "\t\t\t\tunreadable: " + r.Problem;
    } else {
      text += LocalTimeText(r.Started) + "\t" + DisplayPath(r.Folder) + "\t" + std::to_string(r.Renamed) + "\t" +
              std::to_string(r.Refused) + "\t";
      // The columns count what was renamed (of an undo: given back) and
      // refused; what was gone or replaced follows the state.
      const std::size_t gone = r.Kind == RunKind::Undo ? r.Gone : run.GivenUp;
      if (r.Kind == RunKind::Undo) {
        text += "undo of " + r.Undoes;
        if (run.Now != RunSummary::State::Finished) text += std::string(", ") + StateWord(run.Now);
      } else {
        text += StateWord(run.Now);
      }
      if (gone > 0) text += ", " + std::to_string(gone) + " gone";
    }
    out.Line(text);
  }
  return out.SayIfFailed("history") ? kExitErrorLines : kExitOk;
}

int UndoCommand(const CommandLine& line, const ProgressFn::StepFn& hook) {
  const std::string history = HistoryFolder();
  UndoPlan plan;
  plan.RunId = line.UndoId;
  // What no lock changes is said before any wait.
  if (!plan.RunId.empty()) {
    switch (PlanUndo(history, plan.RunId).Why) {
      case UndoPlan::Block::NoSuchRun: Say("no run " + plan.RunId + " in the history (see --history)"); return kExitUsage;
      case UndoPlan::Block::NotARename: Say(plan.RunId + " is an undo; it is not undone itself"); return kExitUsage;
      default: break;
    }
  }
  // The run to undo, and what of it, are chosen once its folders are held.
  Progress progress("undo");
  std::string problem;
  RecoveryReport repaired;
  Output out;
  // Printed as they come: the undo keeps none of its lines.
  ProgressFn told = progress.Fn(hook);
  told.UndoLineTold = [&](const UndoLineView& l) {
    if (!l.Ok || !line.Quiet) {
      progress.Clear();
      out.Line(FormatLine(l));
    }
  };
  const UndoOutcome outcome = plan.RunId.empty() ? UndoNewestRun(history, plan, told, &problem, &repaired)
                                                 : UndoRecordedRun(history, plan, told, &problem, &repaired);
  progress.Clear();
  ReportRecovery(repaired, false);
  const std::string& id = plan.RunId;
  if (outcome.Cancelled && outcome.GivenBack + outcome.Errors == 0 && TerminationRequested() != 0)
    return StoppedStatus();
  if (id.empty()) {
    Say("nothing to undo");
    return kExitOk;
  }
  switch (plan.Why) {
    case UndoPlan::Block::None: break;
    case UndoPlan::Block::NoSuchRun: Say("no run " + id + " in the history (see --history)"); return kExitUsage;
    case UndoPlan::Block::NothingLeft: Say("run " + id + " has nothing left to undo"); return kExitOk;
    default: Say("run " + id + " cannot be undone: " + plan.Problem); return kExitErrorLines;
  }
  if (!plan.Newest)
    Say("a later run renamed in " + DisplayPath(plan.Folder) + " too; it is not undone by this");

  int status = outcome.Errors != 0 ? kExitErrorLines : kExitOk;
  if (out.SayIfFailed("lines")) status = kExitErrorLines;
  if (!problem.empty()) Say("the history has no complete record of this undo: " + problem);
  RemovalNote().Add(outcome.RemovedUndoable);
  if (SayFailure(outcome.Failure, "the undo")) status = kExitErrorLines;
  if (outcome.Cancelled) return StoppedStatus();
  if (!plan.OldPaths.empty())
    Say(std::to_string(plan.OldPaths.size()) + " of run " + id +
        " could not go back yet; remove the cause and run quor-rename --undo " + id + " again");
  return status;
}

}  // namespace

int RunCommand(const CommandLine& line, const ProgressFn::StepFn& hook) {
  switch (line.What) {
    case Mode::Help: {
      const std::string text = HelpText();
      std::fwrite(text.data(), 1, text.size(), stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitErrorLines;
    }
    case Mode::Version:
      std::fputs("quor-rename (Quor Renamer) " QUOR_VERSION "\n", stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitErrorLines;
    default: break;
  }
  // Ctrl+C, a hang-up or SIGTERM end the run after the entry in progress,
  // with its record closed.
  (void)WatchTerminationSignals();
  // As at the window's start: a run that died is repaired before anything
  // reads or adds to the history; a dry run only says what that would do.
  const bool dryRun = line.What == Mode::Rename && line.DryRun;
  ReportRecovery(RecoverInterruptedRuns(HistoryFolder(), dryRun), dryRun);
  switch (line.What) {
    case Mode::Undo: return UndoCommand(line, hook);
    case Mode::History: return HistoryCommand();
    case Mode::List: return ListCommand(line);
    case Mode::Watch: return WatchCommand(line);
    default: return RenameCommand(line, hook);
  }
}

}  // namespace quor::cli
