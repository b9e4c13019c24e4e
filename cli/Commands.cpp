#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/files/File.h"
#include "engine/files/FileList.h"
#include "engine/files/Findfile.h"
#include "engine/history/History.h"
#include "engine/history/Journal.h"
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

void Say(const std::string& message) {
  std::string line = "quor-rename: " + message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// Standard output in large writes: a run of 100,000 entries prints as many
// lines.
class Output {
 public:
  ~Output() { Flush(); }
  void Line(std::string_view text) {
    buffer_.append(text);
    buffer_ += '\n';
    if (buffer_.size() >= (1u << 16)) Flush();
  }
  void Flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) failed_ = true;
    buffer_.clear();
  }
  // True when some output never arrived: a script must not take the run's
  // lines for complete.
  bool Failed() {
    Flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) failed_ = true;
    return failed_;
  }

 private:
  std::string buffer_;
  bool failed_ = false;
};

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

  ProgressFn Fn() {
    return [this](std::size_t done, std::size_t total) { return Step(done, total); };
  }

  void Clear() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
    drawn_ = false;
  }

 private:
  const char* what_;
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

int StoppedStatus() { return kExitSignalBase + TerminationRequested(); }

// ---------------------------------------------------------------------------
// Settings

// The window's own file: the window is quor-renamer beside this program's
// real file, in the build folder and in the installed lib/quor-renamer/.
std::string WindowSettingsPath() {
  const std::string configDir = SettingsFolder();
  const std::string self = ExecutablePath();
  // Without its own path the program cannot tell a kept copy's folder; the
  // current folder is nobody's choice.
  if (self.empty()) return configDir.empty() ? std::string() : configDir + "/quor-renamer.ini";
  const std::string window = ExtractFilePath(self, NativeCodepage()) + "quor-renamer";
  return SettingsPath(window, configDir);
}

// The settings as the command line asks for them; false after saying why
// they cannot be had.
bool ReadSettings(const CommandLine& line, FormSettings& s) {
  if (!line.Defaults) {
    const std::string path = line.SettingsFile.empty() ? WindowSettingsPath() : line.SettingsFile;
    // A file named on the command line must be there; the window's own may
    // not exist yet, which means the first start's options.
    if (!line.SettingsFile.empty() && !EntryExists(path)) {
      Say("settings file " + DisplayPath(path) + ": " + SysResult(ENOENT).Message());
      return false;
    }
    try {
      if (!path.empty()) LoadRuleSettings(path, s);
    } catch (const Exception& e) {
      Say("settings file " + DisplayPath(path) + " cannot be read: " + e.Message());
      return false;
    }
  }
  for (const auto& [id, value] : line.Overrides) s.Checked(id) = value;
  if (line.WithDir) s.WithDir = true;
  if (line.WithExt) s.WithExt = true;
  return true;
}

// ---------------------------------------------------------------------------
// Targets

// What one run takes: a folder text as the window's folder field holds it,
// and for single entries their names.
struct Target {
  std::string FolderText;
  NameSet Names;  // empty: every entry the folder text lists
};

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of(PathDelim);
  return slash == 0 || slash == std::string::npos ? std::string(1, PathDelim) : path.substr(0, slash);
}

// A PATH made absolute against the current folder, as any tool reads it.
// Leading "." and ".." steps are taken off here: the current folder as the
// system tells it holds no links, so its parent is its parent.
std::string Absolute(const std::string& path, const std::string& current) {
  if (path.front() == PathDelim) return path;
  std::string base = current;
  std::string_view rest = path;
  for (;;) {
    if (rest == "." || rest.starts_with("./")) {
      rest.remove_prefix(std::min<std::size_t>(2, rest.size()));
    } else if (rest == ".." || rest.starts_with("../")) {
      base = ParentOf(base);
      rest.remove_prefix(std::min<std::size_t>(3, rest.size()));
    } else if (rest.starts_with(PathDelim)) {
      rest.remove_prefix(1);
    } else {
      break;
    }
  }
  return rest.empty() ? base : JoinPath(base, std::string(rest));
}

