#include "engine/record/RecordFormat.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "engine/files/File.h"
#include "system/FileStore.h"
#include "system/RecordFile.h"
#include "text/Escape.h"
#include "text/TextOps.h"

namespace quor {

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

RecordLine& RecordLine::Value(std::string_view value) {
  out_ += '\t';
  AppendEscapedLineValue(out_, value);
  return *this;
}

namespace {

// Splits a line at its TABs (or a field at its spaces).
std::vector<std::string_view> Fields(std::string_view line, char separator = '\t') {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t at = line.find(separator);
    fields.push_back(line.substr(0, at));
    if (at == std::string_view::npos) return fields;
    line.remove_prefix(at + 1);
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

void AppendTime(std::string& out, std::int64_t t) {
  if (t == EntryId::kNoTime) {
    out += '-';
    return;
  }
  if (t < 0) {
    out += '-';
    AppendNumber(out, static_cast<std::uint64_t>(-(t + 1)) + 1);
    return;
  }
  AppendNumber(out, static_cast<std::uint64_t>(t));
}

bool ParseTime(std::string_view text, std::int64_t& t) {
  if (text == "-") {
    t = EntryId::kNoTime;
    return true;
  }
  return ParseNumber(text, t) && t != EntryId::kNoTime;
}

enum class Head { Read, Bad, NeedMore };

// Reads the head lines (version, begin, folder, undoes) into `record`.
// `whole` says that `text` is the whole file: without it, a head that runs
// past the end of `text` asks for more.
Head ParseHead(std::string_view text, bool whole, RunRecord& record, std::size_t& consumed) {
  consumed = 0;
  bool more = false;
  const auto next = [&](std::string_view& line) {
    const std::size_t nl = text.find('\n', consumed);
    if (nl == std::string_view::npos) {
      more = !whole;
      return false;
    }
    line = text.substr(consumed, nl - consumed);
    consumed = nl + 1;
    return true;
  };
  std::string_view line;
  if (!next(line)) {
    record.Problem = text.starts_with("quor-renamer history ") || text.empty() ? "cut short" : "not a history record";
    return more ? Head::NeedMore : Head::Bad;
  }
  if (line == "quor-renamer history 1") {
    record.Version = 1;
  } else if (line == "quor-renamer history 2") {
    record.Version = 2;
  } else if (line == kHistoryVersionLine) {
    record.Version = kHistoryVersion;
  } else {
    record.Problem = line.starts_with("quor-renamer history ") ? "unknown version" : "not a history record";
    return Head::Bad;
  }
  if (!next(line)) {
    record.Problem = "cut short";
    return more ? Head::NeedMore : Head::Bad;
  }
  const auto f = Fields(line);
  if (f.size() != 5 || f[0] != "begin" || (f[1] != "rename" && f[1] != "undo") ||
      !ParseNumber(f[2], record.Started) || !ParseNumber(f[3], record.Pid)) {
    record.Problem = "damaged";
    return Head::Bad;
  }
  record.Kind = f[1] == "undo" ? RunKind::Undo : RunKind::Rename;
  record.Folder = UnescapeLineValue(f[4]);
  record.EntriesFolder = FolderOfTarget(record.Folder);
  // The optional lines, in their order; any other line begins the body.
  for (const std::string_view word : {"folder", "undoes"}) {
    const std::size_t before = consumed;
    if (!next(line)) {
      if (more) return Head::NeedMore;
      break;
    }
    const auto u = Fields(line);
    if (u.size() != 2 || u[0] != word) {
      consumed = before;
      continue;
    }
    if (word == std::string_view("folder")) {
      record.EntriesFolder = std::string(WithoutTrailingSeparators(UnescapeLineValue(u[1])));
    } else {
      record.Undoes = std::string(u[1]);
    }
  }
  return Head::Read;
}

bool ParseEndLine(std::string_view line, RunRecord& record) {
  // A record of the first version that a later one repaired ends as later
  // ones do, with the count of entries gone.
  const auto f = Fields(line);
  return (f.size() == 5 || (f.size() == 4 && record.Version == 1)) && f[0] == "end" && ParseEnd(f[1], record.End) &&
         ParseNumber(f[2], record.Renamed) && ParseNumber(f[3], record.Refused) &&
         (f.size() == 4 || ParseNumber(f[4], record.Gone));
}

// The body after the head, line by line.
bool ParseBody(std::string_view text, RunRecord& record) {
  using State = RecordedRename::State;
  // Intents come in ascending order: a line about one finds it by halves.
  const auto find = [&](std::string_view seqText) -> RecordedRename* {
    std::size_t seq = 0;
    if (!ParseNumber(seqText, seq)) return nullptr;
    const auto it = std::lower_bound(record.Renames.begin(), record.Renames.end(), seq,
                                     [](const RecordedRename& r, std::size_t n) { return r.Seq < n; });
    return it == record.Renames.end() || it->Seq != seq ? nullptr : &*it;
  };
  bool ended = false;
  std::string base;
  RunFacts facts;  // of the base, where it says them
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
    const bool undoneSeq = f.size() == 6 && record.Version >= 3 && record.Kind == RunKind::Undo;
    if (f[0] == "R" && (f.size() == 5 || undoneSeq)) {
      RecordedRename r;
      const RecordedRename* last = record.Renames.empty() ? nullptr : &record.Renames.back();
      // Version 3 leaves out a number that follows the last one: the next
      // intent, the rename before the last one taken back.
      if (f[1].empty() && record.Version >= 3)
        r.Seq = last ? last->Seq + 1 : 0;
      else if (!ParseNumber(f[1], r.Seq))
        return false;
      if (last && r.Seq <= last->Seq) return false;
      if (undoneSeq) {
        if (f[5].empty()) {
          if (!last || last->UndoneSeq == kNoSeq || last->UndoneSeq == 0) return false;
          r.UndoneSeq = last->UndoneSeq - 1;
        } else if (!ParseNumber(f[5], r.UndoneSeq) || r.UndoneSeq == kNoSeq) {
          return false;
        }
      }
      const bool brief = record.Version >= 3 && f[2].find(' ') == std::string_view::npos;
      if (record.Version == 1          ? !ParseNumber(f[2], r.Id.Ino)
          : brief                      ? !ParseBriefIdentity(f[2], facts, r.Id)
                                       : !ParseIdentity(f[2], r.Id))
        return false;
      if (record.Version < 3 && r.Id.Gen != EntryId::kUnknown) return false;
      r.OldPath = path(f[3]);
      r.NewPath = path(f[4]);
      record.Renames.push_back(std::move(r));
    } else if (f[0] == "T" && f.size() == 3) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr) return false;
      r->Temps.push_back(path(f[2]));
    } else if (f[0] == "base" && (f.size() == 2 || (f.size() == 5 && record.Version >= 3))) {
      base = UnescapeLineValue(f[1]);
      if (!base.starts_with('/') || !base.ends_with('/')) return false;
      facts = RunFacts();
      if (f.size() == 5 && (!ParseNumber(f[2], facts.Dev) || !ParseNumber(f[3], facts.Fsid) ||
                            !ParseTime(f[4], facts.BornBy) || !facts.Known()))
        return false;
    } else if (f[0] == "E" && f.size() == 3) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr || !ParseNumber(f[2], r->Error)) return false;
      r->Outcome = State::Refused;
    } else if (f[0] == "G" && f.size() == 3 && record.Version > 1) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr || (f[2] != "gone" && f[2] != "replaced")) return false;
      r->Outcome = State::Gone;
      r->Replaced = f[2] == "replaced";
    } else if ((f[0] == "D" || f[0] == "N") && f.size() == 2) {
      RecordedRename* r = find(f[1]);
      if (r == nullptr) return false;
      r->Outcome = f[0] == "D" ? State::Done : State::NotTried;
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
    if (r.Outcome != State::Unknown) continue;
    if (r.Seq < record.LastCheckpoint)
      r.Outcome = State::Done;
    else if (record.End != RunEnd::Unfinished)
      r.Outcome = State::NotTried;
  }
  return true;
}

}  // namespace

