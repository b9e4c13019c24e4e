#include "engine/record/RecordFormat.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <map>

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