// Works out the runs the PATHs ask for, in the order given; single entries
// of one folder make one run. False after saying why a PATH cannot be had:
// then nothing at all is renamed.
bool ResolveTargets(const CommandLine& line, std::vector<Target>& targets) {
  std::string current;
  std::map<std::string, std::size_t> entryRuns;  // folder -> its run of single entries
  bool ok = true;
  for (const std::string& path : line.Paths) {
    if (path.front() != PathDelim && current.empty()) {
      current = CurrentFolder();
      if (current.empty()) {
        Say("the current folder cannot be told, so " + DisplayPath(path) + " means nothing");
        return false;
      }
    }
    std::string full = Absolute(path, current);
    // A folder that cannot be read would list nothing, and the run would
    // look like one that had nothing to do.
    const auto readable = [&](const std::string& folder) {
      const SysResult listed = CanListFolder(folder);
      if (!listed) Say("cannot read the folder " + DisplayPath(folder) + ": " + listed.Message());
      ok = ok && listed;
      return static_cast<bool>(listed);
    };
    // The engine reads a '*' or '?' in a folder text as a mask: a folder
    // whose own name holds one cannot be named, and its parent's entries
    // would be renamed instead.
    const auto literal = [&](const std::string& folder) {
      if (FolderOfText(folder) == folder) return true;
      Say("cannot take " + DisplayPath(path) + ": a '*' or '?' in the name of its folder would be read as a mask");
      ok = false;
      return false;
    };
    const bool isFolder = DirectoryExists(full);
    if (isFolder && !line.Themselves) {
      if (literal(full) && readable(full)) targets.push_back({full, {}});
      continue;
    }
    if (!EntryExists(full)) {
      const std::string folder = FolderOfText(full);
      if (folder != full && !line.Themselves && DirectoryExists(folder)) {
        if (readable(folder)) targets.push_back({full, {}});  // a mask, as in the window's folder field
        continue;
      }
      Say("cannot find " + DisplayPath(path) + ": " + SysResult(ENOENT).Message());
      ok = false;
      continue;
    }
    // The entry itself, in its folder.
    const std::string_view trimmed = WithoutTrailingSeparators(full);
    const std::string_view name = FileNameView(trimmed);
    if (name.empty() || name == "." || name == "..") {
      Say("cannot rename " + DisplayPath(path) + " itself");
      ok = false;
      continue;
    }
    const std::string folder = ParentOf(std::string(trimmed));
    if (!literal(folder) || !readable(folder)) continue;
    auto [it, added] = entryRuns.emplace(folder, targets.size());
    if (added) targets.push_back({folder, {}});
    targets[it->second].Names.emplace(name);
  }
  return ok;
}

// What the history shows as a run's folder: the folder text, or the one
// entry a recorder handed over.
std::string RecordText(const Target& target) {
  if (target.Names.size() != 1) return target.FolderText;
  return JoinPath(target.FolderText, *target.Names.begin());
}

// ---------------------------------------------------------------------------
// Commands

void ReportRecovery(const RecoveryReport& report) {
  for (const std::string& id : report.Runs) Say("repaired the interrupted run " + id);
  for (const Repair& r : report.Repairs) {
    if (r.PathNow.empty())
      Say("could not move " + DisplayPath(r.TempPath) + " back: " + RefusalText(r.Why));
    else
      Say("moved " + DisplayPath(r.TempPath) + " to " + DisplayPath(r.PathNow));
  }
}

int RenameCommand(const CommandLine& line) {
  FormSettings settings;
  if (!ReadSettings(line, settings)) return kExitUsage;
  RenameOptions options = RenameOptionsOf(settings);
  // The file's rows keep the window's numbers; -r and -e follow the last one
  // in use, not the grid's empty rows.
  std::vector<ReplacePair>& list = options.ReplaceList;
  while (!list.empty() && list.back().Old.empty() && list.back().New.empty()) list.pop_back();
  const std::size_t fileRows = list.size();
  options.ReplaceList.insert(options.ReplaceList.end(), line.Replace.begin(), line.Replace.end());
  // A row that does not compile would not do what was asked: nothing runs.
  const std::vector<PatternError> broken = CheckPatterns(options);
  for (const PatternError& e : broken) Say(PatternProblem(e, options.ReplaceList[e.Row], fileRows));
  if (!broken.empty()) return kExitUsage;
  std::vector<Target> targets;
  if (!ResolveTargets(line, targets)) return kExitUsage;

  const std::string history = HistoryFolder();
  Output out;
  int status = kExitOk;
  bool toldNoRecord = false;
  for (const Target& target : targets) {
    if (TerminationRequested() != 0) return StoppedStatus();
    const NameSet* only = target.Names.empty() ? nullptr : &target.Names;
    Progress progress(line.DryRun ? "preview" : "rename");
    RenameOutcome outcome;
    if (line.DryRun) {
      outcome = PreviewRename(target.FolderText, options, progress.Fn(), only);
    } else {
      JournalWriter journal(history, RunKind::Rename, RecordText(target));
      outcome = RunRecordedRename(target.FolderText, options, journal, progress.Fn(), only);
      if (!journal.Problem().empty() && !toldNoRecord) {
        Say("the history has no complete record of this run: " + journal.Problem());
        toldNoRecord = true;
      }
    }
    progress.Clear();
    for (const RenameLine& l : outcome.Lines) {
      if (!l.Ok) status = std::max(status, kExitErrorLines);
      if (!l.Ok || !line.Quiet) out.Line(FormatLine(l));
    }
    out.Flush();
    if (outcome.Folder == FolderState::Missing) {
      Say("the folder of " + DisplayPath(target.FolderText) + " is gone");
      status = kExitUsage;
    } else if (outcome.Folder == FolderState::Unreadable) {
      Say("the folder of " + DisplayPath(target.FolderText) + " cannot be read: " +
          SysResult(outcome.FolderError).Message());
      status = kExitUsage;
    }
    if (outcome.Failure) {
      try {
        std::rethrow_exception(outcome.Failure);
      } catch (const std::exception& e) {
        Say(std::string("the run stopped: ") + e.what());
      } catch (...) {
        Say("the run stopped");
      }
      status = std::max(status, kExitErrorLines);
    }
    if (outcome.Cancelled) {
      if (out.Failed()) Say("the lines could not all be written: " + SysResult(errno).Message());
      return StoppedStatus();
    }
  }
  if (out.Failed()) {
    Say("the lines could not all be written: " + SysResult(errno).Message());
    status = std::max(status, kExitErrorLines);
  }
  return status;
}

