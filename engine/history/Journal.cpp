#include "engine/history/Journal.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>

#include "engine/history/History.h"
#include "system/FileStore.h"
#include "system/UserFolders.h"
#include "text/Escape.h"
#include "text/TextOps.h"

namespace quor {

namespace {

// Enough intents to make each write worth its system call, few enough that
// a kill leaves only a short stretch whose outcome the disk must tell.
constexpr std::size_t kFlushBytes = 64 * 1024;
// How much goes to the disk at a time while the run goes on.
constexpr std::size_t kWritebackBytes = 1 << 20;

const char* KindWord(RunKind kind) { return kind == RunKind::Undo ? "undo" : "rename"; }

const char* EndWord(RunEnd end) {
  switch (end) {
    case RunEnd::Finished: return "finished";
    case RunEnd::Cancelled: return "cancelled";
    case RunEnd::Failed: return "failed";
    case RunEnd::Recovered: return "recovered";
    case RunEnd::Unfinished: break;
  }
  return "unfinished";
}

void AppendNumber(std::string& out, std::uint64_t n) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, n);
  out.append(digits, result.ptr);
}

// One line of a record, its word and then its TAB-separated fields, ended
// when the builder goes out of scope.
class RecordLine {
 public:
  RecordLine(std::string& out, std::string_view word) : out_(out) { out_.append(word); }
  ~RecordLine() { out_ += '\n'; }
  RecordLine(const RecordLine&) = delete;
  RecordLine& operator=(const RecordLine&) = delete;

  RecordLine& Number(std::uint64_t n) {
    out_ += '\t';
    AppendNumber(out_, n);
    return *this;
  }
  RecordLine& Word(std::string_view word) {
    out_ += '\t';
    out_.append(word);
    return *this;
  }
  // A path or a name, escaped so that any byte survives.
  RecordLine& Value(std::string_view value) {
    out_ += '\t';
    AppendEscapedLineValue(out_, value);
    return *this;
  }

 private:
  std::string& out_;
};

// Splits a line at its TABs.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return fields;
    line.remove_prefix(tab + 1);
  }
}

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseEnd(std::string_view word, RunEnd& end) {
  for (const RunEnd e : {RunEnd::Finished, RunEnd::Cancelled, RunEnd::Failed, RunEnd::Recovered}) {
    if (word == EndWord(e)) {
      end = e;
      return true;
    }
  }
  return false;
}

// Reads the head lines (version, begin, undoes) into `record`; false with a
// problem when they are not what a record begins with.
bool ParseHead(std::string_view text, RunRecord& record, std::size_t& consumed) {
  consumed = 0;
  const auto next = [&](std::string_view& line) {
    const std::size_t nl = text.find('\n', consumed);
    if (nl == std::string_view::npos) return false;
    line = text.substr(consumed, nl - consumed);
    consumed = nl + 1;
    return true;
  };
  std::string_view line;
  if (!next(line) || line != kHistoryVersionLine) {
    record.Problem = line.starts_with("quor-renamer history ") ? "unknown version" : "not a history record";
    return false;
  }
  if (!next(line)) {
    record.Problem = "cut short";
    return false;
  }
  const auto f = Fields(line);
  if (f.size() != 5 || f[0] != "begin" || (f[1] != "rename" && f[1] != "undo") ||
      !ParseNumber(f[2], record.Started) || !ParseNumber(f[3], record.Pid)) {
    record.Problem = "damaged";
    return false;
  }
  record.Kind = f[1] == "undo" ? RunKind::Undo : RunKind::Rename;
  record.Folder = UnescapeLineValue(f[4]);
  const std::size_t afterBegin = consumed;
  if (next(line)) {
    const auto u = Fields(line);
    if (u.size() == 2 && u[0] == "undoes")
      record.Undoes = std::string(u[1]);
    else
      consumed = afterBegin;
  }
  return true;
}