void AppendIdentity(std::string& out, const EntryId& id) {
  out += id.Type;
  const auto number = [&](std::uint64_t n, bool known) {
    out += ' ';
    if (known)
      AppendNumber(out, n);
    else
      out += '-';
  };
  number(id.Dev, id.Dev != 0);
  number(id.Ino, id.Ino != 0);
  number(id.Size, id.Size != EntryId::kUnknown);
  out += ' ';
  AppendTime(out, id.Mtime);
  out += ' ';
  AppendTime(out, id.Btime);
  if (id.Gen != EntryId::kUnknown) number(id.Gen, true);
}

bool ParseIdentity(std::string_view text, EntryId& id) {
  const auto f = Fields(text, ' ');
  if ((f.size() != 6 && f.size() != 7) || f[0].size() != 1 ||
      std::string_view("fdlo?").find(f[0][0]) == std::string_view::npos)
    return false;
  id = EntryId();
  id.Type = f[0][0];
  const auto number = [](std::string_view field, std::uint64_t& n, std::uint64_t unknown) {
    if (field == "-") {
      n = unknown;
      return true;
    }
    return ParseNumber(field, n) && n != unknown;
  };
  return number(f[1], id.Dev, 0) && number(f[2], id.Ino, 0) && number(f[3], id.Size, EntryId::kUnknown) &&
         ParseTime(f[4], id.Mtime) && ParseTime(f[5], id.Btime) &&
         (f.size() == 6 || number(f[6], id.Gen, EntryId::kUnknown));
}