int ListCommand(const CommandLine& line) {
  FormSettings settings;
  if (!ReadSettings(line, settings)) return kExitUsage;
  std::vector<Target> targets;
  if (!ResolveTargets(line, targets)) return kExitUsage;
  Output out;
  for (const Target& target : targets) {
    const NameSet* only = target.Names.empty() ? nullptr : &target.Names;
    for (const std::string& entry : BuildFileList(target.FolderText, settings.WithDir, settings.WithExt, only))
      out.Line(DisplayPath(entry));
  }
  if (out.Failed()) {
    Say("the list could not all be written: " + SysResult(errno).Message());
    return kExitErrorLines;
  }
  return kExitOk;
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
    case State::Unreadable: return "unreadable";
  }
  return "";
}

int HistoryCommand() {
  Output out;
  for (const RunSummary& run : ListRuns(HistoryFolder())) {
    const RunRecord& r = run.Record;
    std::string text = r.Id + "\t";
    if (!r.Readable) {
      text += "\t\t\t\tunreadable: " + r.Problem;
    } else {
      text += LocalTimeText(r.Started) + "\t" + DisplayPath(r.Folder) + "\t" + std::to_string(r.Renamed) + "\t" +
              std::to_string(r.Refused) + "\t";
      if (r.Kind == RunKind::Undo) {
        text += "undo of " + r.Undoes;
        if (run.Now != RunSummary::State::Finished) text += std::string(", ") + StateWord(run.Now);
      } else {
        text += StateWord(run.Now);
      }
    }
    out.Line(text);
  }
  if (out.Failed()) {
    Say("the history could not all be written: " + SysResult(errno).Message());
    return kExitErrorLines;
  }
  return kExitOk;
}

int UndoCommand(const CommandLine& line) {
  const std::string history = HistoryFolder();
  const std::string id = line.UndoId.empty() ? NewestUndoableRun(history) : line.UndoId;
  if (id.empty()) {
    Say("nothing to undo");
    return kExitOk;
  }
  UndoPlan plan = PlanUndo(history, id);
  switch (plan.Why) {
    case UndoPlan::Block::NoSuchRun: Say("no run " + id + " in the history (see --history)"); return kExitUsage;
    case UndoPlan::Block::NotARename: Say(id + " is an undo; it is not undone itself"); return kExitUsage;
    case UndoPlan::Block::NothingLeft: Say("run " + id + " has nothing left to undo"); return kExitOk;
    case UndoPlan::Block::None: break;
    default: Say("run " + id + " cannot be undone: " + plan.Problem); return kExitErrorLines;
  }
  if (!plan.Newest)
    Say("a later run renamed in " + DisplayPath(plan.Folder) + " too; it is not undone by this");

  Progress progress("undo");
  std::string problem;
  const UndoOutcome outcome = UndoRecordedRun(history, plan, progress.Fn(), &problem);
  progress.Clear();
  Output out;
  int status = kExitOk;
  for (const UndoLine& l : outcome.Lines) {
    if (!l.Ok) status = kExitErrorLines;
    if (!l.Ok || !line.Quiet) out.Line(FormatLine(l));
  }
  if (out.Failed()) {
    Say("the lines could not all be written: " + SysResult(errno).Message());
    status = kExitErrorLines;
  }
  if (!problem.empty()) Say("the history has no complete record of this undo: " + problem);
  if (outcome.Failure) {
    Say("the undo stopped early");
    status = kExitErrorLines;
  }
  if (outcome.Cancelled) return StoppedStatus();
  if (!plan.OldPaths.empty())
    Say(std::to_string(plan.OldPaths.size()) + " of run " + id +
        " could not go back yet; remove the cause and run quor-rename --undo " + id + " again");
  return status;
}

}  // namespace

int RunCommand(const CommandLine& line) {
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
  // reads or adds to the history.
  ReportRecovery(RecoverInterruptedRuns(HistoryFolder()));
  switch (line.What) {
    case Mode::Undo: return UndoCommand(line);
    case Mode::History: return HistoryCommand();
    case Mode::List: return ListCommand(line);
    default: return RenameCommand(line);
  }
}

}  // namespace quor::cli