bool ParseEndLine(std::string_view line, RunRecord& record) {
  const auto f = Fields(line);
  return f.size() == 4 && f[0] == "end" && ParseEnd(f[1], record.End) && ParseNumber(f[2], record.Renamed) &&
         ParseNumber(f[3], record.Refused);
}

// The body after the head, line by line.
bool ParseBody(std::string_view text, RunRecord& record) {
  std::map<std::size_t, std::size_t> index;  // seq -> position in Renames
  const auto find = [&](std::string_view seqText) -> RecordedRename* {
    std::size_t seq = 0;
    if (!ParseNumber(seqText, seq)) return nullptr;
    const auto it = index.find(seq);
    return it == index.end() ? nullptr : &record.Renames[it->second];
  };
  bool ended = false;
  std::string base;
  // A path is the base folder followed by it, unless it is absolute.
  const auto path = [&](std::string_view field) {
    std::string value = UnescapeLineValue(field);
    return value.starts_with('/') ? value : base + value;
  };
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl + 1);
    if (ended) return false;  // nothing may follow the end
    const auto f = Fields(line);
    if (f[0] == "R" && f.size() == 5) {
      RecordedRename r;
      if (!ParseNumber(f[1], r.Seq) || !ParseNumber(f[2], r.Inode) || index.count(r.Seq) != 0) return false;
      if (!record.Renames.empty() && r.Seq < record.Renames.back().Seq) return false;
      r.OldPath = path(f[3]);
      r.NewPath = path(f[4]);
      index[r.Seq] = record.Renames.size();
      record.Renames.push_back(std::move(r));
    } else if (f[0] == "T" && f.size() == 3) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr) return false;
      r->Temps.push_back(path(f[2]));
    } else if (f[0] == "base" && f.size() == 2) {
      base = UnescapeLineValue(f[1]);
      if (!base.starts_with('/') || !base.ends_with('/')) return false;
    } else if (f[0] == "E" && f.size() == 3) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr || !ParseNumber(f[2], r->Error)) return false;
      r->Outcome = RecordedRename::State::Refused;
    } else if (f[0] == "D" && f.size() == 2) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr) return false;
      r->Outcome = RecordedRename::State::Done;
    } else if (f[0] == "C" && f.size() == 2) {
      std::size_t seq = 0;
      if (!ParseNumber(f[1], seq)) return false;
      record.LastCheckpoint = std::max(record.LastCheckpoint, seq + 1);
    } else if (f[0] == "fixed" && f.size() == 4) {
      if (find(f[1]) == nullptr) return false;
    } else if (f[0] == "end") {
      if (!ParseEndLine(line, record)) return false;
      ended = true;
    } else {
      return false;
    }
  }
  // What the record tells of each rename. Past the last checkpoint a
  // finished run never tried it; an unfinished run's disk must tell.
  for (RecordedRename& r : record.Renames) {
    if (r.Outcome != RecordedRename::State::Unknown) continue;
    if (r.Seq < record.LastCheckpoint)
      r.Outcome = RecordedRename::State::Done;
    else if (record.End != RunEnd::Unfinished)
      r.Outcome = RecordedRename::State::NotTried;
  }
  return true;
}

}  // namespace

void AppendRefusedLine(std::string& out, std::size_t seq, int error) {
  RecordLine(out, "E").Number(seq).Number(static_cast<std::uint64_t>(error));
}

void AppendDoneLine(std::string& out, std::size_t seq) { RecordLine(out, "D").Number(seq); }

void AppendCheckpointLine(std::string& out, std::size_t seq) { RecordLine(out, "C").Number(seq); }

void AppendFixedLine(std::string& out, std::size_t seq, std::string_view from, std::string_view to) {
  RecordLine(out, "fixed").Number(seq).Value(from).Value(to);
}

void AppendEndLine(std::string& out, RunEnd end, std::size_t renamed, std::size_t refused) {
  RecordLine(out, "end").Word(EndWord(end)).Number(renamed).Number(refused);
}