RunFacts FactsOf(const EntryId& id) { return {id.Dev, id.Fsid, id.BornBy}; }

bool IsBriefIdentity(const EntryId& id) {
  return id.BornBy != EntryId::kNoTime && id.Ino != 0 && id.Size == EntryId::kUnknown &&
         id.Mtime == EntryId::kNoTime && id.Btime == EntryId::kNoTime && id.Gen == EntryId::kUnknown;
}

void AppendBriefIdentity(std::string& out, const EntryId& id) {
  if (id.Type != 'f') out += id.Type;
  AppendNumber(out, id.Ino);
}

bool ParseBriefIdentity(std::string_view text, const RunFacts& facts, EntryId& id) {
  if (!facts.Known() || text.empty()) return false;
  id = EntryId();
  id.Type = 'f';
  if (std::string_view("dlo?").find(text[0]) != std::string_view::npos) {
    id.Type = text[0];
    text.remove_prefix(1);
  }
  id.Dev = facts.Dev;
  id.Fsid = facts.Fsid;
  id.BornBy = facts.BornBy;
  return ParseNumber(text, id.Ino) && id.Ino != 0;
}

void AppendRefusedLine(std::string& out, std::size_t seq, int error) {
  RecordLine(out, "E").Number(seq).Number(static_cast<std::uint64_t>(error));
}

void AppendGoneLine(std::string& out, std::size_t seq, bool replaced) {
  RecordLine(out, "G").Number(seq).Word(replaced ? "replaced" : "gone");
}

void AppendDoneLine(std::string& out, std::size_t seq) { RecordLine(out, "D").Number(seq); }

void AppendNotTriedLine(std::string& out, std::size_t seq) { RecordLine(out, "N").Number(seq); }

void AppendCheckpointLine(std::string& out, std::size_t seq) { RecordLine(out, "C").Number(seq); }

void AppendFixedLine(std::string& out, std::size_t seq, std::string_view from, std::string_view to) {
  RecordLine(out, "fixed").Number(seq).Value(from).Value(to);
}

void AppendEndLine(std::string& out, RunEnd end, std::size_t renamed, std::size_t refused, std::size_t gone) {
  RecordLine(out, "end").Word(EndWord(end)).Number(renamed).Number(refused).Number(gone);
}

std::string FolderOfTarget(const std::string& target) {
  return std::string(WithoutTrailingSeparators(FolderOfText(target)));
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
  std::size_t consumed = 0;
  if (full) {
    try {
      if (!ReadWholeFile(path, text)) return unreadable("gone");
    } catch (const std::exception& e) {
      return unreadable(e.what());
    }
    if (ParseHead(text, true, record, consumed) != Head::Read) return unreadable(record.Problem);
  } else {
    // The head and the last line, however long they are: the ends are read
    // again, larger, until both are whole.
    for (std::size_t n = 4096;; n *= 16) {
      const SysResult read = ReadFileEnds(path, n, text, tail);
      if (!read) return unreadable(read.Message());
      const bool whole = text.size() < n;
      record = RunRecord();
      record.Id = std::string(name);
      record.Path = path;
      const Head head = ParseHead(text, whole, record, consumed);
      if (head == Head::Bad) return unreadable(record.Problem);
      const std::string_view lastLines = std::string_view(tail).substr(0, tail.empty() ? 0 : tail.size() - 1);
      if (head == Head::NeedMore || (!whole && lastLines.find('\n') == std::string_view::npos)) continue;
      break;
    }
    // The end line, if the record has one, is its last; anything after it
    // makes the record damaged.
    std::string_view last = tail;
    if (last.ends_with('\n')) {
      last.remove_suffix(1);
      const std::size_t nl = last.rfind('\n');
      if (nl != std::string_view::npos) last.remove_prefix(nl + 1);
      if (last.starts_with("end\t") && !ParseEndLine(last, record)) return unreadable("damaged");
    } else {
      // Half a line that a killed writer left counts for nothing, as a full
      // read drops it, even half an end line; after a whole end line it is
      // damage.
      const std::size_t cut = last.rfind('\n');
      const std::size_t from =
          cut == std::string_view::npos || cut == 0 ? std::string_view::npos : last.rfind('\n', cut - 1);
      if (from != std::string_view::npos && last.substr(from + 1, cut - from - 1).starts_with("end\t"))
        return unreadable("damaged");
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
