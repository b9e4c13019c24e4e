#include "cli/Watch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "cli/Report.h"
#include "cli/Rules.h"
#include "cli/Settle.h"
#include "cli/Targets.h"
#include "engine/files/File.h"
#include "engine/history/FolderHistory.h"
#include "engine/history/History.h"
#include "engine/history/RecordedRun.h"
#include "engine/record/Journal.h"
#include "engine/record/RecordFolder.h"
#include "engine/record/Retention.h"
#include "engine/rename/Listing.h"
#include "engine/rename/RenameRun.h"
#include "system/EntryIdentity.h"
#include "system/OpenFolder.h"
#include "system/FolderWatch.h"
#include "system/Mounts.h"
#include "system/Signals.h"
#include "text/DisplayText.h"
#include "text/TextOps.h"

namespace quor::cli {

namespace {

using Clock = Settle::Clock;
using Time = Settle::Time;
using std::chrono::milliseconds;

constexpr milliseconds kNetworkPoll{5000};
constexpr milliseconds kLookAgain{2000};  // for a folder that is gone

std::string SecondsText(milliseconds d) {
  std::string text = std::to_string(d.count() / 1000);
  if (const long long ms = d.count() % 1000; ms != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03lld", ms);
    text += fraction;
    while (text.ends_with('0')) text.pop_back();
  }
  return text + " s";
}

// True when the entry is unchanged since `recorded` was taken of it, in a
// record last written at `when`: the same entry, with the same size and
// modification time, or where the record does not say them, not modified
// since.
bool Unchanged(const EntryId& recorded, std::int64_t when, const EntryId& now, const std::string& path,
               IdentityCheck& identities) {
  if (!identities.Same(recorded, now, path)) return false;
  if (recorded.Size != EntryId::kUnknown || recorded.Mtime != EntryId::kNoTime)
    return (recorded.Size == EntryId::kUnknown || recorded.Size == now.Size) &&
           (recorded.Mtime == EntryId::kNoTime || recorded.Mtime == now.Mtime);
  return now.Mtime == EntryId::kNoTime || when == 0 || now.Mtime <= when;
}

// One folder of the command line.
struct Watched {
  std::string Path;  // the folder, without a trailing '/'
  std::string Mask;  // "" for every entry
  bool Polled = false;
  milliseconds PollEvery{};
  int Watch = -1;  // of the FolderWatcher, while it has one
  bool Missing = false;
  bool ToldUnreadable = false;
  EntryId Self;  // the folder itself when its watch began: a mount on it, or another folder in its place, differs
  Settle Pending;
  NameSet Known;                           // polled: the names of the last listing
  std::unordered_multiset<std::string> Ours;  // names our runs gave, whose arrival is no news
  Time NextLook{};                         // polled: the next listing; missing: the next look for it

  explicit Watched(milliseconds quiet) : Pending(quiet) {}
};

class Watcher {
 public:
  Watcher(const CommandLine& line, RenameOptions options, const std::vector<Target>& targets)
      : line_(line), options_(std::move(options)), historyDir_(HistoryFolder()), history_(historyDir_) {
    for (const Target& target : targets) {
      Watched& f = folders_.emplace_back(line.Settle);
      f.Path = std::string(WithoutTrailingSeparators(FolderOfText(target.FolderText)));
      f.Mask = MaskOfText(target.FolderText);
    }
    settingsPath_ = SettingsFileOf(line);
    settingsThere_ = !settingsPath_.empty() && IdentityOf(settingsPath_, settingsId_);
  }