std::string HistoryFolder() {
  const std::string state = UserStateFolder();
  return state.empty() ? std::string() : state + "/quor-renamer/history";
}

JournalWriter::JournalWriter(std::string historyDir, RunKind kind, std::string target, std::string undoes)
    : dir_(std::move(historyDir)), kind_(kind), target_(std::move(target)), undoes_(std::move(undoes)) {}

void JournalWriter::Fail(const std::string& what, const SysResult& why) {
  if (problem_.empty()) problem_ = what + ": " + why.Message();
  broken_ = true;
}

bool JournalWriter::Open() {
  if (file_.IsOpen()) return true;
  if (broken_) return false;
  if (dir_.empty()) {
    problem_ = "no folder for the history is known";
    broken_ = true;
    return false;
  }
  const SysResult made = MakeFolders(dir_);
  if (!made) {
    Fail("cannot make " + dir_, made);
    return false;
  }
  // An id that sorts by time: 20261207-141530.123-4242, with a number added
  // for a second run of the same process in the same millisecond. Without
  // the milliseconds, runs of two programs in one second would sort by
  // their process ids, and the newest would not always come first.
  const auto clock = std::chrono::system_clock::now();
  const std::time_t now = std::chrono::system_clock::to_time_t(clock);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch()).count() % 1000;
  std::tm local {};
  localtime_r(&now, &local);
  char stamp[40];
  const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::snprintf(stamp + length, sizeof stamp - length, ".%03d", static_cast<int>(millis));
  const std::string base = std::string(stamp) + "-" + std::to_string(ProcessId());
  SysResult created(EEXIST);
  for (int n = 0; n < 1000 && created.Error() == EEXIST; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "-%03d", n);  // so that ids still sort by time
    id_ = n == 0 ? base : base + suffix;
    created = file_.Create(dir_ + "/" + id_ + ".log");
  }
  if (!created) {
    id_.clear();
    Fail("cannot write in " + dir_, created);
    return false;
  }
  std::string head(kHistoryVersionLine);
  head += "\nbegin\t";
  head += KindWord(kind_);
  head += '\t';
  head += std::to_string(static_cast<long long>(now));
  head += '\t';
  head += std::to_string(ProcessId());
  head += '\t';
  head += EscapeLineValue(target_);
  head += '\n';
  if (!undoes_.empty()) head += "undoes\t" + undoes_ + "\n";
  pending_.insert(0, head);
  return true;
}

void JournalWriter::Write(std::string_view text) {
  if (broken_) return;
  const SysResult written = file_.Append(text);
  if (!written) {
    Fail("cannot write the history record " + id_, written);
    return;
  }
  // The disk takes the record while the renames go on.
  unsynced_ += text.size();
  if (unsynced_ >= kWritebackBytes) {
    file_.StartWriteback();
    unsynced_ = 0;
  }
}

void JournalWriter::AppendPath(std::string_view path, bool plainName) {
  const std::string_view folder = FolderView(path);
  // Runs only ever name absolute paths; anything else is written whole.
  if (!folder.starts_with('/')) {
    AppendEscapedLineValue(pending_, path);
    return;
  }
  if (folder != base_) {
    // Every path of a run is in one folder, as a rule: one line says which.
    base_ = std::string(folder);
    std::string line = "base\t";
    AppendEscapedLineValue(line, base_);
    line += '\n';
    // The line goes before the intent that is being written.
    const std::size_t at = pending_.rfind('\n', pending_.size() - 1);
    pending_.insert(at == std::string::npos ? 0 : at + 1, line);
  }
  AppendName(path, plainName);
}

void JournalWriter::AppendName(std::string_view path, bool plainName) {
  const std::string_view name = FileNameView(path);
  if (plainName && !name.starts_with('\\'))  // a backslash might begin the escape marker
    pending_.append(name);
  else
    AppendEscapedLineValue(pending_, name);
}

void JournalWriter::Intend(std::size_t seq, std::uint64_t inode, std::string_view oldPath, std::string_view newPath,
                           bool plainNames) {
  if (broken_) return;
  pending_ += "R\t";
  AppendNumber(pending_, seq);
  pending_ += '\t';
  AppendNumber(pending_, inode);
  pending_ += '\t';
  AppendPath(oldPath, plainNames);
  pending_ += '\t';
  if (FolderView(newPath) != base_)
    AppendEscapedLineValue(pending_, newPath);
  else
    AppendName(newPath, plainNames);
  pending_ += '\n';
}

void JournalWriter::FlushIntents() {
  if (pending_.empty() || !Open()) return;
  Write(pending_);
  pending_.clear();
}

void JournalWriter::TempRoute(std::size_t seq, std::string_view tempPath) {
  FlushIntents();
  if (!file_.IsOpen()) return;
  std::string line;
  RecordLine(line, "T").Number(seq).Value(FolderView(tempPath) == base_ ? FileNameView(tempPath) : tempPath);
  Write(line);
}

void JournalWriter::Refused(std::size_t seq, int error) {
  if (broken_ || !file_.IsOpen()) return;
  AppendRefusedLine(pending_, seq, error);
}

void JournalWriter::Checkpoint(std::size_t seq) {
  if (broken_ || !file_.IsOpen()) return;
  AppendCheckpointLine(pending_, seq);
  if (pending_.size() >= kFlushBytes) FlushIntents();
}

void JournalWriter::Finish(RunEnd end, std::size_t renamed, std::size_t refused) {
  if (!file_.IsOpen()) return;  // nothing was ever tried: no record
  AppendEndLine(pending_, end, renamed, refused);
  FlushIntents();
  const SysResult synced = broken_ ? SysResult() : file_.Sync();
  if (!synced) Fail("cannot put the history record " + id_ + " on the disk", synced);
  file_.Close();
  PruneHistory(dir_);
}

RunRecord ReadRecord(const std::string& path, bool full) {
  RunRecord record;
  record.Path = path;
  std::string_view name = FileNameView(path);
  if (name.ends_with(".log")) name.remove_suffix(4);
  record.Id = std::string(name);
  const auto unreadable = [&](const std::string& why) {
    RunRecord bad;
    bad.Id = record.Id;
    bad.Path = path;
    bad.Problem = why;
    return bad;
  };

  std::string text;
  std::string tail;
  if (full) {
    try {
      if (!ReadWholeFile(path, text)) return unreadable("gone");
    } catch (const std::exception& e) {
      return unreadable(e.what());
    }
  } else {
    const SysResult read = ReadFileEnds(path, 4096, text, tail);
    if (!read) return unreadable(read.Message());
  }
  std::size_t consumed = 0;
  if (!ParseHead(text, record, consumed)) return unreadable(record.Problem);

  if (!full) {
    // The end line, if the record has one, is its last.
    std::string_view last = tail;
    if (last.ends_with('\n')) {
      last.remove_suffix(1);
      const std::size_t nl = last.rfind('\n');
      if (nl != std::string_view::npos) last.remove_prefix(nl + 1);
      if (last.starts_with("end\t") && !ParseEndLine(last, record)) return unreadable("damaged");
    }
    record.Readable = true;
    return record;
  }

  std::string_view body = std::string_view(text).substr(consumed);
  // A killed writer may have left half a line: it was never acted on, since
  // every rename waits for its line to be written.
  if (!body.empty() && body.back() != '\n') {
    const std::size_t nl = body.rfind('\n');
    body = nl == std::string_view::npos ? std::string_view() : body.substr(0, nl + 1);
  }
  record.WholeLines = consumed + body.size();
  if (!ParseBody(body, record)) return unreadable("damaged");
  if (record.End != RunEnd::Unfinished && text.back() != '\n') return unreadable("damaged");
  record.Readable = true;
  return record;
}

}  // namespace quor