  int Run() {
    const int signals = WatchTerminationSignals();
    mounts_ = OpenMountTable();
    Time now = Clock::now();
    for (Watched& f : folders_) Start(f, now);
    std::vector<FolderEvent> events;
    while (TerminationRequested() == 0) {
      for (Watched& f : folders_)
        if (!f.Missing && TerminationRequested() == 0) TakeDue(f, Clock::now());
      now = Clock::now();
      for (Watched& f : folders_) {
        if (f.Missing && now >= f.NextLook) LookForIt(f, now);
        else if (f.Polled && now >= f.NextLook) Poll(f, now);
      }
      std::vector<Waited> waited{{watcher_.Fd(), false, false}, {signals, false, false}, {mounts_.Get(), true, false}};
      if (const SysResult waitedOk = WaitForAny(waited, Timeout(Clock::now())); !waitedOk) {
        Say("the watch stopped: " + waitedOk.Message());
        return kExitErrorLines;
      }
      now = Clock::now();
      if (waited[0].Ready) {
        events.clear();
        if (const SysResult read = watcher_.Read(events); !read) {
          Say("the watch stopped: " + read.Message());
          return kExitErrorLines;
        }
        for (const FolderEvent& e : events) OnEvent(e, now);
      }
      if (waited[2].Ready) MountsChanged(now);
    }
    Say("stopped watching");
    return kExitOk;
  }

 private:
  bool Wanted(const Watched& f, const std::string& name) const {
    // Hidden entries are the temporary files of copying tools (and of
    // renames through a temporary name), renamed into place when done.
    return !name.empty() && name[0] != '.' && SelectsName(name, f.Mask, nullptr);
  }

  // Decides how to watch the folder, says so, and takes in what it holds.
  void Start(Watched& f, Time now) {
    f.Missing = false;
    f.Pending = Settle(line_.Settle);
    f.Known.clear();
    f.Ours.clear();
    if (!IdentityOf(JoinPath(f.Path, "."), f.Self) || f.Self.Type != 'd') {
      Gone(f, now, " is not there; watching for it to come");
      return;
    }
    const std::string type = FileSystemTypeOf(f.Path);
    const std::string shown = DisplayPath(f.Path) + (f.Mask.empty() ? "" : " (" + DisplayName(f.Mask) + ")") +
                              (type.empty() ? "" : " on " + type);
    std::string why;
    if (line_.Poll.count() > 0) {
      why = "as --poll asks";
    } else if (IsNetworkFileSystem(type)) {
      why = "since no event comes here of what other machines write there";
    } else {
      SysResult added;
      f.Watch = watcher_.Add(f.Path, added);
      if (f.Watch < 0) why = "since the system gives no events for it (" + added.Message() + ")";
    }
    f.Polled = f.Watch < 0;
    const std::string quiet = SecondsText(line_.Settle);
    if (f.Polled) {
      f.PollEvery = line_.Poll.count() > 0 ? line_.Poll : kNetworkPoll;
      f.NextLook = now + f.PollEvery;
      Say("watching " + shown + " by listing it every " + SecondsText(f.PollEvery) + ", " + why +
          ": an entry is taken once it has stayed the same for " + quiet);
    } else {
      Say("watching " + shown + ": a file is taken " + quiet + " after its last writer closed it");
    }
    TakeIn(f, now);
  }

  // Takes in every entry of the folder: at the start, when it is back or
  // replaced, and after events were lost. A file untouched for the quiet
  // time is due at once; in a polled folder each waits to be seen the same
  // a quiet time later, since the other machine's clock is not ours.
  void TakeIn(Watched& f, Time now) {
    std::vector<Listed> entries;
    if (!List(f, now, entries)) return;
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    const auto quiet = std::chrono::duration_cast<Clock::duration>(line_.Settle);
    if (f.Polled) f.Known.clear();
    for (const Listed& e : entries) {
      if (!Wanted(f, e.Name)) continue;
      if (f.Polled) {
        f.Known.insert(e.Name);
        if (std::uint64_t signature = 0; ChangeSignature(e.FullPath, signature)) f.Pending.Observed(e.Name, signature, now);
        continue;
      }
      EntryId id;
      if (!IdentityOf(e.FullPath, id)) continue;
      auto age = quiet;
      if (id.Mtime != EntryId::kNoTime)
        age = std::clamp(std::chrono::duration_cast<Clock::duration>(wall - std::chrono::nanoseconds(id.Mtime)),
                         Clock::duration::zero(), quiet);
      f.Pending.Touch(e.Name, now - age);
    }
  }

  // Ends the folder's watch, unless another PATH of the same folder still
  // has it (the kernel gives one folder one watch).
  void Unwatch(Watched& f) {
    const int watch = std::exchange(f.Watch, -1);
    if (watch >= 0 && std::none_of(folders_.begin(), folders_.end(), [&](const Watched& o) { return o.Watch == watch; }))
      watcher_.Remove(watch);
  }

  // The whole listing of the folder; false when it is gone.
  bool List(Watched& f, Time now, std::vector<Listed>& entries) {
    FolderState state = FolderState::Listed;
    int error = 0;
    entries = ListWholeFolder(f.Path, state, error);
    if (state == FolderState::Missing) {
      Gone(f, now);
      return false;
    }
    // Said once, not at every listing of a polled folder.
    if (state == FolderState::Unreadable && !f.ToldUnreadable)
      Say("cannot read " + DisplayPath(f.Path) + ": " + SysResult(error).Message());
    f.ToldUnreadable = state == FolderState::Unreadable;
    return true;
  }

  void Gone(Watched& f, Time now, const std::string& what = " is gone; watching for it to come back") {
    Unwatch(f);
    f.Missing = true;
    f.Pending = Settle(line_.Settle);
    f.Known.clear();
    f.Ours.clear();
    f.NextLook = now + kLookAgain;
    Say(DisplayPath(f.Path) + what);
  }

  void LookForIt(Watched& f, Time now) {
    if (!DirectoryExists(f.Path)) {
      f.NextLook = now + kLookAgain;
      return;
    }
    Say(DisplayPath(f.Path) + " is there again; renaming what it holds");
    Start(f, now);
  }

  // A folder that is not what was watched any more (moved away and another
  // in its place, a file system mounted on it) is watched again from the
  // start, its file system told again.
  void Replaced(Watched& f, Time now) {
    Unwatch(f);
    if (!DirectoryExists(f.Path)) {
      Gone(f, now);
      return;
    }
    Say(DisplayPath(f.Path) + " was replaced; reading it again");
    Start(f, now);
  }

  void MountsChanged(Time now) {
    for (Watched& f : folders_) {
      if (f.Missing) {
        if (DirectoryExists(f.Path)) LookForIt(f, now);
        continue;
      }
      EntryId id;
      if (!IdentityOf(JoinPath(f.Path, "."), id) || id.Dev != f.Self.Dev || id.Ino != f.Self.Ino) Replaced(f, now);
    }
  }

  void OnEvent(const FolderEvent& e, Time now) {
    using Kind = FolderEvent::Kind;
    if (e.What == Kind::Overflow) {
      Say("the system's queue of events overflowed; reading the folders again");
      for (Watched& f : folders_) {
        if (f.Missing || f.Polled) continue;
        f.Ours.clear();  // their arrivals may be among the events lost
        TakeIn(f, now);
      }
      return;
    }
    for (Watched& f : folders_) {
      if (f.Watch != e.Watch || e.Watch < 0) continue;
      switch (e.What) {
        case Kind::FolderGone:
          f.Watch = -1;  // the kernel ended it
          Replaced(f, now);
          break;
        case Kind::Left: f.Pending.Forget(e.Name); break;
        case Kind::MovedIn:
          if (TakeOurs(f, e.Name)) break;
          [[fallthrough]];
        default:
          if (Wanted(f, e.Name)) f.Pending.Touch(e.Name, now);
      }
    }
  }

  // True for a name one of our runs gave, which is no arrival.
  static bool TakeOurs(Watched& f, const std::string& name) {
    const auto it = f.Ours.find(name);
    if (it == f.Ours.end()) return false;
    f.Ours.erase(it);
    return true;
  }

  void Poll(Watched& f, Time now) {
    f.NextLook = now + f.PollEvery;
    // Another folder in its place may hold the same names as new entries.
    if (EntryId id; IdentityOf(JoinPath(f.Path, "."), id) && (id.Dev != f.Self.Dev || id.Ino != f.Self.Ino)) {
      Replaced(f, now);
      return;
    }
    std::vector<Listed> entries;
    if (!List(f, now, entries)) return;
    NameSet names;
    for (const Listed& e : entries) {
      if (!Wanted(f, e.Name)) continue;
      names.insert(e.Name);
      if (f.Known.count(e.Name) != 0 || TakeOurs(f, e.Name)) continue;
      if (std::uint64_t signature = 0; ChangeSignature(e.FullPath, signature)) f.Pending.Observed(e.Name, signature, now);
    }
    for (const std::string& name : f.Known)
      if (names.count(name) == 0) f.Pending.Forget(name);
    f.Known = std::move(names);
  }

  // The entries whose quiet time is over: those that are complete are
  // renamed, the others wait on.
  void TakeDue(Watched& f, Time now) {
    NameSet complete;
    for (const Settle::Due& due : f.Pending.TakeDue(now)) {
      const std::string path = JoinPath(f.Path, due.Name);
      EntryId id;
      if (!IdentityOf(path, id)) continue;  // gone meanwhile
      if (f.Polled || id.Type == 'd') {
        // Complete when it looked the same at both ends of its quiet time.
        std::uint64_t signature = 0;
        if (!ChangeSignature(path, signature)) continue;
        if (due.Signature != signature) {
          f.Pending.Observed(due.Name, signature, now);
          continue;
        }
      }
      if (id.Type == 'f' && WritersOf(path) == Writers::Some) {
        f.Pending.Touch(due.Name, now);
        continue;
      }
      complete.insert(due.Name);
    }
    LeaveAlone(f, complete);
    // A stop asked for while the entries were looked at renames none of them.
    if (!complete.empty() && TerminationRequested() == 0) RenameNow(f, complete);
  }

  // Takes out the entries whose name a recorded run gave them, or an undo
  // gave back, and that are unchanged since: renaming them again would undo
  // the undo, or grow a name that the rules lengthen once more.
  void LeaveAlone(const Watched& f, NameSet& names) {
    if (names.empty()) return;
    const FolderRecords records = history_.Of(f.Path);
    std::unordered_multimap<std::string_view, std::pair<const EntryId*, std::int64_t>> named;
    for (const EarlierRename& r : records.Renamed)
      if (names.count(r.NewName) != 0) named.emplace(r.NewName, std::make_pair(&r.Id, r.When));
    for (const GivenBackEntry& g : records.GivenBack)
      if (names.count(g.Name) != 0) named.emplace(g.Name, std::make_pair(&g.Id, g.When));
    IdentityCheck identities;
    for (auto it = names.begin(); it != names.end();) {
      const auto [first, last] = named.equal_range(*it);
      const std::string path = JoinPath(f.Path, *it);
      EntryId now;
      const bool alone = first != last && IdentityOf(path, now) &&
                         std::any_of(first, last, [&](const auto& r) {
                           return Unchanged(*r.second.first, r.second.second, now, path, identities);
                         });
      it = alone ? names.erase(it) : std::next(it);
    }
  }

  // Takes the settings file again when it has changed; keeps the rules it
  // has when the new ones cannot be had.
  void ReloadRules() {
    if (settingsPath_.empty()) return;
    EntryId id;
    const bool there = static_cast<bool>(IdentityOf(settingsPath_, id));
    if (there == settingsThere_ && (!there || id == settingsId_)) return;
    settingsThere_ = there;
    settingsId_ = id;
    RenameOptions fresh;
    if (ReadRules(line_, fresh)) {
      options_ = std::move(fresh);
      Say("read the settings file " + DisplayPath(settingsPath_) + " again");
    } else {
      Say("the rules stay as they were");
    }
  }

  void RenameNow(Watched& f, const NameSet& names) {
    ReloadRules();
    const Target target{f.Path, names, {}};
    bool toldWaiting = false;
    // The events of a long run, its own renames among them, are read as it
    // goes, so that the kernel's queue does not overflow meanwhile; they are
    // handled once it is over.
    ProgressFn progress = [this](std::size_t done, std::size_t) {
      if (done % 256 == 0) Hold();
      return TerminationRequested() == 0;
    };
    progress.Waiting = [this, &toldWaiting](const std::string& folder) {
      Hold();
      if (TerminationRequested() != 0) return false;
      if (!toldWaiting) Say("waiting for another run in " + DisplayPath(folder) + " to end");
      toldWaiting = true;
      return true;
    };
    const EarlierRenamesFn earlier = [this](const std::string& folder) { return history_.Of(folder).Renamed; };
    // The lines are written once the run is over, so that a reader slow to
    // take them never holds the folder's lock; kept as text meanwhile.
    std::string text;
    progress.RenameLineTold = [this, &f, &text](const RenameLine& l) {
      if (l.Ok) f.Ours.emplace(l.NewName);
      if (!l.Ok || !line_.Quiet) (text += FormatLine(l)) += '\n';
    };
    // As any run: the folder locked, what a run that died there left repaired, then the renames.
    RecordedRunNotes notes;
    const RenameOutcome outcome =
        RenameRecorded(historyDir_, f.Path, options_, notes, progress, {&names, RecordText(target), std::nullopt, earlier});
    if (!text.empty()) out_.Line(std::string_view(text).substr(0, text.size() - 1));
    (void)out_.SayIfFailed("lines");
    ReportRecovery(notes.Repaired, false);
    if (!notes.Problem.empty()) Say("the history has no complete record of this run: " + notes.Problem);
    // Each run of a watch that goes on for months may remove one.
    if (!outcome.RemovedUndoable.empty()) SayRemovedRuns(outcome.RemovedUndoable);
    (void)SayFailure(outcome.Failure, "the run");
    if (outcome.Renamed + outcome.Errors != 0)
      Say(LocalTimeText(std::time(nullptr)) + " " + DisplayPath(f.Path) + ": " + std::to_string(outcome.Renamed) +
          " renamed, " + std::to_string(outcome.Errors) + " refused" +
          (notes.Id.empty() ? "" : " (run " + notes.Id + ")"));
    if (outcome.Folder == FolderState::Missing) Gone(f, Clock::now());
    Hold();
    const std::vector<FolderEvent> held = std::exchange(held_, {});
    for (const FolderEvent& e : held) OnEvent(e, Clock::now());
  }

  void Hold() {
    if (const SysResult read = watcher_.Read(held_); !read) held_.push_back({FolderEvent::Kind::Overflow, -1, {}, false});
  }

  int Timeout(Time now) const {
    std::optional<Time> wake;
    const auto earliest = [&](Time t) { wake = wake ? std::min(*wake, t) : t; };
    for (const Watched& f : folders_) {
      if (f.Missing || f.Polled) earliest(f.NextLook);
      if (const std::optional<Time> due = f.Pending.NextWake()) earliest(*due);
    }
    if (!wake) return -1;  // nothing to wait for but events: no timer at all
    if (*wake <= now) return 0;
    // Rounded up, so as not to wake a moment early and spin.
    const auto ms = std::chrono::ceil<milliseconds>(*wake - now).count();
    return static_cast<int>(std::min<long long>(ms, 24 * 3600 * 1000));
  }

  const CommandLine& line_;
  RenameOptions options_;
  std::string historyDir_;
  FolderHistory history_;
  std::vector<Watched> folders_;
  FolderWatcher watcher_;
  Descriptor mounts_;
  std::string settingsPath_;
  EntryId settingsId_;
  bool settingsThere_ = false;
  Output out_;
  std::vector<FolderEvent> held_;  // read while a run went on
};

}  // namespace

int WatchCommand(const CommandLine& line) {
  RenameOptions options;
  if (!ReadRules(line, options)) return kExitUsage;
  std::vector<Target> targets;
  const bool relative =
      std::any_of(line.Paths.begin(), line.Paths.end(), [](const std::string& p) { return !p.starts_with('/'); });
  std::vector<std::string> problems =
      ResolveTargets(line.Paths, false, relative ? CurrentFolder() : "", targets, line.PathIsEntry);
  for (const Target& target : targets)
    for (const auto& [name, typed] : target.Typed)
      problems.push_back("cannot watch " + DisplayPath(typed) + ": --watch takes folders, not single entries");
  for (const std::string& problem : problems) Say(problem);
  if (!problems.empty()) return kExitUsage;
  return Watcher(line, std::move(options), targets).Run();
}

}  // namespace quor::cli
